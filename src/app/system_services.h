// What the window's handlers ask of the machine: the work folder, the embedded payloads, the
// serial ports, child processes and the shell. Win32 provides the real ones; tests provide fakes.
#pragma once

#include <string>
#include <string_view>

#include "core/controls.h"
#include "runner/line_cutter.h"

class SystemServices {
 public:
  // The work folder path, ending in a backslash, after making the folder when it can.
  // Throws AppError when "TEMP" leads the folder chain to an empty name.
  virtual std::wstring GetWorkFolder() = 0;
  // The work folder as the tool's command lines name it (ToolFolderFor with the system's code
  // page and short paths).
  virtual std::wstring ToolFolder(const std::wstring& workFolder) = 0;
  // Copies an embedded payload into a file; true when the whole payload was written.
  virtual bool ExtractResourceToFile(std::wstring_view resourceName,
                                     const std::wstring& targetPath) = 0;
  // Removes a file that a failed extraction left behind; the outcome is not reported.
  virtual void RemoveFile(const std::wstring& path) = 0;
  // Removes the work folder with everything in it; reports nothing.
  virtual void RemoveWorkFolder(const std::wstring& folder) = 0;
  // Empties `ports` and fills it with the serial port names. Throws AppError for a value
  // whose data is not a string or cannot be read.
  virtual void ListSerialPorts(ItemList& ports) = 0;
  // Runs a command line as a hidden child process, hands every output line to `onLine`, and
  // returns the exit code as a signed 32-bit integer, or -1 when it cannot start.
  virtual int RunHidden(const std::wstring& commandLine, const LineHandler& onLine) = 0;
  // Opens a web address in the user's browser; the result is not looked at.
  virtual void OpenAddress(const std::wstring& address) = 0;

 protected:
  ~SystemServices() = default;
};
