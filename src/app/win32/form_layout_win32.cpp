#include "app/win32/form_layout_win32.h"

#include <commctrl.h>

#include <array>

#ifndef VTF_STANDIN_PAYLOADS
#error "VTF_STANDIN_PAYLOADS says whether the program carries the stand-in payloads"
#endif

namespace {

// Line 1 of the information text: a demonstration build says plainly that it flashes nothing.
#if VTF_STANDIN_PAYLOADS
#define VTF_INFO_FIRST_LINE \
  L"Demonstration build: it simulates the device and writes nothing to any port."
#else
#define VTF_INFO_FIRST_LINE L"VantorTracker Flasher \u00A9 the VantorTracker project."
#endif

constexpr std::wstring_view kInfoText =
    VTF_INFO_FIRST_LINE
    L"\r\n"
    L"\r\n"
    L"Thank you for using VantorTracker Flasher.\r\n"
    L"\r\n"
    L"This software is used to flash the VantorTracker head\u2011tracker \r\n"
    L"firmware onto the M5Stick.\r\n"
    L"\r\n"
    L"It is provided for free and represents many hours of work to \r\n"
    L"make the DIY head\u2011tracker project accessible to everyone \u2014 \r\n"
    L"even without being a specialist.\r\n"
    L"\r\n"
    L"If you enjoy my work, please consider supporting.";

constexpr int kFirstControlId = 1001;

using enum FormControl;
using enum ControlKind;
using enum FontRole;

constexpr std::array<ControlLayout, kFormControlCount> kLayout{{
    {Label1, Label, 24, 8, 245, 19, kNoTabOrder, L"VantorTracker \u2013 Flasher for M5Stick ",
     Title},
    {Image1, Picture, 492, 8, 124, 121, kNoTabOrder, L"", Window},
    {ComboBoxPort, DropDownList, 24, 62, 239, 23, 0, L"", Window},
    {ButtonFlash, PushButton, 88, 91, 105, 25, 1, L"Flash", Window},
    {MemoLog, LogBox, 24, 151, 239, 234, 2, L"", Window},
    {ProgressBar1, ProgressBar, 24, 122, 239, 23, 3, L"", Window},
    {Memo1, InfoBox, 288, 145, 328, 194, 4, kInfoText, Window},
    {PanelDonate, Panel, 344, 353, 193, 32, 5, L"Donate via PayPal", Donate},
    {ComboDevice, DropDownList, 24, 33, 239, 23, 6, L"", Window},
}};

constexpr std::array<FontDesign, 3> kFonts{{
    {L"Segoe UI", 12, FW_NORMAL, false, DEFAULT_CHARSET},
    {L"Segoe UI", 14, FW_BOLD, false, DEFAULT_CHARSET},
    // Weight and slant come from the panel's look; this is the face before it is applied.
    {L"Segoe UI Semibold", 21, FW_NORMAL, false, ANSI_CHARSET},
}};

// The Tab key follows the stacking order, which is the creation order: the tab orders must
// rise along the table.
constexpr bool TableIsConsistent() {
  int lastTab = kNoTabOrder;
  for (std::size_t row = 0; row < kLayout.size(); ++row) {
    if (static_cast<std::size_t>(kLayout[row].control) != row) {
      return false;
    }
    if (kLayout[row].tabOrder != kNoTabOrder) {
      if (kLayout[row].tabOrder <= lastTab) {
        return false;
      }
      lastTab = kLayout[row].tabOrder;
    }
  }
  return true;
}
static_assert(TableIsConsistent());

}  // namespace

std::span<const ControlLayout, kFormControlCount> FormLayout() {
  return kLayout;
}

const ControlLayout& LayoutOf(FormControl control) {
  return kLayout[static_cast<std::size_t>(control)];
}

const FontDesign& FontOf(FontRole role) {
  return kFonts[static_cast<std::size_t>(role)];
}

int ControlIdOf(FormControl control) {
  return kFirstControlId + static_cast<int>(static_cast<std::size_t>(control));
}

bool TakesFocus(ControlKind kind) {
  switch (kind) {
    case DropDownList:
    case PushButton:
    case LogBox:
    case InfoBox:
      return true;
    case Label:
    case Picture:
    case ProgressBar:
    case Panel:
      return false;
  }
  return false;
}

ControlClass ControlClassOf(ControlKind kind) {
  const DWORD child = WS_CHILD | WS_VISIBLE | (TakesFocus(kind) ? WS_TABSTOP : 0);
  switch (kind) {
    case Label:
      return {WC_STATICW, child | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0};
    case Picture:
      return {WC_STATICW, child | SS_OWNERDRAW, 0};
    case DropDownList:
      return {WC_COMBOBOXW, child | CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL, 0};
    case PushButton:
      return {WC_BUTTONW, child | BS_PUSHBUTTON, 0};
    case LogBox:
      // No scroll bars; wraps at its width; Enter makes a new line.
      return {WC_EDITW, child | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, WS_EX_CLIENTEDGE};
    case ProgressBar:
      return {PROGRESS_CLASSW, child, 0};
    case InfoBox:
      return {WC_EDITW, child | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, 0};
    case Panel:
      // The same kind of border as a text box.
      return {nullptr, child, WS_EX_CLIENTEDGE};
  }
  return {WC_STATICW, child, 0};
}
