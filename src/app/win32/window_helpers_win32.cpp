#include "app/win32/window_helpers_win32.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>

namespace {

// Found at run time: the per-monitor functions exist from Windows 10 on, and the program
// still starts on the older systems its manifest names.
template <typename Function>
Function User32Function(const char* name) {
  return std::bit_cast<Function>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name));
}

}  // namespace

int WindowDpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow != nullptr) {
    return static_cast<int>(getDpiForWindow(hwnd));
  }
  HDC dc = GetDC(hwnd);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(hwnd, dc);
  return dpi;
}

SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, int dpi) {
  using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi = User32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  RECT rect{0, 0, client.cx, client.cy};
  if (adjustForDpi != nullptr) {
    adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi));
  } else {
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
  }
  return {rect.right - rect.left, rect.bottom - rect.top};
}

std::wstring HwndText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

void HwndSetText(HWND hwnd, std::wstring_view text) {
  const std::wstring terminated(text);
  SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(terminated.c_str()));
}

void HwndSetFont(HWND hwnd, HFONT font) {
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

RECT HwndRectInParent(HWND hwnd) {
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

UniqueGdiObject MakeFont(const FontDesign& design, int weight, bool italic, int dpi) {
  LOGFONTW font{};
  font.lfHeight = -ScaleForDpi(design.height, dpi);
  font.lfWeight = weight;
  font.lfItalic = italic ? TRUE : FALSE;
  font.lfCharSet = design.charset;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  const std::size_t length = std::min(design.face.size(), std::size(font.lfFaceName) - 1);
  std::memcpy(font.lfFaceName, design.face.data(), length * sizeof(wchar_t));
  return UniqueGdiObject(CreateFontIndirectW(&font));
}

SIZE TextExtent(HWND hwnd, HFONT font, std::wstring_view text) {
  SIZE size{};
  HDC dc = GetDC(hwnd);
  {
    ScopedSelect select(dc, font);
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
  }
  ReleaseDC(hwnd, dc);
  return size;
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring WidenMessage(const char* text) {
  const int length = static_cast<int>(std::strlen(text));
  if (length == 0) {
    return {};
  }
  UINT page = CP_UTF8;
  int wide = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
  if (wide == 0) {
    page = CP_ACP;
    wide = MultiByteToWideChar(page, 0, text, length, nullptr, 0);
  }
  std::wstring result(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(page, 0, text, length, result.data(), wide);
  return result;
}
