// The tool's view of the work folder under Wine: the real code page conversion and the real
// short names of a folder whose name the ANSI code page cannot hold.
#include "flashing/win32/tool_path_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "test_files_win32.h"

namespace {

TEST(CodePageHold, TheConversionMustKeepEveryCharacterAsItIs) {
  const struct {
    UINT codePage;
    std::wstring text;
    bool fits;
  } cases[] = {
      {1252, L"C:\\Users\\Ann\\AppData\\Local\\Temp\\", true},
      {1252, L"C:\\Users\\Jos\u00E9\\\u20AC", true},
      {1252, L"C:\\Users\\Ji\u0159\u00ED\\", false},  // best fit would make it "Jiri"
      {1252, L"C:\\Users\\\u0141ukasz\\", false},     // and this one "Lukasz"
      {1252, L"C:\\Users\\\u674E\\", false},
      {1252, L"", true},
      {932, L"C:\\Users\\\u674E\\", true},
      {932, L"C:\\Users\\Ji\u0159\u00ED\\", false},
      {CP_UTF8, L"C:\\Users\\\u674E\\Mo\u0159e\\", true},
      {CP_UTF8, std::wstring(L"C:\\") + wchar_t(0xD800) + L"\\", false},  // a lone surrogate
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FitsCodePage(c.codePage, c.text), c.fits)
        << c.codePage << " " << testing::PrintToString(c.text);
  }
}

using ShortPathTest = ScratchFolderTest;

TEST_F(ShortPathTest, AFolderOutsideTheCodePageHasAShortFormInsideIt) {
  const std::wstring folder = Scratch() + L"Mo\u0159e\\VantorTrackerFlash\\";
  ASSERT_TRUE(::CreateDirectoryW((Scratch() + L"Mo\u0159e").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));

  const std::wstring shortForm = ShortPathOf(folder);
  ASSERT_FALSE(shortForm.empty());
  EXPECT_NE(shortForm, folder);
  EXPECT_TRUE(FitsCodePage(1252, shortForm)) << testing::PrintToString(shortForm);
  EXPECT_TRUE(IsDirectory(shortForm));
  // It names the same folder: a file made through it is there under the long name.
  WriteBytes(shortForm + L"esptool.exe", "tool");
  EXPECT_EQ(ReadBytes(folder + L"esptool.exe"), "tool");
}

TEST_F(ShortPathTest, AMissingPathHasNoShortForm) {
  EXPECT_EQ(ShortPathOf(Scratch() + L"Mo\u0159e\\missing\\"), L"");
}

}  // namespace
