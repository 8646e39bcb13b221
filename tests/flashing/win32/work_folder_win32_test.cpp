// The work folder on Windows: "TEMP" read whole, the chain made on disk, and the removal at the
// end, which must never reach past the folder.
#include "flashing/win32/work_folder_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "core/app_error.h"
#include "test_files_win32.h"

namespace {

// Keeps the process's "TEMP" as it was for the tests that follow.
class WorkFolderTest : public ScratchFolderTest {
 protected:
  void SetUp() override {
    savedTemp_ = ReadVariable(L"TEMP");
    ScratchFolderTest::SetUp();
  }
  void TearDown() override {
    ::SetEnvironmentVariableW(L"TEMP", savedTemp_ ? savedTemp_->c_str() : nullptr);
    ScratchFolderTest::TearDown();
  }
  static void SetTemp(const std::wstring& value) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TEMP", value.c_str()));
  }

 private:
  std::optional<std::wstring> savedTemp_;
};

TEST_F(WorkFolderTest, MakesTheMissingChainAndJoinsWithOneBackslash) {
  struct Case {
    const wchar_t* temp;  // under the scratch folder, none of it made yet
    const wchar_t* folder;
  };
  const Case cases[] = {
      {L"a1\\b1\\c1", L"a1\\b1\\c1\\VantorTrackerFlash\\"},
      {L"a2\\b2\\", L"a2\\b2\\VantorTrackerFlash\\"},
      {L"a3/", L"a3/\\VantorTrackerFlash\\"},  // a forward slash is no separator
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "TEMP under scratch: " << c.temp);
    SetTemp(Scratch() + c.temp);
    EXPECT_EQ(GetWorkFolder(), Scratch() + c.folder);
    EXPECT_TRUE(IsDirectory(Scratch() + c.folder));
  }
}

TEST_F(WorkFolderTest, SecondCallKeepsTheFolderAndItsFiles) {
  SetTemp(Scratch() + L"t");
  const std::wstring first = GetWorkFolder();
  WriteBytes(first + L"esptool.exe", "tool");

  EXPECT_EQ(GetWorkFolder(), first);
  EXPECT_EQ(ReadBytes(first + L"esptool.exe"), "tool");
}

TEST_F(WorkFolderTest, LongTempIsTakenWhole) {
  // One name longer than any file system allows: the path comes back whole, nothing is made.
  const std::wstring temp = Scratch() + std::wstring(400, L'a');
  SetTemp(temp);
  EXPECT_EQ(GetWorkFolder(), temp + L"\\VantorTrackerFlash\\");
}

TEST_F(WorkFolderTest, WithoutTempTheFolderIsNamedAtTheDriveRootButNotMade) {
  // The current directory is the scratch folder, so the root meant here is that of the Wine
  // prefix's C: drive, never the Linux root behind Z:.
  wchar_t root[MAX_PATH + 1] = {};
  ASSERT_NE(::GetFullPathNameW(L"\\", MAX_PATH + 1, root, nullptr), 0u);
  ASSERT_NE(std::wstring(root), L"Z:\\");
  const std::wstring atRoot = L"\\VantorTrackerFlash";
  ASSERT_FALSE(Exists(atRoot)) << "left over at the drive root by an earlier run";

  const std::optional<std::wstring> values[] = {std::nullopt, L""};
  for (const auto& value : values) {
    SCOPED_TRACE(value ? "TEMP empty" : "TEMP unset");
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TEMP", value ? value->c_str() : nullptr));
    EXPECT_EQ(GetWorkFolder(), L"\\VantorTrackerFlash\\");
    const bool made = Exists(atRoot);
    if (made) {
      ::RemoveDirectoryW(atRoot.c_str());
    }
    EXPECT_FALSE(made);
  }
}

TEST_F(WorkFolderTest, RelativeTempWithoutItsFolderRaisesTheError) {
  SetTemp(L"tmp");
  try {
    GetWorkFolder();
    ADD_FAILURE() << "no error for a TEMP that leads the chain to an empty name";
  } catch (const AppError& error) {
    EXPECT_EQ(error.Message(), L"Impossible de cr\u00e9er le r\u00e9pertoire");
  }
  EXPECT_FALSE(Exists(Scratch() + L"tmp"));
}

TEST_F(WorkFolderTest, RelativeTempWithItsFolderMakesTheFolderInside) {
  ASSERT_TRUE(::CreateDirectoryW((Scratch() + L"tmp").c_str(), nullptr));
  SetTemp(L"tmp");
  EXPECT_EQ(GetWorkFolder(), L"tmp\\VantorTrackerFlash\\");
  EXPECT_TRUE(IsDirectory(Scratch() + L"tmp\\VantorTrackerFlash"));
}

using RemoveWorkFolderTest = ScratchFolderTest;

