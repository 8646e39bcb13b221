// The tool's two command lines, assembled piece by piece. Paths are quoted so that a work
// folder with blanks stays whole; the port text is not.
#pragma once

#include <string>
#include <string_view>

#include "payloads/device_models.h"

// "{folder}esptool.exe" --chip auto --port {port} chip_id
std::wstring ProbeCommandLine(std::wstring_view workFolder, std::wstring_view port);

// "{folder}esptool.exe" --chip {chip} --port {port} --baud 460800 write-flash
//   {boot offset} "{folder}bootloader.bin" 0x8000 "{folder}partitions.bin"
//   0x10000 "{folder}firmware.bin"
std::wstring FlashCommandLine(const DeviceModel& model, std::wstring_view workFolder,
                              std::wstring_view port);
