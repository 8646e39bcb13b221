#include "flashing/command_lines.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

// Windows-1252 as the system converts to it: ASCII, U+00A0-U+00FF and the 27 characters of
// 0x80-0x9F. Every other character would come out as "?" or as a look-alike.
bool HeldByCodePage1252(wchar_t c) {
  constexpr std::wstring_view kHigh =
      L"\u20AC\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u017D"
      L"\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u017E"
      L"\u0178";
  return c < 0x80 || (c >= 0xA0 && c <= 0xFF) || kHigh.find(c) != std::wstring_view::npos;
}

class CodePage1252Paths final : public ToolPathOps {
 public:
  explicit CodePage1252Paths(std::map<std::wstring, std::wstring> shortForms)
      : shortForms_(std::move(shortForms)) {}

  bool FitsAnsiCodePage(std::wstring_view text) override {
    for (wchar_t c : text) {
      if (!HeldByCodePage1252(c)) {
        return false;
      }
    }
    return true;
  }
  std::wstring ShortPath(const std::wstring& path) override {
    asked.push_back(path);
    const auto found = shortForms_.find(path);
    return found == shortForms_.end() ? std::wstring() : found->second;
  }

  std::vector<std::wstring> asked;

 private:
  std::map<std::wstring, std::wstring> shortForms_;
};

TEST(ToolFolder, TheShortFormStandsInOnlyForAFolderTheCodePageCannotHold) {
  const struct {
    const char* name;
    std::wstring folder;
    std::wstring shortForm;  // what the system gives; empty: none
    std::wstring expected;
  } cases[] = {
      {"ascii", L"C:\\Users\\Ann\\AppData\\Local\\Temp\\VantorTrackerFlash\\",
       L"C:\\Users\\Ann\\AppData\\Local\\Temp\\VANTOR~1\\",
       L"C:\\Users\\Ann\\AppData\\Local\\Temp\\VantorTrackerFlash\\"},
      {"e acute", L"C:\\Users\\Jos\u00E9\\Temp\\VantorTrackerFlash\\",
       L"C:\\Users\\JOS~1\\Temp\\VANTOR~1\\", L"C:\\Users\\Jos\u00E9\\Temp\\VantorTrackerFlash\\"},
      {"r caron", L"C:\\Users\\Ji\u0159\u00ED\\Temp\\VantorTrackerFlash\\",
       L"C:\\Users\\JI_~1\\Temp\\VANTOR~1\\", L"C:\\Users\\JI_~1\\Temp\\VANTOR~1\\"},
      {"cjk", L"C:\\Users\\\u674E\\Temp\\VantorTrackerFlash\\",
       L"C:\\Users\\674E~1\\Temp\\VANTOR~1\\", L"C:\\Users\\674E~1\\Temp\\VANTOR~1\\"},
      {"short form the code page cannot hold either", L"D:\\\u674E\u660E\\VantorTrackerFlash\\",
       L"D:\\\u674E\u660E\\VANTOR~1\\", L"D:\\\u674E\u660E\\VantorTrackerFlash\\"},
      {"no short form", L"D:\\Mo\u0159e\\VantorTrackerFlash\\", L"",
       L"D:\\Mo\u0159e\\VantorTrackerFlash\\"},
      {"short form without its final backslash", L"D:\\Mo\u0159e\\VantorTrackerFlash\\",
       L"D:\\MO_E~LNH\\VANTOR~1", L"D:\\MO_E~LNH\\VANTOR~1\\"},
  };
  for (const auto& c : cases) {
    std::map<std::wstring, std::wstring> shortForms;
    if (!c.shortForm.empty()) {
      shortForms[c.folder] = c.shortForm;
    }
    CodePage1252Paths paths(shortForms);
    EXPECT_EQ(ToolFolderFor(c.folder, paths), c.expected) << c.name;
    // A folder that the code page holds is never looked up, so its lines stay as they were.
    if (paths.FitsAnsiCodePage(c.folder)) {
      EXPECT_TRUE(paths.asked.empty()) << c.name;
    }
  }
}

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
