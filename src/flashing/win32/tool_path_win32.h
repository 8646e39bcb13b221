// How the tool will see the work folder on this system: the ANSI code page's hold on a path and
// the volume's short (8.3) names.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// True when `text` converts to `codePage` with no character lost or replaced by a look-alike.
bool FitsCodePage(UINT codePage, std::wstring_view text);

// The short form of an existing path (GetShortPathNameW), or empty when the system gives none.
std::wstring ShortPathOf(const std::wstring& path);

// ToolFolderFor with the system's ANSI code page and short paths.
std::wstring ToolFolder(const std::wstring& workFolder);
