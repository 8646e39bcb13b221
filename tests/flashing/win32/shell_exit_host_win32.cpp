// Loads the shell as the first donation click does, and ends. A handler registered before the
// load runs after the program's statics are gone: its exit code tells whether the shell was
// still loaded then (0) or had been freed (3), or did not load at all (4).
#include <windows.h>

#include <cstdlib>

#include "flashing/win32/shell_win32.h"

namespace {

void ReportShellAtTheEnd() {
  std::_Exit(::GetModuleHandleW(L"shell32.dll") != nullptr ? 0 : 3);
}

}  // namespace

int wmain() {
  std::atexit(ReportShellAtTheEnd);
  return ShellModule() != nullptr ? 0 : 4;
}
