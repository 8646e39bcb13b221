#include "flashing/win32/shell_win32.h"

#include <windows.h>

#include <shellapi.h>

#include "win32/unique_handle.h"

namespace {

// The shell is loaded on the first click, not at every start: only the donation link uses it.
// By its full path, so that no other folder can supply it.
HMODULE Shell() {
  static const UniqueAny<ModuleTraits> shell([] {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      return HMODULE{};
    }
    return ::LoadLibraryW((std::wstring(folder, length) + L"\\shell32.dll").c_str());
  }());
  return shell.get();
}

}  // namespace

void OpenAddressInBrowser(const std::wstring& address) {
  const HMODULE shell = Shell();
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
