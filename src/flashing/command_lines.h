// The tool's two command lines, assembled piece by piece. Paths are quoted so that a work
// folder with blanks stays whole; the port text is not.
#pragma once

#include <string>
#include <string_view>

#include "payloads/device_models.h"

// How the tool will see a folder path. The tool prints the file names it is given through a pipe
// in the ANSI code page and stops at the first character that the code page cannot hold.
class ToolPathOps {
 public:
  // True when the text converts to the ANSI code page with no character lost or replaced.
  virtual bool FitsAnsiCodePage(std::wstring_view text) = 0;
  // The system's short (8.3) form of an existing path, or empty when it gives none.
  virtual std::wstring ShortPath(const std::wstring& path) = 0;

 protected:
  ~ToolPathOps() = default;
};

// The work folder as the command lines name it: the folder itself when the ANSI code page holds
// it, otherwise its short form when the code page holds that one, otherwise the folder itself.
// The result ends with a backslash when the folder does.
std::wstring ToolFolderFor(const std::wstring& workFolder, ToolPathOps& ops);

// "{folder}esptool.exe" --chip auto --port {port} chip_id
std::wstring ProbeCommandLine(std::wstring_view workFolder, std::wstring_view port);

// "{folder}esptool.exe" --chip {chip} --port {port} --baud 460800 write-flash
//   {boot offset} "{folder}bootloader.bin" 0x8000 "{folder}partitions.bin"
//   0x10000 "{folder}firmware.bin"
std::wstring FlashCommandLine(const DeviceModel& model, std::wstring_view workFolder,
                              std::wstring_view port);
