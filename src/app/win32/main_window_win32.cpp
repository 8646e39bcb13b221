#include "app/win32/main_window_win32.h"

#include <commctrl.h>

#include <optional>

#include "app/win32/error_box_win32.h"
#include "app/win32/resource_ids_win32.h"
#include "app/win32/window_helpers_win32.h"
#include "core/app_error.h"

namespace {

constexpr DWORD kFrameStyle = WS_OVERLAPPEDWINDOW;  // sizeable, system menu, min and max
constexpr DWORD kFrameExStyle = 0;

// The opened list shows this many items and scrolls for more.
constexpr int kListRows = 8;

std::size_t Row(FormControl control) {
  return static_cast<std::size_t>(control);
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, SystemServices& services)
    : instance_(instance), services_(services) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance_;
  wc.hIcon = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 0,
                                           0, LR_DEFAULTSIZE | LR_SHARED));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  const std::wstring className(kFormClassName);
  wc.lpszClassName = className.c_str();
  RegisterClassExW(&wc);  // once per process; later windows reuse it
  DonatePanel::Register(instance_);

  const std::wstring caption(kFormCaption);
  if (CreateWindowExW(kFrameExStyle, className.c_str(), caption.c_str(), kFrameStyle, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_,
                      this) == nullptr) {
    const DWORD error = GetLastError();
    if (creationError_) {
      std::rethrow_exception(creationError_);
    }
    throw AppError(WindowNotCreatedMessage(error));
  }
  try {
    SizeToClient();
    form_ = std::make_unique<TForm1>(Views(), services_, HwndText(hwnd_));
    WireHandlers();
  } catch (...) {
    DestroyWindow(hwnd_);  // no destructor runs for an object that was not made
    throw;
  }
  Run(&TForm1::FormCreate);
}

MainWindow::~MainWindow() {
  if (hwnd_ != nullptr) {
    DestroyWindow(hwnd_);
  }
}

HWND MainWindow::ControlHandle(FormControl control) const {
  return controls_[Row(control)];
}

Form1Controls MainWindow::Views() {
  return {memoLog_, comboDevice_, comboBoxPort_, buttonFlash_, progressBar1_, panelDonate_};
}

void MainWindow::Show(int showCommand) {
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
}

void MainWindow::Dispatch(MSG& msg) {
  if (hwnd_ != nullptr && msg.message == WM_KEYDOWN && msg.wParam == VK_TAB &&
      IsChild(hwnd_, msg.hwnd) && (GetKeyState(VK_CONTROL) & 0x8000) == 0) {
    MoveFocus((GetKeyState(VK_SHIFT) & 0x8000) == 0);
    return;
  }
  // Enter and Escape, and the arrow keys on the button.
  if (hwnd_ != nullptr && IsDialogMessageW(hwnd_, &msg)) {
    return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void RunMessageLoop(MainWindow& window) {
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    window.Dispatch(msg);
  }
}

// ---- Wiring and errors ----------------------------------------------------------------------

void MainWindow::WireHandlers() {
  comboDevice_.OnChange([this] { Run(&TForm1::ComboDeviceChange); });
  comboBoxPort_.OnDropDown([this] { Run(&TForm1::ComboBoxPortDropDown); });
  comboBoxPort_.OnChange([this] { Run(&TForm1::ComboBoxPortChange); });
  buttonFlash_.OnClick([this] { Run(&TForm1::ButtonFlashClick); });
  panelDonate_.OnClick([this] { Run(&TForm1::PanelDonateClick); });
}

void MainWindow::Run(void (TForm1::*handler)()) {
  if (!form_) {
    return;
  }
  try {
    ((*form_).*handler)();
  } catch (...) {
    ShowCaughtError(hwnd_);
  }
}

// ---- Messages -------------------------------------------------------------------------------

LRESULT CALLBACK MainWindow::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return CatchAtBoundary(hwnd, 0, [&] { return self->HandleMessage(message, wParam, lParam); });
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam), HIWORD(wParam) != 0);
      return 0;
    case WM_NEXTDLGCTL:  // sent by a multi-line text box for the Tab key
      OnNextDialogControl(wParam, lParam);
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_DRAWITEM:
      OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return OnControlColour(message, reinterpret_cast<HDC>(wParam),
                             reinterpret_cast<HWND>(lParam));
    case WM_ENDSESSION:
      OnEndSession(wParam != FALSE);
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_NCDESTROY: {
      HWND hwnd = std::exchange(hwnd_, nullptr);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      controls_.fill(nullptr);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    default:
      // WM_SIZE included: every control stays fixed to the top-left corner.
      return DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

LRESULT MainWindow::OnCreate() noexcept {
  try {
    dpi_ = WindowDpi(hwnd_);
    CreateControls();
    return 0;
  } catch (...) {
    // The window is not made: the constructor reports why.
    creationError_ = std::current_exception();
    return -1;
  }
}

void MainWindow::OnCommand(int id, WORD code) {
  if (id == ControlIdOf(FormControl::ComboDevice)) {
    comboDevice_.OnNotify(code);
  } else if (id == ControlIdOf(FormControl::ComboBoxPort)) {
    comboBoxPort_.OnNotify(code);
  } else if (id == ControlIdOf(FormControl::ButtonFlash)) {
    buttonFlash_.OnNotify(code);
  } else if (id == ControlIdOf(FormControl::MemoLog) && code == EN_CHANGE) {
    memoLog_.OnEditChange();
  } else if (id == IDOK && GetFocus() == buttonFlash_.Handle() &&
             IsWindowEnabled(buttonFlash_.Handle())) {
    buttonFlash_.OnNotify(BN_CLICKED);  // Enter presses the focused button
  }
}

void MainWindow::OnActivate(WORD state, bool minimized) {
  if (state == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(hwnd_, focus)) {
      lastFocus_ = focus;
    }
    return;
  }
  if (minimized) {
    return;
  }
  HWND target = lastFocus_;
  if (target == nullptr || !IsWindow(target) || !IsWindowEnabled(target)) {
    target = FirstTabStop();  // first activation: the first control that can take the focus
  }
  if (target != nullptr) {
    SetFocus(target);
  }
}

