// The version in the caption, in the program file's version record and manifest identity, and
// in the release folder's name: all say the same.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/win32/form_layout_win32.h"
#include "win32/unique_handle.h"

#ifndef VTF_RELEASE_NAME
#error "VTF_RELEASE_NAME names the release folder"
#endif

namespace {

std::wstring VersionRecordOf(const std::wstring& program, std::wstring* fileText,
                             std::wstring* productText) {
  const DWORD size = GetFileVersionInfoSizeW(program.c_str(), nullptr);
  std::vector<std::uint8_t> info(size);
  if (size == 0 || !GetFileVersionInfoW(program.c_str(), 0, size, info.data())) {
    return L"(no version record)";
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length);
  auto text = [&](const wchar_t* field) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904E4\\") + field;
    return VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &chars)
               ? std::wstring(value)
               : std::wstring(L"(missing)");
  };
  *fileText = text(L"FileVersion");
  *productText = text(L"ProductVersion");
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
         std::to_wstring(LOWORD(fixed->dwFileVersionLS));
}

std::wstring ManifestIdentityVersionOf(const std::wstring& program) {
  const UniqueAny<ModuleTraits> module(LoadLibraryExW(
      program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  HRSRC found = module ? FindResourceW(module.get(), MAKEINTRESOURCEW(1), RT_MANIFEST) : nullptr;
  if (found == nullptr) {
    return L"(no manifest)";
  }
  const std::string_view manifest(
      static_cast<const char*>(LockResource(LoadResource(module.get(), found))),
      SizeofResource(module.get(), found));
  constexpr std::string_view kIdentity = R"(name="VantorTracker.Flasher" version=")";
  const std::size_t start = manifest.find(kIdentity);
  if (start == std::string_view::npos) {
    return L"(no identity)";
  }
  const std::size_t from = start + kIdentity.size();
  const std::string_view version = manifest.substr(from, manifest.find('"', from) - from);
  return {version.begin(), version.end()};
}

TEST(ProgramVersion, CaptionVersionRecordManifestAndReleaseFolderSayTheSame) {
  const std::wstring program = VTF_PROGRAM_PATH;
  constexpr std::wstring_view kCaptionStart = L"VantorTrackerFlasher v";
  ASSERT_TRUE(kFormCaption.starts_with(kCaptionStart));
  const std::wstring caption(kFormCaption.substr(kCaptionStart.size()));
  ASSERT_FALSE(caption.empty());

  std::wstring fileText;
  std::wstring productText;
  const std::wstring record = VersionRecordOf(program, &fileText, &productText);
  EXPECT_EQ(record, caption + L".0.0");
  EXPECT_EQ(fileText, record);
  EXPECT_EQ(productText, record);
  EXPECT_EQ(ManifestIdentityVersionOf(program), record);
  EXPECT_EQ(std::wstring(VTF_RELEASE_NAME), L"VantorTrackerFlasher-" + caption);
}

}  // namespace
