// The built VantorTrackerFlasher.exe itself: the DLLs it imports, its manifest, icon, version
// record and logo, and one real start and close under Wine.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "program_process.h"
#include "system_codec.h"
#include "win32/unique_handle.h"

#ifndef VTF_PROGRAM_PATH
#error "VTF_PROGRAM_PATH names the built program"
#endif

namespace {

std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

template <typename T>
T ReadAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  T value{};
  if (offset + sizeof(T) <= bytes.size()) {
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
  }
  return value;
}

// What the PE headers say, read from the file (not through the loader): the DLLs named in the
// import directory and how the system may load the file.
struct PeFacts {
  WORD subsystem = 0;
  WORD subsystemMajor = 0;
  WORD subsystemMinor = 0;
  WORD fileCharacteristics = 0;
  WORD dllCharacteristics = 0;
  DWORD relocationsSize = 0;
  std::vector<std::string> importedDlls;
};

PeFacts ReadPe(const std::vector<std::uint8_t>& bytes) {
  PeFacts facts;
  const auto dos = ReadAt<IMAGE_DOS_HEADER>(bytes, 0);
  if (dos.e_magic != IMAGE_DOS_SIGNATURE) {
    return facts;
  }
  const auto ntOffset = static_cast<std::size_t>(dos.e_lfanew);
  const auto nt = ReadAt<IMAGE_NT_HEADERS64>(bytes, ntOffset);
  if (nt.Signature != IMAGE_NT_SIGNATURE ||
      nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    return facts;
  }
  facts.subsystem = nt.OptionalHeader.Subsystem;
  facts.subsystemMajor = nt.OptionalHeader.MajorSubsystemVersion;
  facts.subsystemMinor = nt.OptionalHeader.MinorSubsystemVersion;
  facts.fileCharacteristics = nt.FileHeader.Characteristics;
  facts.dllCharacteristics = nt.OptionalHeader.DllCharacteristics;
  facts.relocationsSize = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size;
  const std::size_t sections =
      ntOffset + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
  auto fileOffset = [&](DWORD rva) -> std::size_t {
    for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
      const auto section =
          ReadAt<IMAGE_SECTION_HEADER>(bytes, sections + i * sizeof(IMAGE_SECTION_HEADER));
      if (rva >= section.VirtualAddress &&
          rva <
              section.VirtualAddress + std::max(section.Misc.VirtualSize, section.SizeOfRawData)) {
        return rva - section.VirtualAddress + section.PointerToRawData;
      }
    }
    return bytes.size();
  };
  auto nameAt = [&](DWORD rva) {
    std::string name;
    for (std::size_t c = fileOffset(rva); c < bytes.size() && bytes[c] != 0; ++c) {
      name += static_cast<char>(tolower(bytes[c]));
    }
    return name;
  };
  const IMAGE_DATA_DIRECTORY imports =
      nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (std::size_t at = fileOffset(imports.VirtualAddress);;
       at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto descriptor = ReadAt<IMAGE_IMPORT_DESCRIPTOR>(bytes, at);
    if (descriptor.Name == 0) {
      break;
    }
    facts.importedDlls.push_back(nameAt(descriptor.Name));
  }
  return facts;
}

// What the program may import statically: only Windows' known DLLs, which the system loads
// from its own folder whatever lies beside the program.
struct AllowedDll {
  const char* name;
  const char* use;
};
constexpr AllowedDll kKnownDllImports[] = {
    {"advapi32.dll", "the registry's list of serial ports"},
    {"gdi32.dll", "fonts, brushes, the logo's bitmap and its blend"},
    {"kernel32.dll", "files, resources, the tool's process and pipe"},
    {"msvcrt.dll", "the C runtime that mingw-w64 builds on"},
    {"ntdll.dll", "the work folder's entries opened and renamed relative to a held folder"},
    {"user32.dll", "the window, its controls and the error box"},
};
// comctl32 is not one of them: the program loads it at its first call, once wWinMain has narrowed
// the DLL search to the system folder. shell32 and ole32 are loaded by their full path at the
// first donation click.

bool IsKnownDllImport(const std::string& dll) {
  return std::any_of(std::begin(kKnownDllImports), std::end(kKnownDllImports),
                     [&](const AllowedDll& entry) { return dll == entry.name; });
}

class ProgramFileTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

  void SetUp() override {
    module_.reset(LoadLibraryExW(kProgram, nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module_) << GetLastError();
  }

  std::string_view Resource(const wchar_t* name, const wchar_t* type) const {
    HRSRC found = FindResourceW(module_.get(), name, type);
    if (found == nullptr) {
      return {};
    }
    HGLOBAL loaded = LoadResource(module_.get(), found);
    return {static_cast<const char*>(LockResource(loaded)), SizeofResource(module_.get(), found)};
  }

  static constexpr const wchar_t* kProgram = VTF_PROGRAM_PATH;
  UniqueAny<ModuleTraits> module_;
};

