#include "flashing/work_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "core/app_error.h"

namespace {

TEST(WorkFolderPath, AppendsOneBackslashAndTheFolderName) {
  const struct {
    std::wstring_view temp;
    std::wstring_view expected;
  } cases[] = {
      {L"C:\\Temp", L"C:\\Temp\\VantorTrackerFlash\\"},
      {L"C:\\Temp\\", L"C:\\Temp\\VantorTrackerFlash\\"},
      {L"C:/Temp/", L"C:/Temp/\\VantorTrackerFlash\\"},  // a forward slash is no separator
      {L"", L"\\VantorTrackerFlash\\"},
      {L" C:\\x ", L" C:\\x \\VantorTrackerFlash\\"},  // taken whole, no trimming
      {L"%TMP%", L"%TMP%\\VantorTrackerFlash\\"},      // no expansion
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WorkFolderPathFor(c.temp), c.expected) << std::wstring(c.temp).size();
  }
}

// A file system of folders only, recording what is created.
class FakeFolders : public FolderOps {
 public:
  explicit FakeFolders(std::set<std::wstring> existing) : folders(std::move(existing)) {}
  bool FolderExists(const std::wstring& path) override { return folders.count(path) != 0; }
  bool CreateFolder(const std::wstring& path) override {
    created.push_back(path);
    if (path.empty() || refused.count(path) != 0) {
      return false;
    }
    folders.insert(path);
    return true;
  }
  std::set<std::wstring> folders;
  std::set<std::wstring> refused;
  std::vector<std::wstring> created;
};

TEST(FolderChain, MakesMissingFoldersOutermostFirst) {
  FakeFolders fs({L"D:"});
  EXPECT_TRUE(ForceFolderChain(L"D:\\a\\b\\VantorTrackerFlash\\", fs));
  EXPECT_EQ(fs.created,
            (std::vector<std::wstring>{L"D:\\a", L"D:\\a\\b", L"D:\\a\\b\\VantorTrackerFlash"}));
}

TEST(FolderChain, ExistingFolderChangesNothing) {
  FakeFolders fs({L"C:", L"C:\\Temp", L"C:\\Temp\\VantorTrackerFlash"});
  EXPECT_TRUE(ForceFolderChain(L"C:\\Temp\\VantorTrackerFlash\\", fs));
  EXPECT_TRUE(fs.created.empty());
}

TEST(FolderChain, FailureLeavesTheLevelsBelowUnmade) {
  FakeFolders fs({L"D:"});
  fs.refused.insert(L"D:\\a");
  EXPECT_FALSE(ForceFolderChain(L"D:\\a\\b\\", fs));
  EXPECT_EQ(fs.created, (std::vector<std::wstring>{L"D:\\a"}));
}

TEST(FolderChain, EmptyTempReachesAnEmptyNameAndMakesNothing) {
  FakeFolders fs({});
  EXPECT_EQ(GetWorkFolderFor(L"", fs), L"\\VantorTrackerFlash\\");
  // The root's trailing backslash is dropped: an empty name, which cannot be created.
  EXPECT_EQ(fs.created, (std::vector<std::wstring>{L""}));
  EXPECT_EQ(fs.folders.count(L"\\VantorTrackerFlash"), 0U);
}

TEST(FolderChain, RelativeTempWithoutFolderRaisesTheError) {
  for (std::wstring_view temp : {L"tmp", L"/tmp"}) {
    FakeFolders fs({});
    try {
      GetWorkFolderFor(temp, fs);
      ADD_FAILURE() << "no error for a relative TEMP";
    } catch (const AppError& error) {
      EXPECT_EQ(error.Message(), L"Impossible de cr\u00e9er le r\u00e9pertoire");
    }
    EXPECT_TRUE(fs.created.empty());
  }
}

TEST(FolderChain, RelativeTempWithItsFolderPresentMakesTheWorkFolderInside) {
  FakeFolders fs({L"tmp"});
  EXPECT_EQ(GetWorkFolderFor(L"tmp", fs), L"tmp\\VantorTrackerFlash\\");
  EXPECT_EQ(fs.created, (std::vector<std::wstring>{L"tmp\\VantorTrackerFlash"}));
}

TEST(FolderChain, ShortRelativeNameIsCreatedDirectly) {
  FakeFolders fs({});
  EXPECT_TRUE(ForceFolderChain(L"tm\\", fs));
  EXPECT_EQ(fs.created, (std::vector<std::wstring>{L"tm"}));
}

TEST(CopiesObjectName, IsAShortKernelNameThatTellsFoldersApart) {
  const std::wstring longKey = L"\\\\?\\C:\\" + std::wstring(32000, L'a') + L"\\VantorTrackerFlash";
  const std::wstring keys[] = {
      L"\\\\?\\C:\\Users\\a\\AppData\\Local\\Temp\\VantorTrackerFlash",
      L"\\\\?\\C:\\Users\\b\\AppData\\Local\\Temp\\VantorTrackerFlash",
      L"\\\\?\\C:\\Users\\a\\AppData\\Local\\Temp\\VantorTrackerFlasi",
      L"",
      longKey,
      longKey + L"\u00e9",
  };
  std::set<std::wstring> names;
  for (const std::wstring& key : keys) {
    SCOPED_TRACE(testing::Message() << "key of " << key.size() << " characters");
    const std::wstring name = CopiesObjectName(key);
    EXPECT_EQ(name, CopiesObjectName(key));
    EXPECT_LE(name.size(), 64u);  // room for a namespace and a role within MAX_PATH
    EXPECT_TRUE(std::all_of(name.begin(), name.end(), [](wchar_t c) {
      return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
             c == L'-';
    })) << "a character that a kernel object name may not hold";
    names.insert(name);
  }
  EXPECT_EQ(names.size(), std::size(keys));
}

}  // namespace
