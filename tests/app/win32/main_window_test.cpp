// The real window under Wine, with fake services: its identity, layout and DPI scaling, tab
// order and focus, the state it first shows, and the log.
#include <array>
#include <cstdint>
#include <cwctype>
#include <vector>

#include "app/form1.h"
#include "window_test_support.h"

namespace {

using enum FormControl;

int ScaleAt(int pixels, int dpi) {
  return MulDiv(pixels, dpi, 96);
}

bool EndsWithNoCase(std::wstring text, std::wstring_view suffix) {
  for (wchar_t& c : text) {
    c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  }
  std::wstring lower(suffix);
  for (wchar_t& c : lower) {
    c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  }
  return text.ends_with(lower);
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[128] = {};
  GetClassNameW(hwnd, name, 128);
  return name;
}

LOGFONTW FontOfControl(HWND hwnd) {
  LOGFONTW font{};
  auto* handle = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  GetObjectW(handle, sizeof(font), &font);
  return font;
}

// ---- Identity of the window ------------------------------------------------------------------

TEST_F(WindowTest, IsOneSizeableTopLevelWindowOfClassTForm1) {
  HWND form = Open().Handle();
  EXPECT_EQ(ClassOf(form), L"TForm1");
  EXPECT_EQ(HwndText(form), L"VantorTrackerFlasher v1.3");
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(form, GWL_STYLE));
  for (const DWORD bit : std::array<DWORD, 5>{WS_CAPTION, WS_SYSMENU, WS_THICKFRAME, WS_MINIMIZEBOX,
                                              WS_MAXIMIZEBOX}) {
    EXPECT_EQ(style & bit, bit) << std::hex << bit;
  }
  // Its own task-bar button: no owner, not a tool window.
  EXPECT_EQ(GetWindow(form, GW_OWNER), nullptr);
  EXPECT_EQ(GetWindowLongPtrW(form, GWL_EXSTYLE) & LONG_PTR{WS_EX_TOOLWINDOW}, 0);
  EXPECT_NE(GetClassLongPtrW(form, GCLP_HICON), 0);
  EXPECT_EQ(GetClassLongPtrW(form, GCLP_HBRBACKGROUND), COLOR_WINDOW + 1);
  EXPECT_TRUE(IsWindowVisible(form));
}

// ---- Layout at every DPI ---------------------------------------------------------------------

struct Place {
  FormControl control;
  std::wstring_view windowClass;
  int x, y, width, height;  // 96-DPI pixels; the label's size follows its text
};

constexpr std::array<Place, 9> kPlaces{{
    {Label1, L"Static", 24, 8, 0, 0},
    {Image1, L"Static", 492, 8, 124, 121},
    {ComboBoxPort, L"ComboBox", 24, 62, 239, 23},
    {ButtonFlash, L"Button", 88, 91, 105, 25},
    {MemoLog, L"Edit", 24, 151, 239, 234},
    {ProgressBar1, L"msctls_progress32", 24, 122, 239, 23},
    {Memo1, L"Edit", 288, 145, 328, 194},
    {PanelDonate, L"VtfDonatePanel", 344, 353, 193, 32},
    {ComboDevice, L"ComboBox", 24, 33, 239, 23},
}};

struct FontExpectation {
  FormControl control;
  std::wstring_view face;
  int height;  // 96-DPI pixels
  LONG weight;
  bool italic;
  BYTE charset;
};

constexpr std::array<FontExpectation, 7> kFonts{{
    {Label1, L"Segoe UI", 14, FW_BOLD, false, DEFAULT_CHARSET},
    {ComboBoxPort, L"Segoe UI", 12, FW_NORMAL, false, DEFAULT_CHARSET},
    {ButtonFlash, L"Segoe UI", 12, FW_NORMAL, false, DEFAULT_CHARSET},
    {MemoLog, L"Segoe UI", 12, FW_NORMAL, false, DEFAULT_CHARSET},
    {Memo1, L"Segoe UI", 12, FW_NORMAL, false, DEFAULT_CHARSET},
    {ComboDevice, L"Segoe UI", 12, FW_NORMAL, false, DEFAULT_CHARSET},
    // As FormCreate's look leaves it.
    {PanelDonate, L"Segoe UI Semibold", 21, FW_BOLD, true, ANSI_CHARSET},
}};

