// The main window's controls as data: one row per control, in creation (and stacking) order,
// with its place and size in 96-DPI pixels, its tab order, its first text and its font. The
// code that creates the controls and the code that re-scales them both read this table.
#pragma once

#include <windows.h>

#include <cstddef>
#include <span>
#include <string_view>

#include "version_win32.h"

inline constexpr std::wstring_view kFormClassName = L"TForm1";
inline constexpr std::wstring_view kFormCaption = L"VantorTrackerFlasher v" VTF_VERSION_TEXT;
inline constexpr int kFormClientWidth = 624;
inline constexpr int kFormClientHeight = 400;
inline constexpr int kDesignDpi = 96;

// The controls, in creation order; the value is the row in the table.
enum class FormControl : std::size_t {
  Label1,
  Image1,
  ComboBoxPort,
  ButtonFlash,
  MemoLog,
  ProgressBar1,
  Memo1,
  PanelDonate,
  ComboDevice,
};
inline constexpr std::size_t kFormControlCount = 9;

enum class ControlKind {
  Label,         // sizes itself to its text
  Picture,       // the logo
  DropDownList,  // editable drop-down list
  PushButton,
  LogBox,       // multi-line text box with a border
  ProgressBar,  // 0 to 100
  InfoBox,      // multi-line text box without border, on the window's background
  Panel,        // the donation panel
};

enum class FontRole { Window, Title, Donate };

struct FontDesign {
  std::wstring_view face;
  int height;  // character height in 96-DPI pixels
  int weight;
  bool italic;
  BYTE charset;
};

inline constexpr int kNoTabOrder = -1;

struct ControlLayout {
  FormControl control;
  ControlKind kind;
  int x, y, width, height;
  int tabOrder;  // kNoTabOrder for the label and the picture
  std::wstring_view text;
  FontRole font;
};

std::span<const ControlLayout, kFormControlCount> FormLayout();
const ControlLayout& LayoutOf(FormControl control);
const FontDesign& FontOf(FontRole role);

// The Win32 control identifier of a control (its WM_COMMAND id).
int ControlIdOf(FormControl control);

// Whether a control of this kind can hold the keyboard focus (and so is a Tab stop).
bool TakesFocus(ControlKind kind);

// The window class and styles a control of this kind is made with. The donation panel has a
// class of its own (windowClass is null): DonatePanel makes it, with these styles.
struct ControlClass {
  const wchar_t* windowClass;
  DWORD style;
  DWORD exStyle;
};
ControlClass ControlClassOf(ControlKind kind);
