// The device model table: one row per entry of the device list, and the one home of every
// per-model value (label, chip argument, flash offsets, payload names, hint lines).
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

// One file written into the work folder for a model, and the payload it comes from.
struct PayloadFile {
  std::wstring_view fileName;     // in the work folder
  std::wstring_view payloadName;  // the resource, as asked for
};

struct DeviceModel {
  std::wstring_view chipArgument;  // after "--chip "
  std::wstring_view bootloaderOffset;
  std::wstring_view partitionTableOffset;
  std::wstring_view applicationOffset;
  // The four files of a model choice, in the order they are written: tool, bootloader,
  // partition table, application.
  std::array<PayloadFile, 4> files;
  bool asksForPortWhenPrepared;  // "Select a COM port." after "Files prepared for flashing."
  bool showsPowerButtonHints;    // the device check's hint lines when the probe fails
};

inline constexpr int kDeviceModelCount = 2;  // indexes 1 and 2 of the device list

// The model at a device list index, or nullptr for the prompt entry, -1 and anything else.
const DeviceModel* DeviceModelAt(int index);

// The device list's item texts in index order (prompt first). The S3 label takes its version
// text from the window caption: the caption without its first 22 characters.
std::array<std::wstring, kDeviceModelCount + 1> DeviceListItems(std::wstring_view caption);

// The version text cut from the caption ("1.3" for "VantorTrackerFlasher v1.3").
std::wstring_view VersionTextOf(std::wstring_view caption);

// The payload catalogue: every resource the program carries, stored upper case.
struct PayloadEntry {
  std::wstring_view resourceName;
  std::wstring_view content;  // what it is, for messages and docs
};
std::span<const PayloadEntry> PayloadCatalogue();