TEST_F(ProgramFileTest, IsAGuiProgramThatImportsOnlyKnownDlls) {
  const PeFacts pe = ReadPe(ReadWholeFile(kProgram));
  EXPECT_EQ(pe.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  ASSERT_FALSE(pe.importedDlls.empty());
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  for (const std::string& dll : pe.importedDlls) {
    EXPECT_TRUE(IsKnownDllImport(dll)) << dll << " is imported";
    // No compiler runtime beside the program: each one is a DLL of the system folder.
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(system) / dll)) << dll;
  }
}

TEST_F(ProgramFileTest, LoadsAtARandomHighAddressWithNoRunnableDataAndGuardsItsStack) {
  const std::vector<std::uint8_t> bytes = ReadWholeFile(kProgram);
  const PeFacts pe = ReadPe(bytes);
  constexpr WORD kLoadFlags = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE |
                              IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA |
                              IMAGE_DLLCHARACTERISTICS_NX_COMPAT;
  EXPECT_EQ(pe.dllCharacteristics & kLoadFlags, kLoadFlags);
  // A random address needs the relocations that move the program there.
  EXPECT_EQ(pe.fileCharacteristics & IMAGE_FILE_RELOCS_STRIPPED, 0);
  EXPECT_GT(pe.relocationsSize, 0u);
  // Windows Vista (6.0) or later.
  EXPECT_GE(pe.subsystemMajor, 6);
  // The stack guard's runtime is linked in (its report of a broken guard), not imported.
  const std::string_view guardReport = "*** stack smashing detected ***";
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), guardReport.begin(), guardReport.end()),
            bytes.end());
}

TEST_F(ProgramFileTest, CarriesTheManifestForPerMonitorDpiVisualStylesAndTheInvokersRights) {
  const std::string_view manifest = Resource(MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_FALSE(manifest.empty());
  const char* expected[] = {
      R"(<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2</dpiAwareness>)",
      R"(<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>)",
      R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
      R"(publicKeyToken="6595b64144ccf1df")",
      R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)",
      R"(<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>)",  // Vista
      R"(<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>)",  // 7
      R"(<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>)",  // 8
      R"(<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>)",  // 8.1
      R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)",  // 10
  };
  for (const char* text : expected) {
    EXPECT_NE(manifest.find(text), std::string_view::npos) << text;
  }
}

TEST_F(ProgramFileTest, CarriesOneIconImageOf128PixelsWith32BitsAndRealAlpha) {
  const std::string_view group = Resource(MAKEINTRESOURCEW(1), RT_GROUP_ICON);
  ASSERT_GE(group.size(), 6u + 14u);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(group.data());
  EXPECT_EQ(bytes[4] | (bytes[5] << 8), 1);     // one image
  EXPECT_EQ(bytes[6], 128);                     // width
  EXPECT_EQ(bytes[7], 128);                     // height
  EXPECT_EQ(bytes[12] | (bytes[13] << 8), 32);  // bits per pixel
  const auto imageId = static_cast<WORD>(bytes[18] | (bytes[19] << 8));

  const std::string_view image = Resource(MAKEINTRESOURCEW(imageId), RT_ICON);
  BITMAPINFOHEADER header{};
  ASSERT_GE(image.size(), sizeof(header) + 128u * 128u * 4u);
  std::memcpy(&header, image.data(), sizeof(header));
  EXPECT_EQ(header.biWidth, 128);
  EXPECT_EQ(header.biHeight, 256);  // the colour rows and the mask
  EXPECT_EQ(header.biBitCount, 32);
  int clear = 0;
  int opaque = 0;
  for (std::size_t pixel = 0; pixel < 128u * 128u; ++pixel) {
    const auto alpha = static_cast<std::uint8_t>(image[sizeof(header) + pixel * 4 + 3]);
    clear += alpha == 0 ? 1 : 0;
    opaque += alpha == 255 ? 1 : 0;
  }
  EXPECT_GT(clear, 0);
  EXPECT_GT(opaque, 128 * 128 / 2);
}

