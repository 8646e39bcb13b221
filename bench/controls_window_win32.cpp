// The start-up floor under Wine: the program's nine controls, of the same classes, at the same
// places and in the same fonts, in an empty window with the same manifest; no logo, no
// handlers, no work folder. What this costs above the bare window, any program with this
// window pays.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "app/win32/form_layout_win32.h"
#include "app/win32/window_helpers_win32.h"

namespace {

LRESULT CALLBACK FloorProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = FloorProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"BenchControlsWindow";
  RegisterClassExW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"Controls window", WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                              nullptr, instance, nullptr);
  if (hwnd == nullptr) {
    return 1;
  }
  const int dpi = WindowDpi(hwnd);
  const UniqueGdiObject fonts[] = {MakeFont(FontOf(FontRole::Window), dpi),
                                   MakeFont(FontOf(FontRole::Title), dpi),
                                   MakeFont(FontOf(FontRole::Donate), dpi)};
  for (const ControlLayout& row : FormLayout()) {
    const ControlClass made = ControlClassOf(row.kind);
    // The donation panel's own class only paints: a static with its border stands in for it.
    const wchar_t* windowClass = made.windowClass != nullptr ? made.windowClass : WC_STATICW;
    const std::wstring text(row.text);
    HWND control = CreateWindowExW(
        made.exStyle, windowClass, text.c_str(), made.style, ScaleForDpi(row.x, dpi),
        ScaleForDpi(row.y, dpi), ScaleForDpi(row.width, dpi), ScaleForDpi(row.height, dpi), hwnd,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdOf(row.control))), instance, nullptr);
    SendMessageW(control, WM_SETFONT,
                 reinterpret_cast<WPARAM>(fonts[static_cast<std::size_t>(row.font)].get()), FALSE);
  }
  const SIZE size =
      WindowSizeForClient({ScaleForDpi(kFormClientWidth, dpi), ScaleForDpi(kFormClientHeight, dpi)},
                          WS_OVERLAPPEDWINDOW, 0, dpi);
  SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(hwnd, showCommand);
  UpdateWindow(hwnd);
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
