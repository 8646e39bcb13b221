#include "flashing/win32/work_folder_win32.h"

#include <windows.h>

#include "flashing/work_folder.h"
#include "win32/unique_handle.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The variable's value whole, however long; an unset variable reads as empty.
std::wstring ReadEnvironmentVariable(const wchar_t* name) {
  std::wstring value;
  DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
  while (needed > 0) {
    value.resize(needed);
    const DWORD length = ::GetEnvironmentVariableW(name, value.data(), needed);
    if (length < needed) {
      value.resize(length);
      return value;
    }
    needed = length;  // it grew in between: the size it needs now
  }
  return {};
}

// True when the path names a folder; for a link, when what it points to is a folder.
bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return true;
  }
  const UniqueFile target(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  return target && ::GetFileInformationByHandle(target.get(), &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class Win32FolderOps final : public FolderOps {
 public:
  bool FolderExists(const std::wstring& path) override { return IsFolder(path); }
  bool CreateFolder(const std::wstring& path) override {
    return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
  }
};

// The full path that the system gives the opened entry; empty when it cannot tell. With
// `asItself` a link is opened as the link, not as what it points to.
std::wstring ResolvedPath(const std::wstring& path, bool asItself) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (asItself ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  const UniqueFile entry(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                       OPEN_EXISTING, flags, nullptr));
  if (!entry) {
    return {};
  }
  std::wstring resolved(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(
        entry.get(), resolved.data(), static_cast<DWORD>(resolved.size()), FILE_NAME_NORMALIZED);
    if (length == 0) {
      return {};
    }
    if (length < resolved.size()) {
      resolved.resize(length);
      return resolved;
    }
    resolved.resize(length);  // too small: `length` is the size it needs
  }
}

// Wine follows a Unix symbolic link in every call made by path, even when asked to open the link
// itself: resetting the attributes of such an entry or deleting it would change the file or
// folder it points to, outside the work folder. Such an entry resolves to a path that is not its
// place in the folder, and is left alone. When either path is unknown the entry is handled.
bool ResolvesElsewhere(const std::wstring& resolvedFolder, const std::wstring& entryPath,
                       std::wstring_view name) {
  if (resolvedFolder.empty()) {
    return false;
  }
  const std::wstring resolvedEntry = ResolvedPath(entryPath, true);
  if (resolvedEntry.empty()) {
    return false;
  }
  std::wstring expected = resolvedFolder;
  if (expected.back() != L'\\') {
    expected += L'\\';
  }
  expected += name;
  return ::CompareStringOrdinal(resolvedEntry.data(), static_cast<int>(resolvedEntry.size()),
                                expected.data(), static_cast<int>(expected.size()),
                                TRUE) != CSTR_EQUAL;
}

// Depth-first; `folder` ends with a backslash. Outcomes are ignored: what cannot be removed
// stays, and the walk goes on.
void EmptyFolder(const std::wstring& folder) {
  const std::wstring resolvedFolder = ResolvedPath(folder, false);
  WIN32_FIND_DATAW found{};
  const UniqueFind search(::FindFirstFileW((folder + L'*').c_str(), &found));
  if (!search) {
    return;
  }
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") {
      continue;
    }
    const std::wstring path = folder + found.cFileName;
    if (ResolvesElsewhere(resolvedFolder, path, name)) {
      continue;
    }
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A junction or symbolic link is removed as the link: never emptied, since what it holds
    // belongs to the folder it points to.
    const bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (isFolder && !isLink) {
      EmptyFolder(path + L'\\');
    }
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (isFolder) {
      ::RemoveDirectoryW(path.c_str());
    } else {
      ::DeleteFileW(path.c_str());
    }
  } while (::FindNextFileW(search.get(), &found));
}

// True when the folder is a junction or symbolic link rather than a folder of its own.
bool IsLinkItself(const std::wstring& folder) {
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return true;
  }
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) {
      return false;
    }
    const bool fits = length < full.size();
    full.resize(length);
    if (fits) {
      break;
    }
  }
  while (full.size() > 3 && full.back() == L'\\') {
    full.pop_back();
  }
  const std::size_t cut = full.find_last_of(L'\\');
  if (cut == std::wstring::npos || cut + 1 == full.size()) {
    return false;  // a drive's root
  }
  const std::wstring parent = full.substr(0, cut + 1);
  return ResolvesElsewhere(ResolvedPath(parent, false), full,
                           std::wstring_view(full).substr(cut + 1));
}

}  // namespace

std::wstring GetWorkFolder() {
  Win32FolderOps ops;
  return GetWorkFolderFor(ReadEnvironmentVariable(L"TEMP"), ops);
}

bool ExtractResourceToFile(std::wstring_view resourceName, const std::wstring& targetPath) {
  try {
    const std::wstring name(resourceName);
    // Resource names match without regard to case: "ESPTool" finds ESPTOOL.
    HRSRC const found = ::FindResourceW(nullptr, name.c_str(), RT_RCDATA);
    if (found == nullptr) {
      return false;
    }
    const UniqueAny<LoadedResourceTraits> loaded(::LoadResource(nullptr, found));
    if (!loaded) {
      return false;
    }
    const DWORD size = ::SizeofResource(nullptr, found);
    const auto* const bytes = static_cast<const std::byte*>(::LockResource(loaded.get()));
    if (bytes == nullptr && size > 0) {
      return false;
    }
    // Windows refuses to recreate a read-only file; Wine run as root does not, so ask first.
    const DWORD existing = ::GetFileAttributesW(targetPath.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) != 0) {
      return false;
    }
    // Declared after the payload so that the file is closed before the payload is released.
    const UniqueFile file(::CreateFileW(targetPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      return false;
    }
    return CopyInChunks(
        std::span<const std::byte>(bytes, size), [&file](std::span<const std::byte> chunk) {
          DWORD written = 0;
          return ::WriteFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &written,
                             nullptr) != FALSE &&
                 written == chunk.size();
        });
  } catch (...) {
    return false;  // the buffer could not be had: a failure like any other, and silent
  }
}

void RemoveWorkFolder(const std::wstring& folder) {
  try {
    if (folder.empty() || !IsFolder(folder)) {
      return;
    }
    if (IsLinkItself(folder)) {
      // Someone replaced the work folder with a link: what it points to is not ours to empty.
      // Windows removes a directory link as the link; Wine would reach its target, so a link
      // that only shows as resolving elsewhere is left alone.
      if ((::GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        ::RemoveDirectoryW(folder.c_str());
      }
      return;
    }
    EmptyFolder(folder.back() == L'\\' ? folder : folder + L'\\');
    ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(folder.c_str());
  } catch (...) {
    // The window is closing: nothing is reported, whatever stays behind.
  }
}

void RemoveFileQuietly(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ::SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  }
  ::DeleteFileW(path.c_str());
}