TEST_F(ProgramFileTest, CarriesTheVersionRecord) {
  const DWORD size = GetFileVersionInfoSizeW(kProgram, nullptr);
  ASSERT_GT(size, 0u);
  std::vector<std::uint8_t> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(kProgram, 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010003u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010003u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1252);

  auto text = [&](const wchar_t* field) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904E4\\") + field;
    if (!VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &chars)) {
      return std::wstring(L"(missing)");
    }
    return std::wstring(value);
  };
  EXPECT_EQ(text(L"ProductName"), L"VantorTracker Flasher");
  EXPECT_EQ(text(L"InternalName"), L"VantorTracker Flasher");
  EXPECT_EQ(text(L"OriginalFilename"), L"VantorTrackerFlasher.exe");
  EXPECT_EQ(text(L"FileVersion"), L"1.3.0.0");
  EXPECT_EQ(text(L"ProductVersion"), L"1.3.0.0");
  for (const wchar_t* maker : {L"CompanyName", L"FileDescription", L"LegalCopyright"}) {
    const std::wstring value = text(maker);
    EXPECT_TRUE(!value.empty() && value != L"(missing)") << maker;
  }
}

TEST_F(ProgramFileTest, CarriesTheLogoAsA1024SquareRgbaPngWithTransparency) {
  const std::string_view png = Resource(L"LOGO", L"PNG");
  ASSERT_GE(png.size(), 33u);
  EXPECT_EQ(png.substr(0, 8), std::string_view("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  auto bigEndian = [&](std::size_t at) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(png.data() + at);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           b[3];
  };
  EXPECT_EQ(bigEndian(16), 1024u);  // width
  EXPECT_EQ(bigEndian(20), 1024u);  // height
  EXPECT_EQ(png[24], 8);            // bits per channel
  EXPECT_EQ(png[25], 6);            // red, green, blue and alpha
  EXPECT_EQ(png[28], 0);            // not interlaced

  // Decoded: clear corners, an opaque middle.
  UINT width = 0;
  const std::vector<std::uint8_t> rgba = DecodeWithSystemCodec(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(png.data()), png.size()),
      GUID_WICPixelFormat32bppRGBA, width);
  ASSERT_EQ(width, 1024u);
  ASSERT_EQ(rgba.size(), 1024u * 1024u * 4u);
  auto alphaAt = [&](std::size_t x, std::size_t y) { return rgba[(y * width + x) * 4 + 3]; };
  EXPECT_EQ(alphaAt(0, 0), 0);
  EXPECT_EQ(alphaAt(1023, 1023), 0);
  EXPECT_EQ(alphaAt(512, 100), 255);
}

// ---- One real run ----------------------------------------------------------------------------

TEST(ProgramRun, OpensItsWindowWithTheWorkFolderAndEndsWithCodeZeroAfterRemovingIt) {
  // A TEMP of its own, so that the work folder's life can be watched.
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  const std::filesystem::path temp =
      std::filesystem::path(base) / (L"vtf-run-" + std::to_wstring(GetCurrentProcessId()));
  std::filesystem::remove_all(temp);
  std::filesystem::create_directories(temp);
  const std::filesystem::path workFolder = temp / L"VantorTrackerFlash";

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  std::wstring commandLine = std::wstring(L"\"") + VTF_PROGRAM_PATH + L"\"";
  BOOL created = FALSE;
  {
    const ScopedEnvironmentVariable withTemp(L"TEMP", temp.wstring());
    created = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &started);
  }
  ASSERT_TRUE(created) << GetLastError();
  const UniqueProcess process(started);

  // Idle: the window is made, FormCreate has run and the loop waits for messages.
  ASSERT_EQ(WaitForInputIdle(process.process.get(), 60000), 0u);
  HWND window = FindProgramWindow(started.dwProcessId);
  ASSERT_NE(window, nullptr);
  wchar_t caption[64] = {};
  GetWindowTextW(window, caption, 64);
  EXPECT_STREQ(caption, L"VantorTrackerFlasher v1.3");
  EXPECT_TRUE(IsWindowVisible(window));
  // Shown and active, with the focus in the log.
  GUITHREADINFO gui{};
  gui.cbSize = sizeof(gui);
  ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui));
  EXPECT_EQ(gui.hwndActive, window);
  ASSERT_NE(gui.hwndFocus, nullptr);
  EXPECT_EQ(GetParent(gui.hwndFocus), window);
  wchar_t focusText[64] = {};
  // GetWindowText does not ask another process's controls; WM_GETTEXT does.
  SendMessageW(gui.hwndFocus, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(focusText));
  EXPECT_STREQ(focusText, L"Select a device to begin...\r\n");
  EXPECT_TRUE(std::filesystem::is_directory(workFolder));
  EXPECT_TRUE(std::filesystem::is_empty(workFolder));  // no model chosen: nothing extracted

  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(process.process.get(), 60000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.process.get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(std::filesystem::exists(workFolder));
  std::filesystem::remove_all(temp);
}

}  // namespace
