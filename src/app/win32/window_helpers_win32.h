// Small helpers, each wrapping one Win32 call pattern of the window.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "app/win32/form_layout_win32.h"
#include "win32/unique_handle.h"

// A length in 96-DPI pixels at another DPI.
inline int ScaleForDpi(int pixels, int dpi) {
  return MulDiv(pixels, dpi, kDesignDpi);
}

// The DPI of the monitor the window stands on (the system DPI before Windows 10).
int WindowDpi(HWND hwnd);
// The outer size of a window of this style whose client area has this size, at this DPI.
SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, int dpi);

std::wstring HwndText(HWND hwnd);
void HwndSetText(HWND hwnd, std::wstring_view text);
void HwndSetFont(HWND hwnd, HFONT font);
// The window's rectangle in its parent's client coordinates.
RECT HwndRectInParent(HWND hwnd);

// A font from its 96-DPI design at this DPI, with its weight and slant given separately.
UniqueGdiObject MakeFont(const FontDesign& design, int weight, bool italic, int dpi);
inline UniqueGdiObject MakeFont(const FontDesign& design, int dpi) {
  return MakeFont(design, design.weight, design.italic, dpi);
}

// The pixel size of one line of text in a font.
SIZE TextExtent(HWND hwnd, HFONT font, std::wstring_view text);

// The full path of this program's file.
std::wstring ModulePath();

// An exception's narrow message for a wide box (UTF-8 where it is valid, else the ANSI page).
std::wstring WidenMessage(const char* text);

// Counts nested program changes so that notifications they cause can be told from the user's.
class ScopedCount {
 public:
  explicit ScopedCount(int& count) : count_(count) { ++count_; }
  ~ScopedCount() { --count_; }
  ScopedCount(const ScopedCount&) = delete;
  ScopedCount& operator=(const ScopedCount&) = delete;

 private:
  int& count_;
};

// Selects a GDI object into a DC for one scope.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~ScopedSelect() { SelectObject(dc_, old_); }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};