void MainWindow::OnNextDialogControl(WPARAM wParam, LPARAM lParam) {
  if (LOWORD(lParam) != 0) {
    SetFocus(reinterpret_cast<HWND>(wParam));
  } else {
    MoveFocus(wParam == 0);
  }
}

void MainWindow::MoveFocus(bool forward) {
  // From the control itself, not from a list's inner field.
  HWND current = GetFocus();
  while (current != nullptr && GetParent(current) != hwnd_) {
    current = GetParent(current);
  }
  // The next enabled Tab stop in stacking order, which is the table's order.
  HWND next = GetNextDlgTabItem(hwnd_, current, forward ? FALSE : TRUE);
  if (next == nullptr) {
    return;
  }
  SetFocus(next);
  if (next == comboDevice_.Handle() || next == comboBoxPort_.Handle()) {
    // Moving into a list highlights its whole field, so that typing replaces it.
    SendMessageW(next, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
  }
}

void MainWindow::OnDpiChanged(int dpi, const RECT& suggested) {
  dpi_ = dpi;
  RebuildFonts();
  PlaceControls();
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.hwndItem == ControlHandle(FormControl::Image1)) {
    logo_.Draw(item.hDC, item.rcItem);
  }
}

LRESULT MainWindow::OnControlColour(UINT message, HDC dc, HWND control) {
  // The label and the picture stand on the window's background; other static colours (a
  // disabled list's field) keep the system's greyed look.
  if (control == ControlHandle(FormControl::Label1) ||
      control == ControlHandle(FormControl::Image1) ||
      control == ControlHandle(FormControl::ButtonFlash)) {
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  return DefWindowProcW(hwnd_, message, reinterpret_cast<WPARAM>(dc),
                        reinterpret_cast<LPARAM>(control));
}

// Windows ends the process after this message without destroying the window, so the work
// folder goes now, as FormDestroy removes it.
void MainWindow::OnEndSession(bool ending) {
  if (ending) {
    Run(&TForm1::FormDestroy);
  }
}

void MainWindow::OnDestroy() {
  if (!form_) {
    return;  // a window whose making failed: no loop runs for it
  }
  Run(&TForm1::FormDestroy);
  PostQuitMessage(0);
}

// ---- Controls and layout --------------------------------------------------------------------

void MainWindow::CreateControls() {
  // Fonts first, so that each control is made at its place with its font in one step.
  fonts_ = MakeFonts();
  // Creation order is stacking order, and the Tab key follows it.
  for (const ControlLayout& row : FormLayout()) {
    HWND control = CreateControl(row, PlaceOf(row));
    if (control == nullptr) {
      throw AppError(WindowNotCreatedMessage(GetLastError()));
    }
    controls_[Row(row.control)] = control;
    if (row.font != FontRole::Donate) {  // the panel builds its caption font from its look
      // Nothing is on screen yet: the first paint draws the text in its font.
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(row)), FALSE);
    }
  }
  memoLog_.Attach(ControlHandle(FormControl::MemoLog));
  comboDevice_.Attach(ControlHandle(FormControl::ComboDevice));
  comboBoxPort_.Attach(ControlHandle(FormControl::ComboBoxPort));
  buttonFlash_.Attach(ControlHandle(FormControl::ButtonFlash));
  progressBar1_.Attach(ControlHandle(FormControl::ProgressBar1));
  PlaceDropDownLists();
  logo_.Load(instance_, L"" IDR_LOGO_NAME, L"" IDR_LOGO_TYPE);
  const RECT image = PlaceOf(LayoutOf(FormControl::Image1));
  logo_.Fit({image.right - image.left, image.bottom - image.top});
}

