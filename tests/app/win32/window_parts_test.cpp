// The logo, the donation panel, the Flash button with the progress bar during a run that
// holds the thread, and the error box that catches what escapes a handler.
#include <cstdlib>
#include <optional>
#include <span>
#include <stdexcept>

#include "app/form1.h"
#include "app/logo_fit.h"
#include "app/logo_png.h"
#include "app/win32/logo_picture_win32.h"
#include "failing_allocation.h"
#include "system_codec.h"
#include "window_test_support.h"

namespace {

using enum FormControl;

// A control drawn by its own paint code into a 32-bit bitmap, read back pixel by pixel.
class Capture {
 public:
  // What the control's WM_PRINTCLIENT draws.
  explicit Capture(HWND control) {
    RECT client{};
    GetClientRect(control, &client);
    Draw(client.right, client.bottom, [control](HDC dc) {
      SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    });
  }
  // What a drawing function draws into a box of this size.
  Capture(int width, int height, const std::function<void(HDC)>& draw) {
    Draw(width, height, draw);
  }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // As 0xRRGGBB.
  std::uint32_t At(int x, int y) const {
    return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                   static_cast<std::size_t>(x)] &
           0xFFFFFF;
  }

 private:
  void Draw(int width, int height, const std::function<void(HDC)>& draw) {
    width_ = width;
    height_ = height;
    const RECT client{0, 0, width, height};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    // A colour neither control uses, so that unpainted pixels show.
    HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(dc, &client, magenta);
    DeleteObject(magenta);
    draw(dc);
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    pixels_.assign(pixels,
                   pixels + static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }

  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> pixels_;
};

std::uint32_t SystemColour(int index) {
  const COLORREF c = GetSysColor(index);
  return (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
         (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

// ---- The logo ------------------------------------------------------------------------------

TEST(LogoFit, KeepsAFittingPictureAndScalesALargerOneDownTruncated) {
  struct Case {
    PixelSize picture, box, drawn;
  };
  const Case cases[] = {
      {{1024, 1024}, {124, 121}, {121, 121}},  // the logo in its box at 96 DPI
      {{1024, 1024}, {186, 182}, {182, 182}},  // and at 144 DPI
      {{100, 50}, {124, 121}, {100, 50}},      // fits: its own size
      {{124, 121}, {124, 121}, {124, 121}},
      {{300, 100}, {124, 121}, {124, 41}},  // 41.33 truncated
      {{100, 300}, {124, 121}, {40, 121}},  // 40.33 truncated
      {{200, 10}, {124, 121}, {124, 6}},    // 6.2 truncated
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FitInside(c.picture, c.box), c.drawn) << c.picture.width << "x" << c.picture.height
                                                    << " in " << c.box.width << "x" << c.box.height;
  }
}

TEST_F(WindowTest, TheLogoResourceIsA1024SquarePictureScaledDownForItsBox) {
  LogoPicture logo;
  ASSERT_TRUE(logo.Load(GetModuleHandleW(nullptr), L"LOGO", L"PNG"));
  EXPECT_EQ(logo.SourceSize(), (PixelSize{1024, 1024}));
  logo.Fit({124, 121});
  EXPECT_EQ(logo.DrawnSize(), (PixelSize{121, 121}));
  const Capture drawn(124, 121, [&](HDC dc) { logo.Draw(dc, RECT{0, 0, 124, 121}); });
  const std::uint32_t background = SystemColour(COLOR_WINDOW);
  // Transparent corners, the blue square up to the picture's right edge, then the box.
  EXPECT_EQ(drawn.At(0, 0), background);
  EXPECT_NE(drawn.At(60, 12), background);
  EXPECT_NE(drawn.At(120, 60), background);
  EXPECT_EQ(drawn.At(121, 60), background);
  EXPECT_FALSE(logo.Load(GetModuleHandleW(nullptr), L"NOLOGO", L"PNG"));
}

TEST_F(WindowTest, TheLogoReaderAgreesWithTheSystemCodecPixelForPixel) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, L"LOGO", L"PNG");
  ASSERT_NE(found, nullptr);
  auto* bytes = static_cast<BYTE*>(LockResource(LoadResource(module, found)));
  const DWORD size = SizeofResource(module, found);
  const std::size_t length = 1024u * 1024u * 4u;
  std::vector<std::uint8_t> ours(length);
  ASSERT_TRUE(DecodePngScaled(std::span<const std::uint8_t>(bytes, size), {1024, 1024}, ours));

  UINT width = 0;
  const std::vector<std::uint8_t> theirs = DecodeWithSystemCodec(
      std::span<const std::uint8_t>(bytes, size), GUID_WICPixelFormat32bppPBGRA, width);
  ASSERT_EQ(width, 1024u);
  ASSERT_EQ(theirs.size(), length);
  // The codec may round a premultiplied colour the other way.
  std::size_t apart = 0;
  for (std::size_t i = 0; i < length; ++i) {
    apart += std::abs(int{ours[i]} - int{theirs[i]}) > 1 ? 1u : 0u;
  }
  EXPECT_EQ(apart, 0u);
}

TEST_F(WindowTest, TheLogoIsFittedToEachBoxItIsGivenAndAMissingOneLeavesTheBoxEmpty) {
  struct Case {
    const wchar_t* name;
    PixelSize box;
    PixelSize drawn;
  };
  const Case cases[] = {
      {L"LOGO", {124, 121}, {121, 121}},
      {L"LOGO", {186, 182}, {182, 182}},  // another DPI
      {L"NOLOGO", {124, 121}, {}},        // no picture: an empty box
  };
  for (const Case& c : cases) {
    LogoPicture logo;
    EXPECT_EQ(logo.Load(GetModuleHandleW(nullptr), c.name, L"PNG"), c.drawn.width > 0);
    // Fitted first to another box, as a window moved between monitors is.
    logo.Fit({62, 60});
    logo.Fit(c.box);
    EXPECT_EQ(logo.DrawnSize(), c.drawn) << c.box.width;
    const Capture drawn(c.box.width, c.box.height, [&](HDC dc) {
      logo.Draw(dc, RECT{0, 0, c.box.width, c.box.height});
    });
    const std::uint32_t background = SystemColour(COLOR_WINDOW);
    const bool painted = drawn.At(c.drawn.width / 2, c.drawn.height / 10) != background;
    EXPECT_EQ(painted, c.drawn.width > 0) << c.box.width;
    EXPECT_EQ(drawn.At(c.box.width - 1, c.box.height / 2), background) << c.box.width;
  }
}

class LogoTest : public WindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(LogoTest, IsDrawnSquareAtTheBoxTopLeftOverTheWindowsBackground) {
  const int dpi = GetParam();
  HWND form = Open().Handle();
  if (dpi != 96) {
    RECT outer{};
    GetWindowRect(form, &outer);
    SendMessageW(form, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&outer));
    Pump();
  }
  const Capture image(Handle(Image1));
  const int side = MulDiv(121, dpi, 96);  // the box's height decides
  ASSERT_EQ(image.Width(), MulDiv(124, dpi, 96));
  ASSERT_EQ(image.Height(), side);
  const std::uint32_t background = SystemColour(COLOR_WINDOW);
  const int middle = side / 2;
  // The corners of the picture are transparent: the window's background shows through.
  EXPECT_EQ(image.At(0, 0), background);
  EXPECT_EQ(image.At(side - 1, side - 1), background);
  // Its opaque blue square (the mark on it is white) reaches the picture's edges ...
  EXPECT_NE(image.At(middle, side / 10), background);
  EXPECT_NE(image.At(side - 1, middle), background);
  EXPECT_NE(image.At(middle, side - 1), background);
  // ... and no further: the strip at the box's right stays empty.
  for (int x = side; x < image.Width(); ++x) {
    EXPECT_EQ(image.At(x, middle), background) << x;
  }
}

