// Where the program's start-up time goes: the program's own start sequence with the time of
// each step since the process was created, printed as "steps.<step> <ms>". The window is
// closed as soon as it has been painted.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>

#include "app/win32/logo_picture_win32.h"
#include "app/win32/main_window_win32.h"
#include "app/win32/resource_ids_win32.h"
#include "app/win32/system_services_win32.h"
#include "bench/bench_support_win32.h"
#include "flashing/win32/work_folder_win32.h"

namespace {

// Milliseconds since this process was created.
double SinceCreation() {
  FILETIME created{};
  FILETIME ignored{};
  GetProcessTimes(GetCurrentProcess(), &created, &ignored, &ignored, &ignored);
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  const auto ticks = [](const FILETIME& time) {
    return (static_cast<long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return static_cast<double>(ticks(now) - ticks(created)) / 10'000.0;
}

}  // namespace

int wmain() {
  bench::Print("steps.entry", SinceCreation());
  DisableProcessWindowsGhosting();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  bench::Print("steps.common_controls", SinceCreation());
  {
    // The same decoding the window does, once more on its own.
    LogoPicture logo;
    logo.Load(GetModuleHandleW(nullptr), L"" IDR_LOGO_NAME, L"" IDR_LOGO_TYPE);
    bench::Print("steps.logo_alone", SinceCreation());
    GetWorkFolder();
    bench::Print("steps.work_folder_alone", SinceCreation());
    logo.Fit({121, 121});
    bench::Print("steps.logo_fit_alone", SinceCreation());
    {
      const bench::Stopwatch clock;
      LogoPicture again;
      again.Load(GetModuleHandleW(nullptr), L"" IDR_LOGO_NAME, L"" IDR_LOGO_TYPE);
      bench::Print("steps.again_logo_load_ms", clock.Milliseconds());
      again.Fit({121, 121});
      bench::Print("steps.again_logo_load_fit_ms", clock.Milliseconds());
    }
  }
  {
    Win32SystemServices services;
    MainWindow window(GetModuleHandleW(nullptr), services);
    bench::Print("steps.window_created", SinceCreation());
    window.Show(SW_SHOWNORMAL);
    bench::Print("steps.shown_and_painted", SinceCreation());
  }
  {
    // Again in the same process: what is left once the system's first-use work is done.
    Win32SystemServices services;
    const bench::Stopwatch clock;
    MainWindow window(GetModuleHandleW(nullptr), services);
    bench::Print("steps.again_window_created_ms", clock.Milliseconds());
    window.Show(SW_SHOWNORMAL);
    bench::Print("steps.again_shown_and_painted_ms", clock.Milliseconds());
    {
      // The handlers' start state once more, on the real controls.
      TForm1 form(window.Views(), services, std::wstring(kFormCaption));
      const bench::Stopwatch formClock;
      form.FormCreate();
      bench::Print("steps.again_form_create_ms", formClock.Milliseconds());
    }
    {
      // Fonts and places of every control again, as a DPI change makes them.
      RECT place{};
      GetWindowRect(window.Handle(), &place);
      const bench::Stopwatch layoutClock;
      SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(window.Dpi(), window.Dpi()),
                   reinterpret_cast<LPARAM>(&place));
      bench::Print("steps.again_fonts_and_places_ms", layoutClock.Milliseconds());
    }
  }
  return 0;
}