class LayoutTest : public WindowTest, public ::testing::WithParamInterface<int> {
 protected:
  // What Windows sends when the window moves to a monitor of another DPI: the new DPI and a
  // window rectangle that keeps the client area's design size at that DPI.
  void MoveToDpi(int dpi) {
    HWND form = window_->Handle();
    RECT outer{};
    RECT client{};
    GetWindowRect(form, &outer);
    GetClientRect(form, &client);
    const int frameWidth = (outer.right - outer.left) - client.right;
    const int frameHeight = (outer.bottom - outer.top) - client.bottom;
    RECT suggested{outer.left, outer.top, outer.left + ScaleAt(624, dpi) + frameWidth,
                   outer.top + ScaleAt(400, dpi) + frameHeight};
    SendMessageW(form, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    Pump();
  }
};

TEST_P(LayoutTest, ControlsAndFontsFollowTheDesignAtTheMonitorsDpi) {
  const int dpi = GetParam();
  HWND form = Open().Handle();
  if (dpi != 96) {
    MoveToDpi(dpi);
  }
  EXPECT_EQ(window_->Dpi(), dpi);

  RECT client{};
  GetClientRect(form, &client);
  EXPECT_EQ(client.right, ScaleAt(624, dpi));
  EXPECT_EQ(client.bottom, ScaleAt(400, dpi));

  for (const Place& place : kPlaces) {
    HWND control = Handle(place.control);
    SCOPED_TRACE(ClassOf(control));
    EXPECT_TRUE(EndsWithNoCase(ClassOf(control), place.windowClass));
    const RECT rect = HwndRectInParent(control);
    EXPECT_EQ(rect.left, ScaleAt(place.x, dpi));
    EXPECT_EQ(rect.top, ScaleAt(place.y, dpi));
    int width = ScaleAt(place.width, dpi);
    int height = ScaleAt(place.height, dpi);
    if (place.control == Label1) {
      // Sized to its text in its own font at this DPI.
      HDC dc = GetDC(control);
      HGDIOBJ old =
          SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
      const std::wstring text = HwndText(control);
      SIZE extent{};
      GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
      SelectObject(dc, old);
      ReleaseDC(control, dc);
      width = extent.cx;
      height = extent.cy;
    }
    EXPECT_EQ(rect.right - rect.left, width);
    EXPECT_EQ(rect.bottom - rect.top, height);
  }

  for (const FontExpectation& expected : kFonts) {
    const LOGFONTW font = FontOfControl(Handle(expected.control));
    SCOPED_TRACE(std::wstring(expected.face) + L" " + std::to_wstring(expected.height));
    EXPECT_EQ(std::wstring_view(font.lfFaceName), expected.face);
    EXPECT_EQ(font.lfHeight, -ScaleAt(expected.height, dpi));
    EXPECT_EQ(font.lfWeight, expected.weight);
    EXPECT_EQ(font.lfItalic != 0, expected.italic);
    EXPECT_EQ(font.lfCharSet, expected.charset);
  }
}

// Wine on the test display keeps a window within about 1036 x 780 pixels: 144 DPI is the
// largest whose client area fits.
INSTANTIATE_TEST_SUITE_P(Dpi, LayoutTest, ::testing::Values(96, 120, 144));

TEST_F(WindowTest, ResizingOrMaximisingMovesNoControl) {
  HWND form = Open().Handle();
  std::array<RECT, kFormControlCount> before{};
  for (const Place& place : kPlaces) {
    before[static_cast<std::size_t>(place.control)] = HwndRectInParent(Handle(place.control));
  }
  SetWindowPos(form, nullptr, 0, 0, 1000, 700, SWP_NOMOVE | SWP_NOZORDER);
  Pump();
  ShowWindow(form, SW_MAXIMIZE);
  Pump();
  for (const Place& place : kPlaces) {
    const RECT after = HwndRectInParent(Handle(place.control));
    EXPECT_TRUE(EqualRect(&after, &before[static_cast<std::size_t>(place.control)]))
        << ClassOf(Handle(place.control));
  }
}

// ---- Texts and the state at first show ---------------------------------------------------------

TEST_F(WindowTest, ShowsTheDesignedTexts) {
  Open();
  EXPECT_EQ(HwndText(Handle(Label1)), L"VantorTracker \u2013 Flasher for M5Stick ");
  EXPECT_EQ(HwndText(Handle(ButtonFlash)), L"Flash");
  EXPECT_EQ(HwndText(Handle(PanelDonate)), L"Donate via PayPal");

  const std::wstring info = HwndText(Handle(Memo1));
  std::vector<std::wstring> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = info.find(L"\r\n", start);
    lines.push_back(info.substr(start, end == std::wstring::npos ? end : end - start));
    if (end == std::wstring::npos) {
      break;
    }
    start = end + 2;
  }
  ASSERT_EQ(lines.size(), 12u);
#if VTF_STANDIN_PAYLOADS
  EXPECT_NE(lines[0].find(L"simulates the device"), std::wstring::npos) << lines[0];
  EXPECT_NE(lines[0].find(L"writes nothing to any port"), std::wstring::npos) << lines[0];
#else
  EXPECT_FALSE(lines[0].empty());
#endif
  const std::vector<std::wstring> rest{
      L"",
      L"Thank you for using VantorTracker Flasher.",
      L"",
      L"This software is used to flash the VantorTracker head\u2011tracker ",
      L"firmware onto the M5Stick.",
      L"",
      L"It is provided for free and represents many hours of work to ",
      L"make the DIY head\u2011tracker project accessible to everyone \u2014 ",
      L"even without being a specialist.",
      L"",
      L"If you enjoy my work, please consider supporting.",
  };
  EXPECT_EQ(std::vector<std::wstring>(lines.begin() + 1, lines.end()), rest);
}

