#include "flashing/win32/tool_path_win32.h"

#include "flashing/command_lines.h"

namespace {

class SystemToolPaths final : public ToolPathOps {
 public:
  bool FitsAnsiCodePage(std::wstring_view text) override { return FitsCodePage(GetACP(), text); }
  std::wstring ShortPath(const std::wstring& path) override { return ShortPathOf(path); }
};

}  // namespace

bool FitsCodePage(UINT codePage, std::wstring_view text) {
  if (text.empty()) {
    return true;
  }
  // UTF-8 holds every character; it takes neither flag, only the check for lone surrogates.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) {
    return false;
  }
  std::string bytes(static_cast<std::size_t>(size), '\0');
  BOOL usedDefault = FALSE;
  const int written = WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(), size,
                                          nullptr, utf8 ? nullptr : &usedDefault);
  return written == size && !usedDefault;
}

std::wstring ShortPathOf(const std::wstring& path) {
  std::wstring shortPath(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD size =
        GetShortPathNameW(path.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (size == 0) {
      return {};
    }
    if (size < shortPath.size()) {
      shortPath.resize(size);
      return shortPath;
    }
    shortPath.resize(size);  // the size asked for includes the terminating NUL
  }
  return {};
}

std::wstring ToolFolder(const std::wstring& workFolder) {
  SystemToolPaths paths;
  return ToolFolderFor(workFolder, paths);
}
