#include "flashing/command_lines.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLines, ProbeQuotesTheToolAndNotThePort) {
  EXPECT_EQ(ProbeCommandLine(L"C:\\Temp\\VantorTrackerFlash\\", L"COM5"),
            L"\"C:\\Temp\\VantorTrackerFlash\\esptool.exe\" --chip auto --port COM5 chip_id");
  EXPECT_EQ(ProbeCommandLine(L"C:\\My Temp\\VantorTrackerFlash\\", L""),
            L"\"C:\\My Temp\\VantorTrackerFlash\\esptool.exe\" --chip auto --port  chip_id");
}

TEST(CommandLines, FlashLineForEachModel) {
  const struct {
    int index;
    std::wstring_view folder;
    std::wstring_view port;
    std::wstring_view expected;
  } cases[] = {
      {1, L"C:\\Temp\\VantorTrackerFlash\\", L"COM5",
       L"\"C:\\Temp\\VantorTrackerFlash\\esptool.exe\" --chip esp32 --port COM5 --baud 460800 "
       L"write-flash 0x1000 \"C:\\Temp\\VantorTrackerFlash\\bootloader.bin\" 0x8000 "
       L"\"C:\\Temp\\VantorTrackerFlash\\partitions.bin\" 0x10000 "
       L"\"C:\\Temp\\VantorTrackerFlash\\firmware.bin\""},
      {2, L"D:\\a b\\VantorTrackerFlash\\", L"cOM3",
       L"\"D:\\a b\\VantorTrackerFlash\\esptool.exe\" --chip esp32s3 --port cOM3 --baud 460800 "
       L"write-flash 0x0 \"D:\\a b\\VantorTrackerFlash\\bootloader.bin\" 0x8000 "
       L"\"D:\\a b\\VantorTrackerFlash\\partitions.bin\" 0x10000 "
       L"\"D:\\a b\\VantorTrackerFlash\\firmware.bin\""},
      {2, L"\\VantorTrackerFlash\\", L"Select COM port",
       L"\"\\VantorTrackerFlash\\esptool.exe\" --chip esp32s3 --port Select COM port --baud "
       L"460800 write-flash 0x0 \"\\VantorTrackerFlash\\bootloader.bin\" 0x8000 "
       L"\"\\VantorTrackerFlash\\partitions.bin\" 0x10000 "
       L"\"\\VantorTrackerFlash\\firmware.bin\""},
  };
  for (const auto& c : cases) {
    const DeviceModel* model = DeviceModelAt(c.index);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(FlashCommandLine(*model, c.folder, c.port), c.expected) << c.index;
  }
}

}  // namespace