TEST_F(WindowTest, FirstShowsTheInitialStateWithoutRunningAChangeHandler) {
  Open();
  EXPECT_EQ(LogLines(), std::vector<std::wstring>{L"Select a device to begin..."});

  const DropDownList& device = window_->Views().ComboDevice;
  EXPECT_EQ(device.ItemIndex(), 0);
  EXPECT_EQ(SendMessageW(Handle(ComboDevice), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(HwndText(Edit(ComboDevice)), L"Select a device");
  EXPECT_TRUE(IsWindowEnabled(Handle(ComboDevice)));
  std::vector<std::wstring> items;
  const auto count = SendMessageW(Handle(ComboDevice), CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t item[128] = {};
    SendMessageW(Handle(ComboDevice), CB_GETLBTEXT, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(item));
    items.emplace_back(item);
  }
  EXPECT_EQ(items, (std::vector<std::wstring>{L"Select a device",
                                              L"M5Stick C Plus 2 (deprecated firm 1.0 only)",
                                              L"M5Stick S3 (firm 1.3)"}));

  EXPECT_EQ(window_->Views().ComboBoxPort.ItemIndex(), 0);
  EXPECT_EQ(SendMessageW(Handle(ComboBoxPort), CB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(HwndText(Edit(ComboBoxPort)), L"Select COM port");
  EXPECT_FALSE(IsWindowEnabled(Handle(ComboBoxPort)));
  EXPECT_FALSE(IsWindowEnabled(Edit(ComboBoxPort)));

  EXPECT_FALSE(IsWindowEnabled(Handle(ButtonFlash)));
  EXPECT_EQ(SendMessageW(Handle(ProgressBar1), PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(SendMessageW(Handle(ProgressBar1), PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageW(Handle(ProgressBar1), PBM_GETRANGE, FALSE, 0), 100);

  // The work folder was made and recorded; nothing was extracted or removed.
  EXPECT_EQ(services_.calls, std::vector<std::wstring>{L"GetWorkFolder"});
  EXPECT_EQ(WorkFolder, kTestFolder);
}

// ---- Keyboard focus ----------------------------------------------------------------------------

TEST_F(WindowTest, FocusGoesToTheLogWhenTheWindowFirstBecomesActive) {
  Open();
  EXPECT_EQ(GetActiveWindow(), window_->Handle());
  EXPECT_EQ(GetFocus(), Handle(MemoLog));
}

TEST_F(WindowTest, TabVisitsTheControlsInTabOrderAndSkipsDisabledOnes) {
  HWND form = Open().Handle();
  auto cycle = [&](FormControl start) {
    std::vector<HWND> visited;
    HWND at = Handle(start);
    for (int i = 0; i < 6; ++i) {
      visited.push_back(at);
      at = GetNextDlgTabItem(form, at, FALSE);
    }
    return visited;
  };
  // The initial state: port list and Flash disabled.
  EXPECT_EQ(cycle(MemoLog),
            (std::vector<HWND>{Handle(MemoLog), Handle(Memo1), Handle(ComboDevice), Handle(MemoLog),
                               Handle(Memo1), Handle(ComboDevice)}));
  EnableWindow(Handle(ComboBoxPort), TRUE);
  EnableWindow(Handle(ButtonFlash), TRUE);
  EXPECT_EQ(cycle(ComboBoxPort),
            (std::vector<HWND>{Handle(ComboBoxPort), Handle(ButtonFlash), Handle(MemoLog),
                               Handle(Memo1), Handle(ComboDevice), Handle(ComboBoxPort)}));
  // The label, the picture, the progress bar and the panel never take the focus.
  for (FormControl control : {Label1, Image1, ProgressBar1, PanelDonate}) {
    EXPECT_EQ(GetWindowLongPtrW(Handle(control), GWL_STYLE) & WS_TABSTOP, 0);
  }
}

TEST_F(WindowTest, TheTabKeyMovesOnFromEachTextBoxAndIntoTheDeviceList) {
  Open();
  ASSERT_EQ(GetFocus(), Handle(MemoLog));
  PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), Handle(Memo1));
  PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), Edit(ComboDevice));
  // Moving in with Tab highlights the whole field.
  EXPECT_EQ(Selection(Edit(ComboDevice)), std::make_pair(0, 15));
  PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), Handle(MemoLog));
  // No tab character went into either text box.
  EXPECT_EQ(HwndText(Handle(MemoLog)).find(L'\t'), std::wstring::npos);
  EXPECT_EQ(HwndText(Handle(Memo1)).find(L'\t'), std::wstring::npos);
}

// ---- The log -------------------------------------------------------------------------------

class LogTest : public WindowTest {
 public:
  LineSink& Log() { return window_->Views().MemoLog; }
};

struct LogCase {
  const char* name;
  void (*userAction)(LogTest&);  // what the user did in the log before the append
  std::wstring_view expected;
};

class LogAppendTest : public LogTest, public ::testing::WithParamInterface<LogCase> {};

TEST_P(LogAppendTest, AppendsTheLineAtTheVeryEndOnARowOfItsOwn) {
  Open();
  HWND log = Handle(MemoLog);
  SetFocus(log);
  SendMessageW(log, EM_SETSEL, 29, 29);  // the end, behind "Select a device to begin...\r\n"
  GetParam().userAction(*this);
  Log().Add(L"Next");
  EXPECT_EQ(HwndText(log), GetParam().expected);
  const auto length = static_cast<int>(GetParam().expected.size());
  EXPECT_EQ(Selection(log), std::make_pair(length, length));  // the caret behind the line
}

void TypesAtTheEnd(LogTest& test) {
  test.Type(L"abc");
}
void TypesALineBreak(LogTest& test) {
  test.Type(L"ab\r");
}
void MovesTheCaretToTheStartAndTypes(LogTest& test) {
  test.PressKey(VK_UP);
  test.PressKey(VK_HOME);
  test.Type(L"x");
}
void HighlightsAWord(LogTest& test) {
  SendMessageW(test.Handle(MemoLog), EM_SETSEL, 7, 8);
}

const LogCase kLogCases[] = {
    {"Nothing", [](LogTest&) {}, L"Select a device to begin...\r\nNext\r\n"},
    {"TypedAtTheEnd", TypesAtTheEnd, L"Select a device to begin...\r\nabc\r\nNext\r\n"},
    {"TypedALineBreakOfTheirOwn", TypesALineBreak,
     L"Select a device to begin...\r\nab\r\nNext\r\n"},
    {"MovedTheCaretToTheStartAndTyped", MovesTheCaretToTheStartAndTypes,
     L"xSelect a device to begin...\r\nNext\r\n"},
    {"HighlightedAWord", HighlightsAWord, L"Select a device to begin...\r\nNext\r\n"},
};

std::string LogCaseName(const ::testing::TestParamInfo<LogCase>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(UserActions, LogAppendTest, ::testing::ValuesIn(kLogCases), LogCaseName);

TEST_F(LogTest, KeepsThousandsOfLinesAndLongOnesWholeWithTheNewestInView) {
  Open();
  HWND log = Handle(MemoLog);
  EXPECT_GE(static_cast<unsigned long>(SendMessageW(log, EM_GETLIMITTEXT, 0, 0)), 0x7FFFFFFEu);

  const std::wstring longLine(3000, L'w');
  Log().Add(longLine);
  constexpr int kLines = 4000;
  std::wstring expected = L"Select a device to begin...\r\n" + longLine + L"\r\n";
  for (int i = 0; i < kLines; ++i) {
    const std::wstring line = L"Writing at 0x" + std::to_wstring(0x10000 + i * 0x400);
    Log().Add(line);
    expected += line + L"\r\n";
  }
  EXPECT_EQ(HwndText(log), expected);
  EXPECT_EQ(LogLines().size(), static_cast<std::size_t>(kLines + 2));

  // The newest line is on screen: its first character lies inside the box.
  Pump();
  const std::wstring newest = L"Writing at 0x" + std::to_wstring(0x10000 + (kLines - 1) * 0x400);
  const auto lastStart = static_cast<WPARAM>(expected.size() - newest.size() - 2);
  const auto position = static_cast<DWORD>(SendMessageW(log, EM_POSFROMCHAR, lastStart, 0));
  RECT client{};
  GetClientRect(log, &client);
  const POINT at{static_cast<SHORT>(LOWORD(position)), static_cast<SHORT>(HIWORD(position))};
  EXPECT_TRUE(PtInRect(&client, at)) << at.x << "," << at.y;
  EXPECT_GT(SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
}

// The pixels of a control as they are on screen, read without a message to the control.
std::vector<std::uint32_t> OnScreen(HWND control) {
  RECT client{};
  GetClientRect(control, &client);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = -client.bottom;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const UniqueGdiObject bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const UniqueAny<MemoryDcTraits> memory(CreateCompatibleDC(nullptr));
  const HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
  HDC screen = GetDC(control);
  BitBlt(memory.get(), 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
  ReleaseDC(control, screen);
  GdiFlush();
  const auto* pixels = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> copy(pixels, pixels + client.right * client.bottom);
  SelectObject(memory.get(), old);
  return copy;
}

TEST_F(LogTest, LinesAddedWhileTheThreadIsHeldAreOnScreenAfterTheLoopsNextRound) {
  Open();
  HWND log = Handle(MemoLog);
  SetFocus(Handle(Memo1));  // no caret blinking in the log
  Pump();
  const std::vector<std::uint32_t> before = OnScreen(log);
  // A tool run: lines handed on, nothing read back, no message retrieved.
  for (int i = 1; i <= 3; ++i) {
    Log().Add(L"Writing at 0x000" + std::to_wstring(i) + L"0000... (" + std::to_wstring(i) + L"%)");
  }
  Pump();
  const std::vector<std::uint32_t> shown = OnScreen(log);
  // What a full repaint of the log's final text shows.
  RedrawWindow(log, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  EXPECT_NE(shown, before);
  EXPECT_EQ(shown, OnScreen(log));
}

TEST_F(LogTest, WhatTheUserTypesNextGoesBehindTheLinesAddedBeforeIt) {
  Open();
  HWND log = Handle(MemoLog);
  SetFocus(log);
  SendMessageW(log, EM_SETSEL, 0, 0);  // the caret at the start
  Log().Add(L"Next");
  Type(L"x");
  EXPECT_EQ(HwndText(log), L"Select a device to begin...\r\nNext\r\nx");
}

}  // namespace
