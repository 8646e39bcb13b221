// Opening a web address with the user's browser.
#pragma once

#include <string>

// ShellExecuteW "open"; the result is not looked at.
void OpenAddressInBrowser(const std::wstring& address);
