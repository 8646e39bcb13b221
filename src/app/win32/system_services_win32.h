// The machine as the program really meets it: the work folder, the embedded payloads, the
// registry's serial ports, hidden tool runs and the browser.
#pragma once

#include <windows.h>

#include <string>

#include "app/system_services.h"
#include "flashing/win32/serial_ports_win32.h"
#include "flashing/win32/work_folder_win32.h"

class Win32SystemServices final : public SystemServices {
 public:
  // The serial ports are read from `portsKey` under `portsRoot`; tests name a scratch key.
  explicit Win32SystemServices(HKEY portsRoot = HKEY_LOCAL_MACHINE,
                               std::wstring portsKey = kSerialCommKey);

  // Also counts this program among the copies using the folder.
  std::wstring GetWorkFolder() override;
  std::wstring ToolFolder(const std::wstring& workFolder) override;
  bool ExtractResourceToFile(std::wstring_view resourceName,
                             const std::wstring& targetPath) override;
  void RemoveFile(const std::wstring& path) override;
  // Removes the folder only when no other running copy uses it.
  void RemoveWorkFolder(const std::wstring& folder) override;
  void ListSerialPorts(ItemList& ports) override;
  int RunHidden(const std::wstring& commandLine, const LineHandler& onLine) override;
  void OpenAddress(const std::wstring& address) override;

 private:
  HKEY portsRoot_;
  std::wstring portsKey_;
  WorkFolderShare workFolderShare_;
};
