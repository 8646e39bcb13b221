// Small file helpers and a scratch folder for the Win32 tests of the flashing workflow.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "flashing/win32/work_folder_win32.h"
#include "win32/unique_handle.h"

inline std::optional<std::wstring> ReadVariable(const wchar_t* name) {
  const DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) {
    return std::nullopt;
  }
  std::wstring value(needed, L'\0');
  value.resize(::GetEnvironmentVariableW(name, value.data(), needed));
  return value;
}

inline void WriteBytes(const std::wstring& path, std::string_view bytes) {
  const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file) << "cannot create the fixture file";
  DWORD written = 0;
  ASSERT_TRUE(
      ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  ASSERT_EQ(written, bytes.size());
}

// The whole file, or nothing when it cannot be opened.
inline std::optional<std::string> ReadBytes(const std::wstring& path) {
  const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return std::nullopt;
  }
  std::string bytes;
  char chunk[65536];
  DWORD read = 0;
  while (::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
    bytes.append(chunk, read);
  }
  return bytes;
}

inline bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

inline bool IsReadOnly(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// The names in a folder, "." and ".." left out.
inline std::vector<std::wstring> NamesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const UniqueFind search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (search) {
    do {
      const std::wstring_view name = found.cFileName;
      if (name != L"." && name != L"..") {
        names.emplace_back(name);
      }
    } while (::FindNextFileW(search.get(), &found));
  }
  return names;
}

// The folder made by the link fixture step (its links are made from the Linux side, which Wine
// shows as Z:), ending with a backslash; empty, with a failure, when the step did not run.
inline std::wstring LinkFixtureRoot() {
  const std::optional<std::wstring> fixture = ReadVariable(L"VTF_LINK_FIXTURE");
  if (!fixture) {
    ADD_FAILURE() << "VTF_LINK_FIXTURE names the folder made by the link fixture step";
    return {};
  }
  return *fixture + L"\\";
}

// Runs a shell command on the Linux side and waits until it has succeeded; false when it
// failed or took longer than 30 s. Wine starts a Unix program as a process of its own but does
// not see it end, so the command leaves `doneMarker` (a Wine path) behind when it succeeds.
inline bool RunOnLinuxSide(const std::wstring& command, const std::wstring& doneMarker);

// The Linux path of a path on Wine's Z: drive.
inline std::wstring LinuxPath(std::wstring path) {
  if (path.size() >= 2 && (path[0] == L'Z' || path[0] == L'z') && path[1] == L':') {
    path.erase(0, 2);
  }
  for (wchar_t& c : path) {
    if (c == L'\\') {
      c = L'/';
    }
  }
  return path;
}

inline bool RunOnLinuxSide(const std::wstring& command, const std::wstring& doneMarker) {
  ::DeleteFileW(doneMarker.c_str());
  std::wstring line =
      L"Z:\\bin\\sh -c \"" + command + L" && touch '" + LinuxPath(doneMarker) + L"'\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
    return false;
  }
  const UniqueProcess process(started);
  for (int waited = 0; waited < 30000; waited += 10) {
    if (::GetFileAttributesW(doneMarker.c_str()) != INVALID_FILE_ATTRIBUTES) {
      ::DeleteFileW(doneMarker.c_str());
      return true;
    }
    ::Sleep(10);
  }
  return false;
}

// Each test gets a fresh folder under the system's temporary folder (inside the Wine prefix, on
// its C: drive) and runs with it as the current directory.
class ScratchFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    scratch_ = std::wstring(temp) + L"vtf-flashing-" + std::to_wstring(::GetCurrentProcessId()) +
               L"-" + Widen(info->name()) + L"\\";
    RemoveWorkFolder(scratch_);
    ASSERT_TRUE(::CreateDirectoryW(scratch_.c_str(), nullptr));
    wchar_t current[MAX_PATH + 1] = {};
    ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH + 1, current), 0u);
    savedDirectory_ = current;
    ASSERT_TRUE(::SetCurrentDirectoryW(scratch_.c_str()));
  }

  void TearDown() override {
    ::SetCurrentDirectoryW(savedDirectory_.c_str());
    RemoveWorkFolder(scratch_);
  }

  // Ends with a backslash.
  const std::wstring& Scratch() const { return scratch_; }

 private:
  static std::wstring Widen(std::string_view text) {
    std::wstring wide;
    for (const char c : text) {
      wide += (c == '/') ? L'_' : static_cast<wchar_t>(c);
    }
    return wide;
  }

  std::wstring scratch_;
  std::wstring savedDirectory_;
};
