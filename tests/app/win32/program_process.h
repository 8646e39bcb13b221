// The built program as a process of its own, shared by the tests that start it: its window,
// found from outside, and an environment variable set for the processes started meanwhile.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

inline HWND FindProgramWindow(DWORD processId) {
  struct Search {
    DWORD processId;
    HWND found;
  } search{processId, nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        wchar_t windowClass[32] = {};
        GetClassNameW(hwnd, windowClass, 32);
        if (owner == s->processId && std::wstring_view(windowClass) == L"TForm1") {
          s->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A variable of this process's environment; empty when it is not set.
inline std::wstring EnvironmentValue(const wchar_t* name) {
  std::wstring value(GetEnvironmentVariableW(name, nullptr, 0), L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
  return value;
}

// Sets a variable of this process's environment, which a program started meanwhile inherits,
// and puts the old value back at the end of the scope.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const wchar_t* name, const std::wstring& value)
      : name_(name),
        saved_(EnvironmentValue(name)),
        had_(GetEnvironmentVariableW(name, nullptr, 0) > 0) {
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnvironmentVariable() { SetEnvironmentVariableW(name_, had_ ? saved_.c_str() : nullptr); }
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  const wchar_t* name_;
  std::wstring saved_;
  bool had_;
};