INSTANTIATE_TEST_SUITE_P(Dpi, LogoTest, ::testing::Values(96, 144));

// ---- The donation panel ----------------------------------------------------------------------

TEST_F(WindowTest, TheDonationPanelShowsItsLookAndOpensThePageOnEachClick) {
  Open();
  HWND panel = Handle(PanelDonate);
  const Capture look(panel);
  EXPECT_EQ(look.At(0, 0), 0xFFCC00u);  // its own colour, also under the visual style
  EXPECT_EQ(look.At(look.Width() - 1, look.Height() - 1), 0xFFCC00u);
  // The caption in its colour, centred: as much space on its left as on its right.
  int left = look.Width();
  int right = -1;
  bool captionColour = false;
  for (int y = 0; y < look.Height(); ++y) {
    for (int x = 0; x < look.Width(); ++x) {
      if (look.At(x, y) != 0xFFCC00u) {
        left = std::min(left, x);
        right = std::max(right, x);
        captionColour = captionColour || look.At(x, y) == 0x003087u;
      }
    }
  }
  EXPECT_TRUE(captionColour);
  EXPECT_LE(std::abs(left - (look.Width() - 1 - right)), 3) << left << " " << right;

  // The text box's border.
  EXPECT_NE(GetWindowLongPtrW(panel, GWL_EXSTYLE) & LONG_PTR{WS_EX_CLIENTEDGE}, 0);
  // The hand pointer over it.
  SendMessageW(panel, WM_SETCURSOR, reinterpret_cast<WPARAM>(panel),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));

  HWND focus = GetFocus();
  const std::vector<std::wstring> log = LogLines();
  const std::wstring opened = L"OpenAddress " + DonationAddress();
  Click(panel, {10, 10});
  Click(panel, {10, 10});
  EXPECT_EQ(services_.CountOf(opened), 2);
  EXPECT_EQ(LogLines(), log);
  EXPECT_EQ(GetFocus(), focus);  // the panel never takes the focus
}

