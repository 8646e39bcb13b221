#include "flashing/win32/shell_win32.h"

#include <shellapi.h>

#include <string>

HMODULE ShellModule() {
  // By its full path, so that no other folder can supply it. Never freed: once the shell has
  // run, threads of its own may still be in its code when the program's statics go.
  static const HMODULE shell = [] {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      return HMODULE{};
    }
    return ::LoadLibraryW((std::wstring(folder, length) + L"\\shell32.dll").c_str());
  }();
  return shell;
}

void OpenAddressInBrowser(const std::wstring& address) {
  const HMODULE shell = ShellModule();
  if (shell == nullptr) {
    return;
  }
  using ShellExecuteFunction = decltype(&::ShellExecuteW);
  const auto shellExecute = reinterpret_cast<ShellExecuteFunction>(
      reinterpret_cast<void*>(::GetProcAddress(shell, "ShellExecuteW")));
  if (shellExecute != nullptr) {
    shellExecute(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
}
