#include "flashing/win32/work_folder_win32.h"

#include <windows.h>

#include <sddl.h>
#include <winternl.h>

#include <atomic>

#include "flashing/work_folder.h"
#include "win32/unique_handle.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Without FILE_SHARE_DELETE nobody can rename or replace an entry while it is held open.
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
// What the removal needs on every entry: to list it when it is a folder, to reset its
// attributes and to delete it, all through its own handle.
constexpr ACCESS_MASK kRemovalAccess =
    DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
// What an extraction needs on the folder it writes into.
constexpr ACCESS_MASK kFolderWriteAccess =
    FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

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

// ---- Entries held by handle ------------------------------------------------------------------

// A path cut into the folder that holds the entry and the entry's name.
struct PathParts {
  std::wstring folder;  // empty when the path names no folder (a drive's root, say)
  std::wstring name;
};

// The full path, without its trailing backslashes; empty when the system cannot make one.
std::wstring FullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) {
      return {};
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
  return full;
}

PathParts SplitPath(const std::wstring& path) {
  const std::wstring full = FullPath(path);
  const std::size_t cut = full.find_last_of(L'\\');
  if (cut == std::wstring::npos || cut + 1 == full.size()) {
    return {};
  }
  return {full.substr(0, cut + 1), full.substr(cut + 1)};
}

