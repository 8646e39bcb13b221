#include "flashing/win32/shell_win32.h"

#include <objbase.h>
#include <shellapi.h>

#include <string>

namespace {

// By its full path, so that no other folder can supply it. Never freed: once the shell has
// run, threads of its own may still be in its code when the program's statics go.
HMODULE LoadSystemModule(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return HMODULE{};
  }
  return ::LoadLibraryW((std::wstring(folder, length) + L"\\" + name).c_str());
}

template <typename Function>
Function FunctionOf(HMODULE module, const char* name) {
  return module == nullptr
             ? nullptr
             : reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

HMODULE ComModule() {
  static const HMODULE com = LoadSystemModule(L"ole32.dll");
  return com;
}

}  // namespace

HMODULE ShellModule() {
  static const HMODULE shell = LoadSystemModule(L"shell32.dll");
  return shell;
}

void OpenAddressInBrowser(const std::wstring& address) {
  const auto shellExecute = FunctionOf<decltype(&::ShellExecuteW)>(ShellModule(), "ShellExecuteW");
  if (shellExecute == nullptr) {
    return;
  }
  // The shell may hand the address to a COM handler; nothing else uses COM, so it is set up
  // around this call only.
  const auto initialize = FunctionOf<decltype(&::CoInitializeEx)>(ComModule(), "CoInitializeEx");
  const auto uninitialize = FunctionOf<decltype(&::CoUninitialize)>(ComModule(), "CoUninitialize");
  const bool com =
      initialize != nullptr && uninitialize != nullptr &&
      SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  shellExecute(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (com) {
    uninitialize();
  }
}
