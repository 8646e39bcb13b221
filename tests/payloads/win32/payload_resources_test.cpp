// The payloads as the built program carries them: read from its executable as a data file, the
// way a resource viewer would, so that the program itself does not run.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "win32/unique_handle.h"

namespace {

struct CatalogueRow {
  const wchar_t* resourceName;
  const wchar_t* fileName;  // in the payload folder the build embedded
  DWORD size;               // 0 for the tool, whose size is the build's choice
};

constexpr CatalogueRow kCatalogue[] = {
    {L"ESPTOOL", L"esptool.exe", 0},           {L"C2_BOOT", L"c2_bootloader.bin", 17568},
    {L"C2_PART", L"c2_partitions.bin", 3072},  {L"C2_FIRM", L"c2_firmware.bin", 824416},
    {L"S3_BOOT", L"s3_bootloader.bin", 15104}, {L"S3_PART", L"s3_partitions.bin", 3072},
    {L"S3_FIRM", L"s3_firmware.bin", 725328},
};

constexpr WORD kFrenchFrance = 1036;

std::vector<char> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PayloadResources : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    program_ = UniqueAny<ModuleTraits>(::LoadLibraryExW(
        VTF_PROGRAM_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  }
  static void TearDownTestSuite() { program_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(program_) << "cannot load "
                          << testing::PrintToString(std::wstring(VTF_PROGRAM_PATH));
  }

  static HMODULE Program() { return program_.get(); }

  // The bytes of one RT_RCDATA resource, or nothing when the program does not carry it.
  static std::vector<char> Bytes(const wchar_t* name) {
    HRSRC found = ::FindResourceW(Program(), name, RT_RCDATA);
    if (found == nullptr) {
      return {};
    }
    const auto* data = static_cast<const char*>(::LockResource(::LoadResource(Program(), found)));
    return {data, data + ::SizeofResource(Program(), found)};
  }

 private:
  static inline UniqueAny<ModuleTraits> program_;
};

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
  auto& out = *reinterpret_cast<std::vector<std::wstring>*>(names);
  out.push_back(IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<UINT_PTR>(name))
                                     : std::wstring(name));
  return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
  reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
  return TRUE;
}

TEST_F(PayloadResources, CarriesExactlyTheSevenPayloadsByName) {
  std::vector<std::wstring> names;
  ASSERT_TRUE(
      ::EnumResourceNamesW(Program(), RT_RCDATA, CollectName, reinterpret_cast<LONG_PTR>(&names)));
  std::vector<std::wstring> expected;
  for (const auto& row : kCatalogue) {
    expected.emplace_back(row.resourceName);
  }
  std::ranges::sort(names);
  std::ranges::sort(expected);
  EXPECT_EQ(names, expected);
}

TEST_F(PayloadResources, EachPayloadIsStoredOnceInFrenchFrance) {
  for (const auto& row : kCatalogue) {
    std::vector<WORD> languages;
    ::EnumResourceLanguagesW(Program(), RT_RCDATA, row.resourceName, CollectLanguage,
                             reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{kFrenchFrance})
        << testing::PrintToString(std::wstring(row.resourceName));
  }
}

TEST_F(PayloadResources, CarriesTheFoldersBytesAtTheCatalogueSizes) {
  const std::filesystem::path folder = VTF_PAYLOAD_FOLDER;
  for (const auto& row : kCatalogue) {
    const std::wstring name = row.resourceName;
    const std::vector<char> carried = Bytes(row.resourceName);
    if (row.size != 0) {
      EXPECT_EQ(carried.size(), row.size) << testing::PrintToString(name);
    }
    const std::vector<char> file = ReadWholeFile(folder / row.fileName);
    ASSERT_FALSE(file.empty()) << testing::PrintToString((folder / row.fileName).wstring());
    // A stale copy (an older simulator, images made before a change) shows up here.
    EXPECT_TRUE(carried == file) << testing::PrintToString(name);
  }
}

TEST_F(PayloadResources, ToolIsFoundUnderTheMixedCaseNameTheProgramAsksFor) {
  HRSRC asked = ::FindResourceW(Program(), L"ESPTool", RT_RCDATA);
  ASSERT_NE(asked, nullptr);
  EXPECT_EQ(asked, ::FindResourceW(Program(), L"ESPTOOL", RT_RCDATA));
  EXPECT_EQ(::FindResourceW(Program(), L"ESPTOOL.EXE", RT_RCDATA), nullptr);
}

}  // namespace