// ---- Flash and the progress bar -------------------------------------------------------------

class FlashTest : public WindowTest {
 public:
  // A model and a port chosen, as the user does it: Flash is then enabled.
  void ChooseModelAndPort() {
    TabTo(ComboDevice);
    Type(L"m");
    SetFocus(Handle(ComboBoxPort));
    PressKey(VK_F4);
    PressKey(VK_DOWN);    // COM3: the check passes
    PressKey(VK_RETURN);  // closes the list
    ASSERT_TRUE(IsWindowEnabled(Handle(ButtonFlash)));
  }
};

TEST_F(FlashTest, TheBarIsPaintedAtEachPercentageWhileTheRunHoldsTheThread) {
  Open();
  ChooseModelAndPort();
  HWND bar = Handle(ProgressBar1);
  SendMessageW(bar, PBM_SETPOS, 40, 0);  // a position left by an earlier run
  services_.toolOutput = {
      L"Writing at 0x00001000 [=>                            ]  18.4% 3072/17568 bytes...",
      L"Writing at 0x00008000 [==============>               ]  50.0% 1536/3072 bytes...",
      L"Wrote 824416 bytes (530195 compressed) at 0x00010000 in 12.3 seconds.",
      L"Writing at 0x000c8000 [==============================] 100.0% 824416/824416 bytes...",
  };
  std::vector<int> positions;
  std::vector<bool> painted;
  services_.afterEachToolLine = [&] {
    // Still inside the run: no message has been dispatched since the line.
    positions.push_back(static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)));
    painted.push_back(GetUpdateRect(bar, nullptr, FALSE) == FALSE);
  };
  SetFocus(Handle(ButtonFlash));
  PressKey(VK_SPACE);  // the keyboard way to a focused button

  EXPECT_EQ(positions, (std::vector<int>{18, 50, 50, 100}));
  EXPECT_EQ(painted, (std::vector<bool>{true, true, true, true}));
  EXPECT_EQ(services_.CountOf(L"RunHidden"), 2);  // the check, then the flash
  const std::vector<std::wstring> log = LogLines();
  EXPECT_NE(std::find(log.begin(), log.end(), L"Flashing\u2026"), log.end());
  EXPECT_EQ(log.back(), L"\u27A1 if your device is not restarting, turn it off and on again.");
  // Success sets both lists back and disables Flash.
  EXPECT_FALSE(IsWindowEnabled(Handle(ButtonFlash)));
  EXPECT_EQ(HwndText(Edit(ComboDevice)), L"Select a device");
}

