#include "flashing/win32/shell_win32.h"

#include <windows.h>

#include <shellapi.h>

void OpenAddressInBrowser(const std::wstring& address) {
  ::ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
