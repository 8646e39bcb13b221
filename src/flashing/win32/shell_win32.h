// Opening a web address with the user's browser.
#pragma once

#include <windows.h>

#include <string>

// ShellExecuteW "open"; the result is not looked at.
void OpenAddressInBrowser(const std::wstring& address);

// shell32 from the system folder, loaded at the first call (only the donation link needs it)
// and kept until the process is gone; null when it cannot be loaded.
HMODULE ShellModule();