TEST_F(FlashTest, EnterPressesTheFocusedFlashButton) {
  Open();
  ChooseModelAndPort();
  services_.exitCode = 2;  // the flash fails, so Flash stays enabled
  SetFocus(Handle(ButtonFlash));
  PressKey(VK_RETURN);
  PressKey(VK_RETURN);
  EXPECT_EQ(services_.CountOf(L"RunHidden"), 3);  // the check, then two flashes
  EXPECT_EQ(LogLines().back(), L"Flash error \u274C Code : 2");
}

// ---- The error box --------------------------------------------------------------------------

TEST_F(WindowTest, AnErrorInFormCreateIsShownAndTheWindowStillOpens) {
  services_.workFolderFails = true;
  ErrorBoxCatcher catcher;
  HWND form = Open().Handle();

  ASSERT_EQ(catcher.boxes.size(), 1u);
  const ErrorBoxCatcher::Box& box = catcher.boxes.front();
  // The program's title from its file name (this test's file begins like the program's).
  EXPECT_EQ(box.caption, L"Vantortrackerflasher");
  EXPECT_EQ(box.text, L"Impossible de cr\u00E9er le r\u00E9pertoire.");
  EXPECT_EQ(box.owner, form);
  EXPECT_TRUE(box.errorIcon);
  EXPECT_EQ(box.buttons, std::vector<int>{IDOK});

  // The window is there, with none of FormCreate's later steps done.
  EXPECT_TRUE(IsWindowVisible(form));
  EXPECT_EQ(HwndText(Handle(MemoLog)), L"");
  EXPECT_EQ(SendMessageW(Handle(ComboDevice), CB_GETCOUNT, 0, 0), 0);
  EXPECT_TRUE(IsWindowEnabled(Handle(ButtonFlash)));
  // And it still answers the user.
  Click(Handle(PanelDonate), {10, 10});
  EXPECT_EQ(services_.CountOf(L"OpenAddress"), 1);
}

struct HandlerErrorCase {
  const char* name;
  void (*raise)();
  std::wstring_view shown;
};

class HandlerErrorTest : public WindowTest,
                         public ::testing::WithParamInterface<HandlerErrorCase> {};

TEST_P(HandlerErrorTest, IsShownInTheErrorBoxAndTheWindowGoesOn) {
  Open();
  TabTo(ComboDevice);
  Type(L"m");  // the port list is enabled
  services_.duringPortListing = GetParam().raise;
  ErrorBoxCatcher catcher;
  SetFocus(Handle(ComboBoxPort));
  PressKey(VK_F4);
  PressKey(VK_ESCAPE);

  ASSERT_EQ(catcher.boxes.size(), 1u);
  EXPECT_EQ(catcher.boxes.front().text, GetParam().shown);
  EXPECT_EQ(catcher.boxes.front().caption, L"Vantortrackerflasher");
  EXPECT_EQ(catcher.boxes.front().owner, window_->Handle());
  // The rest of the handler did not run: the prompt was not inserted.
  EXPECT_EQ(SendMessageW(Handle(ComboBoxPort), CB_GETCOUNT, 0, 0), 2);

  // The window stays usable: the next action runs its handler.
  const int runs = services_.CountOf(L"GetWorkFolder");
  TabTo(ComboDevice);
  Type(L"x");
  EXPECT_EQ(services_.CountOf(L"GetWorkFolder"), runs + 1);
  EXPECT_EQ(LogLines().back(), L"Preparing files for x...");
}