HWND MainWindow::CreateControl(const ControlLayout& row, const RECT& place) {
  const std::wstring text(row.text);
  if (row.kind == ControlKind::Panel) {
    return panelDonate_.Create(hwnd_, ControlIdOf(row.control), instance_, text.c_str(), place,
                               dpi_);
  }
  const ControlClass made = ControlClassOf(row.kind);
  const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdOf(row.control)));
  return CreateWindowExW(made.exStyle, made.windowClass, text.c_str(), made.style, place.left,
                         place.top, place.right - place.left, place.bottom - place.top, hwnd_, id,
                         instance_, nullptr);
}

std::array<UniqueGdiObject, 2> MainWindow::MakeFonts() const {
  return {MakeFont(FontOf(FontRole::Window), dpi_), MakeFont(FontOf(FontRole::Title), dpi_)};
}

HFONT MainWindow::FontFor(const ControlLayout& row) const {
  return static_cast<HFONT>(fonts_[static_cast<std::size_t>(row.font)].get());
}

void MainWindow::RebuildFonts() {
  // The controls take the new fonts before the old ones are deleted.
  std::array<UniqueGdiObject, 2> fonts = MakeFonts();
  for (const ControlLayout& row : FormLayout()) {
    if (row.font == FontRole::Donate) {
      continue;  // the panel builds its caption font from its look
    }
    HwndSetFont(ControlHandle(row.control),
                static_cast<HFONT>(fonts[static_cast<std::size_t>(row.font)].get()));
  }
  fonts_ = std::move(fonts);
  panelDonate_.SetDpi(dpi_);
}

RECT MainWindow::PlaceOf(const ControlLayout& row) const {
  const int left = Scale(row.x);
  const int top = Scale(row.y);
  RECT place{left, top, left + Scale(row.width), top + Scale(row.height)};
  if (row.kind == ControlKind::Label) {
    // The label sizes itself to its text.
    const SIZE size = TextExtent(hwnd_, FontFor(row), row.text);
    place.right = place.left + size.cx;
    place.bottom = place.top + size.cy;
  }
  return place;
}

void MainWindow::PlaceControls() {
  for (const ControlLayout& row : FormLayout()) {
    if (row.kind == ControlKind::DropDownList) {
      continue;  // placed together below
    }
    HWND control = ControlHandle(row.control);
    const RECT place = PlaceOf(row);
    if (row.kind == ControlKind::Picture) {
      logo_.Fit({place.right - place.left, place.bottom - place.top});
      InvalidateRect(control, nullptr, TRUE);
    }
    SetWindowPos(control, nullptr, place.left, place.top, place.right - place.left,
                 place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  PlaceDropDownLists();
}

void MainWindow::PlaceDropDownLists() {
  // The closed field is as high as the item height set for it plus a border, and systems
  // differ in both the border and in what CB_GETITEMHEIGHT reports back. So set a height on
  // the first list, measure its field, and give both lists the height that makes the
  // difference right: they share their style and font, hence their border.
  std::optional<int> border;
  for (FormControl list : {FormControl::ComboDevice, FormControl::ComboBoxPort}) {
    HWND combo = ControlHandle(list);
    const RECT field = PlaceOf(LayoutOf(list));
    const int width = field.right - field.left;
    const int height = field.bottom - field.top;
    SendMessageW(combo, CB_SETMINVISIBLE, kListRows, 0);
    auto place = [&](int fieldItemHeight) {
      SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), fieldItemHeight);
      // The height given to a drop-down combo box is that of the field and its opened list.
      const auto rowHeight = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
      SetWindowPos(combo, nullptr, field.left, field.top, width, height + kListRows * rowHeight + 2,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      const RECT now = HwndRectInParent(combo);
      return now.bottom - now.top;
    };
    if (!border) {
      // The trial is the font's own item height: Wine clips a smaller one at the next resize.
      const auto trial =
          static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
      border = place(trial) - trial;
    }
    place(height - *border);
  }
}

void MainWindow::SizeToClient() {
  const SIZE size = WindowSizeForClient({Scale(kFormClientWidth), Scale(kFormClientHeight)},
                                        kFrameStyle, kFrameExStyle, dpi_);
  SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND MainWindow::FirstTabStop() const {
  for (const ControlLayout& row : FormLayout()) {  // rows are in tab order (checked)
    HWND control = ControlHandle(row.control);
    if (row.tabOrder != kNoTabOrder && TakesFocus(row.kind) && IsWindowVisible(control) &&
        IsWindowEnabled(control)) {
      return control;
    }
  }
  return nullptr;
}

int MainWindow::Scale(int pixels) const {
  return ScaleForDpi(pixels, dpi_);
}
