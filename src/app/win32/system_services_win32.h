// The machine as the program really meets it: the work folder, the embedded payloads, the
// registry's serial ports, hidden tool runs and the browser.
#pragma once

#include "app/system_services.h"

class Win32SystemServices final : public SystemServices {
 public:
  std::wstring GetWorkFolder() override;
  bool ExtractResourceToFile(std::wstring_view resourceName,
                             const std::wstring& targetPath) override;
  void RemoveFile(const std::wstring& path) override;
  void RemoveWorkFolder(const std::wstring& folder) override;
  void ListSerialPorts(ItemList& ports) override;
  int RunHidden(const std::wstring& commandLine, const LineHandler& onLine) override;
  void OpenAddress(const std::wstring& address) override;
};
