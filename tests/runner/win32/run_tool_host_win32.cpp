// A program that runs the command line given after its own name through RunHiddenProcess and
// drops the lines: the program that a test ends from outside while its tool runs.
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "runner/win32/process_runner_win32.h"

int wmain() {
  std::wstring_view rest = ::GetCommandLineW();
  // Past this program's own quoted name.
  if (rest.starts_with(L'"')) {
    rest.remove_prefix(std::min(rest.size(), rest.find(L'"', 1) + 1));
  }
  rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(L' ')));
  return RunHiddenProcess(std::wstring(rest), [](std::wstring_view) {}) == 0 ? 0 : 1;
}
