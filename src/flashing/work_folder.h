// The work folder: where it lies (under "TEMP") and how its chain of folders is made.
// The file-system calls come through FolderOps so that the rules run on any platform.
#pragma once

#include <string>
#include <string_view>

inline constexpr std::wstring_view kWorkFolderName = L"VantorTrackerFlash\\";

class FolderOps {
 public:
  // True when the path names an existing folder (a link to a folder is followed).
  virtual bool FolderExists(const std::wstring& path) = 0;
  // Creates this one folder; true on success.
  virtual bool CreateFolder(const std::wstring& path) = 0;

 protected:
  ~FolderOps() = default;
};

// "TEMP" whole and unaltered, a backslash unless it ends with one, then the folder name.
std::wstring WorkFolderPathFor(std::wstring_view temp);

// Makes the folder and every missing folder above it, outermost first. Throws AppError
// ("Impossible de créer le répertoire") when the chain reaches an empty name to create.
bool ForceFolderChain(std::wstring_view path, FolderOps& ops);

// The work folder path for a "TEMP" value, after making the folder when it can.
std::wstring GetWorkFolderFor(std::wstring_view temp, FolderOps& ops);

// The name that every running copy using the folder knows it by, for the kernel objects that
// count them: `folderKey` (the folder's path, spelled the same by every copy) folded into a
// short name of letters, digits and hyphens, as kernel object names allow, however long.
std::wstring CopiesObjectName(std::wstring_view folderKey);
