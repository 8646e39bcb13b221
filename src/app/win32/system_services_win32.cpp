#include "app/win32/system_services_win32.h"

#include <utility>

#include "flashing/win32/shell_win32.h"
#include "flashing/win32/tool_path_win32.h"
#include "flashing/win32/work_folder_win32.h"
#include "runner/win32/process_runner_win32.h"

Win32SystemServices::Win32SystemServices(HKEY portsRoot, std::wstring portsKey)
    : portsRoot_(portsRoot), portsKey_(std::move(portsKey)) {}

std::wstring Win32SystemServices::GetWorkFolder() {
  std::wstring folder = ::GetWorkFolder();
  workFolderShare_.Join(folder);
  return folder;
}

std::wstring Win32SystemServices::ToolFolder(const std::wstring& workFolder) {
  return ::ToolFolder(workFolder);
}

bool Win32SystemServices::ExtractResourceToFile(std::wstring_view resourceName,
                                                const std::wstring& targetPath) {
  return ::ExtractResourceToFile(resourceName, targetPath);
}

void Win32SystemServices::RemoveFile(const std::wstring& path) {
  RemoveFileQuietly(path);
}

void Win32SystemServices::RemoveWorkFolder(const std::wstring& folder) {
  workFolderShare_.LeaveAndRemoveWhenLast(folder);
}

void Win32SystemServices::ListSerialPorts(ItemList& ports) {
  ReadSerialPorts(ports, portsRoot_, portsKey_);
}

int Win32SystemServices::RunHidden(const std::wstring& commandLine, const LineHandler& onLine) {
  return RunHiddenProcess(commandLine, onLine);
}

void Win32SystemServices::OpenAddress(const std::wstring& address) {
  OpenAddressInBrowser(address);
}