TEST_F(RemoveWorkFolderTest, RemovesEveryEntryWhateverItsAttributes) {
  const std::wstring work = Scratch() + L"work\\";
  for (const wchar_t* folder : {L"", L"sub", L"sub\\deeper"}) {
    ASSERT_TRUE(::CreateDirectoryW((work + folder).c_str(), nullptr));
  }
  struct Entry {
    const wchar_t* path;
    DWORD attributes;
  };
  const Entry entries[] = {
      {L"esptool.exe", FILE_ATTRIBUTE_READONLY},
      {L"hidden.bin", FILE_ATTRIBUTE_HIDDEN},
      {L"system.bin", FILE_ATTRIBUTE_SYSTEM},
      {L"sub\\firmware.bin", FILE_ATTRIBUTE_READONLY},
      {L"sub\\deeper\\partitions.bin", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
      {L"sub", FILE_ATTRIBUTE_READONLY},
      {L"", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
  };
  for (const Entry& entry : entries) {
    if (!IsDirectory(work + entry.path)) {
      WriteBytes(work + entry.path, "data");
    }
    ASSERT_TRUE(::SetFileAttributesW((work + entry.path).c_str(), entry.attributes));
  }

  RemoveWorkFolder(work);

  EXPECT_FALSE(Exists(work));
  EXPECT_TRUE(IsDirectory(Scratch()));
}

TEST_F(RemoveWorkFolderTest, LinksInsideAreNeverFollowed) {
  // Made by the flashing_win32_link_fixture step: work\folder-link, work\empty-link and
  // work\file-link point to outside\folder (holding keep.txt), outside\empty and the read-only
  // outside\file.txt. Windows removes such a link as itself; Wine 8 cannot remove a Unix link
  // through any call without reaching what it points to, so there the links stay.
  const std::optional<std::wstring> fixture = ReadVariable(L"VTF_LINK_FIXTURE");
  ASSERT_TRUE(fixture) << "VTF_LINK_FIXTURE names the folder made by the link fixture step";
  const std::wstring root = *fixture + L"\\";
  const std::wstring work = root + L"work\\";
  ASSERT_TRUE(IsDirectory(work + L"folder-link"));
  WriteBytes(work + L"esptool.exe", "tool");
  ASSERT_TRUE(::SetFileAttributesW((work + L"esptool.exe").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(::CreateDirectoryW((work + L"sub").c_str(), nullptr));
  WriteBytes(work + L"sub\\firmware.bin", "firmware");

  RemoveWorkFolder(work);

  EXPECT_EQ(ReadBytes(root + L"outside\\folder\\keep.txt"), "kept");
  EXPECT_TRUE(IsDirectory(root + L"outside\\empty"));
  EXPECT_EQ(ReadBytes(root + L"outside\\file.txt"), "kept");
  EXPECT_TRUE(IsReadOnly(root + L"outside\\file.txt"));
  EXPECT_FALSE(Exists(work + L"esptool.exe"));
  EXPECT_FALSE(Exists(work + L"sub"));
}

TEST_F(RemoveWorkFolderTest, AWorkFolderThatIsALinkIsNeverEmptied) {
  // work-link points to outside\folder, which holds keep.txt.
  const std::optional<std::wstring> fixture = ReadVariable(L"VTF_LINK_FIXTURE");
  ASSERT_TRUE(fixture) << "VTF_LINK_FIXTURE names the folder made by the link fixture step";
  const std::wstring root = *fixture + L"\\";
  ASSERT_EQ(ReadBytes(root + L"work-link\\keep.txt"), "kept");

  for (const std::wstring& folder : {root + L"work-link\\", root + L"work-link"}) {
    RemoveWorkFolder(folder);
    EXPECT_EQ(ReadBytes(root + L"outside\\folder\\keep.txt"), "kept")
        << "through " << folder.size();
    EXPECT_TRUE(IsDirectory(root + L"outside\\folder"));
  }
}

TEST_F(RemoveWorkFolderTest, AFolderSwappedForALinkDuringTheWalkIsNeverEntered) {
  // swap\work\sub is a folder of its own when the walk lists swap\work; then, before the walk
  // reaches it, the Linux side moves it away and puts swap\sub-link (to swap\outside) there.
  const std::wstring root = LinkFixtureRoot();
  ASSERT_FALSE(root.empty());
  const std::wstring swap = root + L"swap\\";
  ASSERT_TRUE(IsDirectory(swap + L"work\\sub"));
  const std::wstring onLinux = LinuxPath(swap);
  bool swapped = false;

  RemoveWorkFolder(swap + L"work\\", [&](std::wstring_view name) {
    if (name == L"sub") {
      swapped = RunOnLinuxSide(L"mv " + onLinux + L"work/sub " + onLinux + L"moved && mv " +
                                   onLinux + L"sub-link " + onLinux + L"work/sub",
                               swap + L"swapped");
    }
  });

  ASSERT_TRUE(swapped) << "the Linux side could not swap the folder";
  EXPECT_EQ(ReadBytes(swap + L"outside\\keep.txt"), "kept");
  EXPECT_EQ(ReadBytes(swap + L"moved\\inner.bin"), "inner");
  EXPECT_FALSE(Exists(swap + L"work\\esptool.exe")) << "the walk stopped at the link";
}

TEST_F(RemoveWorkFolderTest, AFileWithASecondNameOutsideKeepsItsReadOnlyMark) {
  // shared\work\second-name.txt is another name of the read-only shared\outside.txt.
  const std::wstring root = LinkFixtureRoot();
  ASSERT_FALSE(root.empty());
  const std::wstring outside = root + L"shared\\outside.txt";
  ASSERT_TRUE(IsReadOnly(outside));
  WriteBytes(root + L"shared\\work\\esptool.exe", "tool");

  RemoveWorkFolder(root + L"shared\\work");

  EXPECT_TRUE(IsReadOnly(outside));
  EXPECT_EQ(ReadBytes(outside), "kept");
  EXPECT_FALSE(Exists(root + L"shared\\work\\esptool.exe"));
}

TEST_F(RemoveWorkFolderTest, DoesNothingWithoutAFolder) {
  // A removal that went ahead would clear the read-only mark of a file named as the folder.
  // (No empty path here: a removal that went ahead with one would walk the drive's root.)
  const std::wstring sentinel = Scratch() + L"sentinel.txt";
  WriteBytes(sentinel, "kept");
  ASSERT_TRUE(::SetFileAttributesW(sentinel.c_str(), FILE_ATTRIBUTE_READONLY));

  for (const std::wstring& folder : {Scratch() + L"never\\made\\", sentinel}) {
    SCOPED_TRACE(testing::Message() << "folder: \"" << folder << "\"");
    RemoveWorkFolder(folder);
    EXPECT_EQ(ReadBytes(sentinel), "kept");
    EXPECT_TRUE(IsReadOnly(sentinel));
    EXPECT_FALSE(Exists(Scratch() + L"never"));
  }
}

// ---- Copies sharing the folder ------------------------------------------------------------

// Each WorkFolderShare stands for one running copy of the program: each holds its own handle.
class WorkFolderShareTest : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    work_ = Scratch() + L"VantorTrackerFlash\\";
    ASSERT_TRUE(::CreateDirectoryW(work_.c_str(), nullptr));
    WriteBytes(work_ + L"esptool.exe", "tool");
  }
  bool Prepared() const { return ReadBytes(work_ + L"esptool.exe") == "tool"; }

  std::wstring work_;
};

TEST_F(WorkFolderShareTest, OnlyTheLastCopyToLeaveRemovesTheFolder) {
  WorkFolderShare first;
  WorkFolderShare second;
  first.Join(work_);
  second.Join(work_);
  second.Join(work_);  // every model choice joins again: still one share

  second.LeaveAndRemoveWhenLast(work_);
  EXPECT_TRUE(Prepared()) << "removed while another copy uses it";

  first.LeaveAndRemoveWhenLast(work_);
  EXPECT_FALSE(Exists(work_));
}

TEST_F(WorkFolderShareTest, ACopyThatWasKilledNoLongerCounts) {
  // Another copy: a process of its own holding a handle to the share, as a running copy does.
  wchar_t self[MAX_PATH + 1] = {};
  ASSERT_NE(::GetModuleFileNameW(nullptr, self, MAX_PATH + 1), 0u);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(::CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, &startup, &started));
  const UniqueProcess other(started);
  WorkFolderShare first;
  first.Join(work_);
  HANDLE mine = ::OpenEventW(SYNCHRONIZE, FALSE, WorkFolderShareName(work_).c_str());
  ASSERT_NE(mine, nullptr);
  HANDLE theirs = nullptr;
  ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), mine, other.process.get(), &theirs, 0, FALSE,
                                DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));

  first.LeaveAndRemoveWhenLast(work_);
  EXPECT_TRUE(Prepared()) << "removed while another copy runs";

  ASSERT_TRUE(::TerminateProcess(other.process.get(), 1));
  ASSERT_EQ(::WaitForSingleObject(other.process.get(), 10000), WAIT_OBJECT_0);
  WorkFolderShare last;
  last.Join(work_);
  last.LeaveAndRemoveWhenLast(work_);
  EXPECT_FALSE(Exists(work_));
}

using RemoveFileQuietlyTest = ScratchFolderTest;

TEST_F(RemoveFileQuietlyTest, DeletesReadOnlyFilesAndIgnoresMissingOnes) {
  for (const DWORD attributes : {DWORD{FILE_ATTRIBUTE_NORMAL}, DWORD{FILE_ATTRIBUTE_READONLY}}) {
    const std::wstring file = Scratch() + L"firmware.bin";
    WriteBytes(file, "partial");
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), attributes));
    RemoveFileQuietly(file);
    EXPECT_FALSE(Exists(file)) << "attributes " << attributes;
  }
  RemoveFileQuietly(Scratch() + L"never-written.bin");
}

}  // namespace
