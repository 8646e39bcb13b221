#include "flashing/command_lines.h"

namespace {

std::wstring Quoted(std::wstring_view folder, std::wstring_view fileName) {
  std::wstring text;
  text.reserve(folder.size() + fileName.size() + 2);
  text += L'"';
  text += folder;
  text += fileName;
  text += L'"';
  return text;
}

}  // namespace

std::wstring ToolFolderFor(const std::wstring& workFolder, ToolPathOps& ops) {
  if (ops.FitsAnsiCodePage(workFolder)) {
    return workFolder;
  }
  std::wstring shortFolder = ops.ShortPath(workFolder);
  if (shortFolder.empty() || !ops.FitsAnsiCodePage(shortFolder)) {
    return workFolder;
  }
  if (workFolder.ends_with(L'\\') && !shortFolder.ends_with(L'\\')) {
    shortFolder += L'\\';
  }
  return shortFolder;
}

std::wstring ProbeCommandLine(std::wstring_view workFolder, std::wstring_view port) {
  return Quoted(workFolder, L"esptool.exe") + L" --chip auto --port " + std::wstring(port) +
         L" chip_id";
}

std::wstring FlashCommandLine(const DeviceModel& model, std::wstring_view workFolder,
                              std::wstring_view port) {
  const auto& files = model.files;
  std::wstring line = Quoted(workFolder, files[0].fileName);
  line += L" --chip ";
  line += model.chipArgument;
  line += L" --port ";
  line += port;
  line += L" --baud 460800 write-flash ";
  line += model.bootloaderOffset;
  line += L' ';
  line += Quoted(workFolder, files[1].fileName);
  line += L' ';
  line += model.partitionTableOffset;
  line += L' ';
  line += Quoted(workFolder, files[2].fileName);
  line += L' ';
  line += model.applicationOffset;
  line += L' ';
  line += Quoted(workFolder, files[3].fileName);
  return line;
}