// The folder that holds the entries to act on. Links on the way to it are the user's own
// layout and are followed.
UniqueFile OpenFolder(const std::wstring& path, ACCESS_MASK access) {
  return UniqueFile(::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// Opens the entry `name` of the held folder as itself: a link is opened as the link, and
// nothing can swap the folder between the name's lookup and the open.
UniqueFile OpenEntry(HANDLE folder, std::wstring_view name, ACCESS_MASK access, ULONG disposition,
                     ULONG options = 0) {
  UNICODE_STRING ntName{};
  ntName.Buffer = const_cast<PWSTR>(name.data());
  ntName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  ntName.MaximumLength = ntName.Length;
  OBJECT_ATTRIBUTES attributes{};
  InitializeObjectAttributes(&attributes, &ntName, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK status{};
  HANDLE entry = nullptr;
  const NTSTATUS opened =
      ::NtCreateFile(&entry, access, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL,
                     kShareNoDelete, disposition,
                     options | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT |
                         FILE_SYNCHRONOUS_IO_NONALERT,
                     nullptr, 0);
  return UniqueFile(opened >= 0 ? entry : INVALID_HANDLE_VALUE);
}

// The full path that the system gives the opened entry; empty when it cannot tell.
std::wstring FinalPath(HANDLE entry) {
  std::wstring resolved(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(
        entry, resolved.data(), static_cast<DWORD>(resolved.size()), FILE_NAME_NORMALIZED);
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

// Wine follows a Unix symbolic link even when asked to open the link itself, and deleting
// through such a handle deletes what it points to. An entry is acted on only when the system
// places the opened handle at the entry's own name in its folder; when either place is
// unknown the entry is left where it is.
bool IsInItsPlace(HANDLE entry, const std::wstring& folderPath, std::wstring_view name) {
  const std::wstring actual = FinalPath(entry);
  if (folderPath.empty() || actual.empty()) {
    return false;
  }
  std::wstring expected = folderPath;
  if (expected.back() != L'\\') {
    expected += L'\\';
  }
  expected += name;
  return ::CompareStringOrdinal(actual.data(), static_cast<int>(actual.size()), expected.data(),
                                static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

BY_HANDLE_FILE_INFORMATION InfoOf(HANDLE entry) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(entry, &info)) {
    info.dwFileAttributes = INVALID_FILE_ATTRIBUTES;
  }
  return info;
}

bool IsLink(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsPlainFolder(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsLink(info);
}

// Windows refuses to delete a read-only entry. A file with other names shares its attributes
// with them: its mark is kept, and it stays.
void ClearReadOnly(HANDLE entry, const BY_HANDLE_FILE_INFORMATION& info) {
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0 || info.nNumberOfLinks > 1) {
    return;
  }
  // Only the marks that may be set; the folder and link bits are the entry's kind.
  constexpr DWORD kSettable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                              FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;
  FILE_BASIC_INFO basic{};  // zero times: left as they are
  basic.FileAttributes = info.dwFileAttributes & kSettable;
  if (basic.FileAttributes == 0) {
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  }
  ::SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic);
}

// The entry goes when its handle closes; a link goes as the link.
bool DeleteThroughHandle(HANDLE entry) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return ::SetFileInformationByHandle(entry, FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

// ---- The removal walk ------------------------------------------------------------------------

// The names in the held folder, "." and ".." left out. The whole listing is read before any
// entry is touched.
std::vector<std::wstring> ListEntries(HANDLE folder) {
  std::vector<std::wstring> names;
  alignas(LONGLONG) std::byte buffer[64 * 1024];
  FILE_INFO_BY_HANDLE_CLASS kind = FileFullDirectoryRestartInfo;
  while (::GetFileInformationByHandleEx(folder, kind, buffer, sizeof buffer)) {
    kind = FileFullDirectoryInfo;
    for (std::size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer + offset);
      const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        names.emplace_back(name);
      }
      if (entry->NextEntryOffset == 0) {
        break;
      }
      offset += entry->NextEntryOffset;
    }
  }
  return names;
}

void EmptyFolder(HANDLE folder, const std::wstring& folderPath, const EntryHook& beforeEntry);

enum class Wanted { Any, FolderOnly, FileOnly };

bool IsWanted(const BY_HANDLE_FILE_INFORMATION& info, Wanted wanted) {
  if (info.dwFileAttributes == INVALID_FILE_ATTRIBUTES) {
    return false;
  }
  const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return wanted == Wanted::Any || folder == (wanted == Wanted::FolderOnly);
}

// One entry of a held folder: confirmed in its place, emptied first when it is a folder of
// its own, then deleted. A link is deleted as the link and never entered.
void RemoveEntry(HANDLE folder, const std::wstring& folderPath, std::wstring_view name,
                 Wanted wanted, const EntryHook& beforeEntry) {
  const UniqueFile entry = OpenEntry(folder, name, kRemovalAccess, FILE_OPEN);
  if (!entry || !IsInItsPlace(entry.get(), folderPath, name)) {
    return;
  }
  const BY_HANDLE_FILE_INFORMATION info = InfoOf(entry.get());
  if (!IsWanted(info, wanted)) {
    return;
  }
  if (IsPlainFolder(info)) {
    std::wstring inner = folderPath;
    if (inner.back() != L'\\') {
      inner += L'\\';
    }
    EmptyFolder(entry.get(), inner + std::wstring(name), beforeEntry);
  }
  ClearReadOnly(entry.get(), info);
  DeleteThroughHandle(entry.get());
}

// Depth-first. Outcomes are ignored: what cannot be removed stays, and the walk goes on.
void EmptyFolder(HANDLE folder, const std::wstring& folderPath, const EntryHook& beforeEntry) {
  for (const std::wstring& name : ListEntries(folder)) {
    if (beforeEntry) {
      beforeEntry(name);
    }
    RemoveEntry(folder, folderPath, name, Wanted::Any, beforeEntry);
  }
}

// The folder that holds the entry at `path`, held open, with its final path and the entry's
// name: every step on the entry is then made relative to the held folder.
struct HeldEntry {
  UniqueFile folder;
  std::wstring folderPath;
  std::wstring name;
};

HeldEntry HoldParent(const std::wstring& path, ACCESS_MASK folderAccess) {
  PathParts parts = SplitPath(path);
  if (parts.folder.empty()) {
    return {};
  }
  UniqueFile folder = OpenFolder(parts.folder, folderAccess);
  if (!folder) {
    return {};
  }
  std::wstring folderPath = FinalPath(folder.get());
  return {std::move(folder), std::move(folderPath), std::move(parts.name)};
}

// ---- Extraction ------------------------------------------------------------------------------

// A read-only file of the folder's own is refused, as Windows refuses to recreate one (Wine
// run as root would not). A link or a file with other names is no refusal: it is replaced as
// a name, and what it shares or points to is never written.
bool IsReadOnlyFileOfItsOwn(const HeldEntry& target) {
  const UniqueFile existing =
      OpenEntry(target.folder.get(), target.name, FILE_READ_ATTRIBUTES, FILE_OPEN);
  if (!existing) {
    return false;  // absent, or held: the rename below refuses what is held
  }
  const BY_HANDLE_FILE_INFORMATION info = InfoOf(existing.get());
  return (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 && !IsLink(info) &&
         info.nNumberOfLinks <= 1 && IsInItsPlace(existing.get(), target.folderPath, target.name);
}

// A new, empty file in the held folder under a name of this process's own: made anew, so
// that nothing planted under that name is ever written through.
UniqueFile CreateFreshFile(const HeldEntry& target) {
  static std::atomic<unsigned> made{0};
  const std::wstring name = target.name + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                            std::to_wstring(++made) + L".part";
  return OpenEntry(target.folder.get(), name, GENERIC_WRITE | DELETE | SYNCHRONIZE, FILE_CREATE,
                   FILE_NON_DIRECTORY_FILE);
}

bool WriteAll(HANDLE file, std::span<const std::byte> payload) {
  return CopyInChunks(payload, [file](std::span<const std::byte> chunk) {
    DWORD written = 0;
    return ::WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr) !=
               FALSE &&
           written == chunk.size();
  });
}

// Puts the written file in the target's place, named relative to the held folder. Whatever
// held the name before, a link or a hard link included, is replaced as a name; a target held
// open without shared deletion refuses.
bool MoveIntoPlace(HANDLE file, const HeldEntry& target) {
  const std::size_t nameBytes = target.name.size() * sizeof(wchar_t);
  std::vector<std::byte> buffer(sizeof(FILE_RENAME_INFORMATION) + nameBytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = target.folder.get();
  rename->FileNameLength = static_cast<ULONG>(nameBytes);
  std::copy_n(reinterpret_cast<const std::byte*>(target.name.data()), nameBytes,
              reinterpret_cast<std::byte*>(rename->FileName));
  IO_STATUS_BLOCK status{};
  return ::NtSetInformationFile(file, &status, rename, static_cast<ULONG>(buffer.size()),
                                FileRenameInformation) >= 0;
}

// Written whole beside the target, then moved into its place: the target never holds a
// partial copy, and a failure leaves no new file behind.
bool WriteInPlace(std::span<const std::byte> payload, const HeldEntry& target) {
  const UniqueFile file = CreateFreshFile(target);
  if (!file) {
    return false;
  }
  if (WriteAll(file.get(), payload) && MoveIntoPlace(file.get(), target)) {
    return true;
  }
  DeleteThroughHandle(file.get());
  return false;
}

// ---- Copies sharing the folder ----------------------------------------------------------------

// How long a closing copy waits for another to finish its own count.
constexpr DWORD kGuardWaitMs = 5000;

// The objects live in the Global namespace, so that copies in other sessions sharing the same
// TEMP see each other. Any user may wait on them and take the guard, and the low mandatory
// label lets a copy run as an ordinary user reach those of a copy run as administrator: at
// worst another program holds them and the folder stays.
constexpr const wchar_t* kSharedObjectAccess = L"D:(A;;0x00100001;;;WD)S:(ML;;NW;;;LW)";

class SharedObjectSecurity {
 public:
  SharedObjectSecurity() {
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(kSharedObjectAccess, SDDL_REVISION_1,
                                                           descriptor_.put(), nullptr);
    attributes_.lpSecurityDescriptor = descriptor_.get();
  }
  SECURITY_ATTRIBUTES* Attributes() { return descriptor_ ? &attributes_ : nullptr; }

 private:
  UniqueAny<LocalMemoryTraits> descriptor_;
  SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// The folder as every copy spells it: its final path when it can be opened, upper-cased.
std::wstring FolderKey(const std::wstring& folder) {
  const UniqueFile opened = OpenFolder(folder, FILE_READ_ATTRIBUTES);
  std::wstring key = opened ? FinalPath(opened.get()) : std::wstring();
  if (key.empty()) {
    key = FullPath(folder);
  }
  ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, key.data(), static_cast<int>(key.size()),
                  key.data(), static_cast<int>(key.size()), nullptr, nullptr, 0);
  return key;
}

std::wstring GuardName(const std::wstring& name) {
  return name + L"-guard";
}

// Holds the named mutex that makes a copy's count and a closing copy's check one step each.
class Guard {
 public:
  explicit Guard(const std::wstring& name) {
    SharedObjectSecurity security;
    mutex_.reset(::CreateMutexExW(security.Attributes(), GuardName(name).c_str(), 0,
                                  SYNCHRONIZE | MUTEX_MODIFY_STATE));
    // An abandoned guard was held by a copy that was killed: it is ours now.
    const DWORD waited = mutex_ ? ::WaitForSingleObject(mutex_.get(), kGuardWaitMs) : WAIT_FAILED;
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  ~Guard() {
    if (held_) {
      ::ReleaseMutex(mutex_.get());
    }
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

  bool Held() const { return held_; }

 private:
  UniqueHandle mutex_;
  bool held_ = false;
};

// True only when the system says that nobody holds the object: one that exists but may not
// be opened is held by someone.
bool NobodyHolds(const std::wstring& name) {
  const UniqueHandle probe(::OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
  return !probe && ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace

std::wstring WorkFolderShareName(const std::wstring& folder) {
  return L"Global\\" + CopiesObjectName(FolderKey(folder));
}

void WorkFolderShare::Join(const std::wstring& folder) {
  try {
    const std::wstring name = WorkFolderShareName(folder);
    if (name == name_ && share_) {
      return;
    }
    const Guard guard(name);
    SharedObjectSecurity security;
    share_.reset(::CreateEventExW(security.Attributes(), name.c_str(), CREATE_EVENT_MANUAL_RESET,
                                  SYNCHRONIZE));
    name_ = name;
  } catch (...) {
    // Without a share this copy is not counted: another copy may remove the folder, which
    // the next model choice makes again.
  }
}

void WorkFolderShare::LeaveAndRemoveWhenLast(const std::wstring& folder) {
  try {
    const std::wstring name = name_.empty() ? WorkFolderShareName(folder) : name_;
    const Guard guard(name);
    share_.reset();
    if (guard.Held() && NobodyHolds(name)) {
      RemoveWorkFolder(folder);
    }
  } catch (...) {
    share_.reset();  // the window is closing: nothing is reported, whatever stays behind
  }
}

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
    // Declared after the payload so that the folder is let go before the payload is released.
    const HeldEntry target = HoldParent(targetPath, kFolderWriteAccess);
    if (!target.folder || IsReadOnlyFileOfItsOwn(target)) {
      return false;
    }
    return WriteInPlace(std::span<const std::byte>(bytes, size), target);
  } catch (...) {
    return false;  // the buffer could not be had: a failure like any other, and silent
  }
}

void RemoveWorkFolder(const std::wstring& folder, const EntryHook& beforeEntry) {
  try {
    if (folder.empty()) {
      return;
    }
    const HeldEntry work = HoldParent(folder, FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE);
    if (work.folder) {
      RemoveEntry(work.folder.get(), work.folderPath, work.name, Wanted::FolderOnly, beforeEntry);
    }
  } catch (...) {
    // The window is closing: nothing is reported, whatever stays behind.
  }
}

void RemoveWorkFolder(const std::wstring& folder) {
  RemoveWorkFolder(folder, {});
}

void RemoveFileQuietly(const std::wstring& path) {
  try {
    const HeldEntry file = HoldParent(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE);
    if (file.folder) {
      RemoveEntry(file.folder.get(), file.folderPath, file.name, Wanted::FileOnly, {});
    }
  } catch (...) {
    // Nothing is reported.
  }
}