void RaiseTypeError() {
  throw AppError(L"Type de donn\u00E9es incorrect pour '\\Device\\Serial0'");
}
void RaiseMessageEndingInALetter() {
  throw AppError(L"Cannot read the port list");
}
void RaiseMessageEndingInFullStops() {
  throw AppError(L"Cannot read the port list...");
}
void RaiseStandardError() {
  throw std::runtime_error("bad port entry 7");
}

const HandlerErrorCase kHandlerErrors[] = {
    // Ends with a quote, which sorts before the full stop: shown as it is.
    {"AfterAQuoteNoFullStop", RaiseTypeError,
     L"Type de donn\u00E9es incorrect pour '\\Device\\Serial0'"},
    {"AfterALetterAFullStop", RaiseMessageEndingInALetter, L"Cannot read the port list."},
    {"AfterAFullStopNothing", RaiseMessageEndingInFullStops, L"Cannot read the port list..."},
    {"AfterADigitAFullStop", RaiseStandardError, L"bad port entry 7."},
};

std::string HandlerErrorName(const ::testing::TestParamInfo<HandlerErrorCase>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Errors, HandlerErrorTest, ::testing::ValuesIn(kHandlerErrors),
                         HandlerErrorName);

// ---- Errors where the system calls into the window ---------------------------------------------

// What escapes the window's code where the system called it (a window or subclass procedure)
// is shown in the same box, and the window goes on. The handlers catch the program's errors
// themselves, so what reaches these places is anything else: an exception of another type
// from a handler, or memory running out in the window's own code.
struct BoundaryCase {
  const char* name;
  void (*arrange)(WindowTest&);
  void (*act)(WindowTest&);
  std::wstring_view shown;
};

class BoundaryErrorTest : public WindowTest, public ::testing::WithParamInterface<BoundaryCase> {};

TEST_P(BoundaryErrorTest, IsShownInTheErrorBoxAndTheWindowGoesOn) {
  Open();
  TabTo(ComboDevice);
  Type(L"m");  // the port list is enabled
  GetParam().arrange(*this);
  {
    ErrorBoxCatcher catcher;
    GetParam().act(*this);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes.front().text, GetParam().shown);
    EXPECT_EQ(catcher.boxes.front().caption, L"Vantortrackerflasher");
    EXPECT_EQ(catcher.boxes.front().owner, window_->Handle());
  }
  // The next action runs its handler.
  services_.duringPortListing = nullptr;
  services_.afterEachToolLine = nullptr;
  services_.duringOpenAddress = nullptr;
  const int runs = services_.CountOf(L"GetWorkFolder");
  TabTo(ComboDevice);
  Type(L"x");
  EXPECT_EQ(services_.CountOf(L"GetWorkFolder"), runs + 1);
  EXPECT_EQ(LogLines().back(), L"Preparing files for x...");
}

void ThrowAnInteger() {
  throw 42;
}

// The port list opened once, so that it holds the ports; a probe's tool line then throws.
void ProbeThrows(WindowTest& test) {
  SetFocus(test.Handle(ComboBoxPort));
  test.PressKey(VK_F4);
  test.PressKey(VK_ESCAPE);
  test.services_.toolOutput = {L"esptool v5.3.1"};
  test.services_.afterEachToolLine = ThrowAnInteger;
}

