// Start-up and end of the program.
#include <windows.h>

#include <commctrl.h>

#include "app/form1.h"
#include "app/win32/error_box_win32.h"
#include "app/win32/main_window_win32.h"
#include "app/win32/system_services_win32.h"

namespace {

// Every DLL that is not one of the system's known DLLs comes from the system folder, never from
// the program's own (a Downloads folder may hold a file named like one). Looked up rather than
// imported: a system without it (Vista, 7 without its update) still starts the program.
void LoadDllsFromTheSystemFolderOnly() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const auto setDefaultDllDirectories =
      reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefaultDllDirectories != nullptr) {
    setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // First: comctl32 (loaded at its first call below), WIC and the shell all load after it.
  LoadDllsFromTheSystemFolderOnly();

  // A tool run holds this thread by design; a ghosted window would hide the progress bar's
  // forced repaints after a few seconds.
  DisableProcessWindowsGhosting();

  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  int exitCode = 0;
  try {
    Win32SystemServices services;
    MainWindow Form1(instance, services);  // controls, then FormCreate
    Form1.Show(showCommand);
    RunMessageLoop(Form1);  // the window's WM_DESTROY runs FormDestroy
  } catch (...) {
    // A window that cannot be made (no desktop heap left, say): say why and end, rather
    // than wait unseen for messages that never come.
    ShowCaughtError(nullptr);
    exitCode = 1;
  }
  // The recorded path outlives the window: released only after FormDestroy has run.
  WorkFolder.clear();
  WorkFolder.shrink_to_fit();
  return exitCode;
}
