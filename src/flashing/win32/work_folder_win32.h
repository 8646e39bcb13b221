// The work folder and payload extraction on Windows: "TEMP", the folder chain, the program's
// own RT_RCDATA resources, and the removal of the folder at the end.
#pragma once

#include <string>
#include <string_view>

// The work folder path ("TEMP" + "\VantorTrackerFlash\"), after making the folder when it can.
// Throws AppError when "TEMP" leads the folder chain to an empty name.
std::wstring GetWorkFolder();

// Copies the named RT_RCDATA resource of this program into `targetPath` (created anew, no
// sharing) through one buffer of min(1 MiB, size); true when every byte was written.
bool ExtractResourceToFile(std::wstring_view resourceName, const std::wstring& targetPath);

// Empties the folder depth-first (read-only, hidden and system entries too) and removes it.
// Does nothing when `folder` is empty or names no folder; reports nothing.
void RemoveWorkFolder(const std::wstring& folder);

// Deletes one file, read-only or not; the outcome is not reported.
void RemoveFileQuietly(const std::wstring& path);
