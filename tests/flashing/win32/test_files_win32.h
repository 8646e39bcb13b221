// Small file helpers and a scratch folder for the Win32 tests of the flashing workflow.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

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