const BoundaryCase kBoundaries[] = {
    // CBN_DROPDOWN reaches the window's procedure from inside the list's own code.
    {"TheWindowsProcedure",
     [](WindowTest& test) { test.services_.duringPortListing = ThrowAnInteger; },
     [](WindowTest& test) {
       SetFocus(test.Handle(ComboBoxPort));
       test.PressKey(VK_F4);
       test.PressKey(VK_ESCAPE);
     },
     L"Erreur inattendue."},
    // Typing C selects COM3, whose probe runs from the list field's procedure.
    {"TheListFieldsProcedure", ProbeThrows,
     [](WindowTest& test) {
       SetFocus(test.Edit(ComboBoxPort));
       test.Type(L"C");
     },
     L"Erreur inattendue."},
    // A click in the opened list runs the probe from the list's procedure.
    {"TheListsProcedure", ProbeThrows,
     [](WindowTest& test) {
       test.ClickListButton(ComboBoxPort);
       test.ClickListItem(ComboBoxPort, 1);
     },
     L"Erreur inattendue."},
    {"TheDonationPanelsProcedure",
     [](WindowTest& test) { test.services_.duringOpenAddress = ThrowAnInteger; },
     [](WindowTest& test) {
       test.Click(test.Handle(PanelDonate), {10, 10});
     },
     L"Erreur inattendue."},
    // After the user's own typing, the log's next paint reads its text to add the lines.
    {"TheLogsProcedure",
     [](WindowTest& test) {
       SetFocus(test.Handle(MemoLog));
       test.Type(L"z");
       test.window_->Views().MemoLog.Add(L"A line for the log");
     },
     [](WindowTest& test) {
       FailNextAllocation();
       UpdateWindow(test.Handle(MemoLog));
     },
     L"std::bad_alloc."},
};

std::string BoundaryName(const ::testing::TestParamInfo<BoundaryCase>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Errors, BoundaryErrorTest, ::testing::ValuesIn(kBoundaries), BoundaryName);

// ---- A window that cannot be made ---------------------------------------------------------------

// Refuses the making of the windows of one class on this thread, as an exhausted desktop heap
// refuses them all.
class RefuseWindows {
 public:
  explicit RefuseWindows(std::wstring windowClass) : windowClass_(std::move(windowClass)) {
    current_ = this;
    hook_ = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
  }
  ~RefuseWindows() {
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }
  RefuseWindows(const RefuseWindows&) = delete;
  RefuseWindows& operator=(const RefuseWindows&) = delete;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && current_ != nullptr) {
      wchar_t name[64] = {};
      GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64);
      if (_wcsicmp(name, current_->windowClass_.c_str()) == 0) {
        return 1;
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static inline RefuseWindows* current_ = nullptr;
  std::wstring windowClass_;
  HHOOK hook_ = nullptr;
};

int CountThreadWindows() {
  int count = 0;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND, LPARAM counted) {
        ++*reinterpret_cast<int*>(counted);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

TEST(WindowCreation, AWindowOrControlThatCannotBeMadeIsAnErrorAndLeavesNothingBehind) {
  WindowUserTest::SetUpTestSuite();  // COM and the common controls
  const std::wstring refused[] = {std::wstring(kFormClassName), L"msctls_progress32", L"Edit",
                                  std::wstring(DonatePanel::kClassName)};
  for (const std::wstring& windowClass : refused) {
    SCOPED_TRACE(testing::Message() << testing::PrintToString(windowClass));
    FakeServices services;
    const int windowsBefore = CountThreadWindows();
    std::optional<std::wstring> error;
    {
      RefuseWindows refuse(windowClass);
      try {
        MainWindow window(GetModuleHandleW(nullptr), services);
      } catch (const AppError& raised) {
        error = raised.Message();
      }
    }
    ASSERT_TRUE(error.has_value()) << "no error for a window that was not made";
    EXPECT_TRUE(error->starts_with(L"Impossible de cr\u00E9er la fen\u00EAtre"))
        << testing::PrintToString(*error);
    EXPECT_EQ(CountThreadWindows(), windowsBefore);
    // Nothing of the program ran, and no loop is told to end: the box that follows must stay.
    EXPECT_EQ(services.calls, std::vector<std::wstring>{});
    MSG quit{};
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  }
}

}  // namespace
