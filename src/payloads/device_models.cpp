#include "payloads/device_models.h"

namespace {

constexpr std::wstring_view kToolFile = L"esptool.exe";
// Asked for in mixed case: the lookup ignores case and the payload is stored as ESPTOOL.
constexpr std::wstring_view kToolPayload = L"ESPTool";

constexpr std::array<DeviceModel, kDeviceModelCount> kModels{{
    // Index 1, M5Stick C Plus 2 (ESP32).
    {L"esp32",
     L"0x1000",
     L"0x8000",
     L"0x10000",
     {{{kToolFile, kToolPayload},
       {L"bootloader.bin", L"C2_BOOT"},
       {L"partitions.bin", L"C2_PART"},
       {L"firmware.bin", L"C2_FIRM"}}},
     true,
     false},
    // Index 2, M5Stick S3 (ESP32-S3).
    {L"esp32s3",
     L"0x0",
     L"0x8000",
     L"0x10000",
     {{{kToolFile, kToolPayload},
       {L"bootloader.bin", L"S3_BOOT"},
       {L"partitions.bin", L"S3_PART"},
       {L"firmware.bin", L"S3_FIRM"}}},
     false,
     true},
}};

constexpr std::array<PayloadEntry, 7> kCatalogue{{
    {L"ESPTOOL", L"the flashing tool"},
    {L"C2_BOOT", L"ESP32 bootloader image"},
    {L"C2_PART", L"ESP32 partition table"},
    {L"C2_FIRM", L"ESP32 application image"},
    {L"S3_BOOT", L"ESP32-S3 bootloader image"},
    {L"S3_PART", L"ESP32-S3 partition table"},
    {L"S3_FIRM", L"ESP32-S3 application image"},
}};

constexpr std::size_t kCaptionPrefixLength = 22;  // program name, a blank and the letter v

}  // namespace

const DeviceModel* DeviceModelAt(int index) {
  if (index < 1 || index > kDeviceModelCount) {
    return nullptr;
  }
  return &kModels[static_cast<std::size_t>(index - 1)];
}

std::wstring_view VersionTextOf(std::wstring_view caption) {
  return caption.size() > kCaptionPrefixLength ? caption.substr(kCaptionPrefixLength)
                                               : std::wstring_view{};
}

std::array<std::wstring, kDeviceModelCount + 1> DeviceListItems(std::wstring_view caption) {
  return {L"Select a device", L"M5Stick C Plus 2 (deprecated firm 1.0 only)",
          L"M5Stick S3 (firm " + std::wstring(VersionTextOf(caption)) + L")"};
}

std::span<const PayloadEntry> PayloadCatalogue() {
  return kCatalogue;
}
