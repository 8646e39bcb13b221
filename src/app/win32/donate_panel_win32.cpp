#include "app/win32/donate_panel_win32.h"

#include <windowsx.h>

#include "app/win32/error_box_win32.h"
#include "app/win32/form_layout_win32.h"
#include "app/win32/window_helpers_win32.h"

namespace {

// Space between the border and the caption area, in 96-DPI pixels.
constexpr int kInnerSpace = 2;

COLORREF FromRgb(std::uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

}  // namespace

void DonatePanel::Register(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);  // a second registration fails harmlessly
}

HWND DonatePanel::Create(HWND parent, int id, HINSTANCE instance, const wchar_t* caption,
                         const RECT& place, int dpi) {
  dpi_ = dpi;
  RebuildFont();
  const ControlClass made = ControlClassOf(ControlKind::Panel);  // the styles; the class is ours
  return CreateWindowExW(made.exStyle, kClassName, caption, made.style, place.left, place.top,
                         place.right - place.left, place.bottom - place.top, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this);
}

void DonatePanel::SetDpi(int dpi) {
  dpi_ = dpi;
  RebuildFont();
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void DonatePanel::SetLook(const PanelLook& look) {
  look_ = look;
  RebuildFont();
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void DonatePanel::RebuildFont() {
  const FontDesign& design = FontOf(FontRole::Donate);
  const int weight = look_ && look_->bold ? FW_BOLD : design.weight;
  const bool italic = look_ ? look_->italic : design.italic;
  font_ = MakeFont(design, weight, italic, dpi_);
}

void DonatePanel::Paint(HDC dc) const {
  RECT client{};
  GetClientRect(hwnd_, &client);
  const COLORREF background = look_ ? FromRgb(look_->background) : GetSysColor(COLOR_BTNFACE);
  const COLORREF caption = look_ ? FromRgb(look_->captionColour) : GetSysColor(COLOR_WINDOWTEXT);

  UniqueGdiObject brush(CreateSolidBrush(background));
  FillRect(dc, &client, static_cast<HBRUSH>(brush.get()));

  RECT area = client;
  const int inset = ScaleForDpi(kInnerSpace, dpi_);
  InflateRect(&area, -inset, -inset);
  const std::wstring text = HwndText(hwnd_);
  ScopedSelect select(dc, font_.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, caption);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

LRESULT CALLBACK DonatePanel::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<DonatePanel*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<DonatePanel*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return CatchAtBoundary(hwnd, 0, [&] { return self->HandleMessage(message, wParam, lParam); });
}

LRESULT DonatePanel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT ps{};
      HDC dc = BeginPaint(hwnd_, &ps);
      Paint(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_.get());
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_SETCURSOR:
      if (look_ && look_->handPointer && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_LBUTTONDOWN:
      pressed_ = true;
      SetCapture(hwnd_);
      return 0;
    case WM_LBUTTONUP: {
      if (!pressed_) {
        return 0;
      }
      pressed_ = false;
      ReleaseCapture();
      RECT client{};
      GetClientRect(hwnd_, &client);
      const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      // A click is a press and a release on the panel, the way buttons count it.
      if (PtInRect(&client, at) && onClick_) {
        onClick_();
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      pressed_ = false;
      return 0;
    case WM_NCDESTROY: {
      HWND hwnd = std::exchange(hwnd_, nullptr);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}
