// Whole flashing cycles as the user walks them: the real window with the real services, the
// payloads embedded in this test program (the simulated tool among them), the serial ports
// from a scratch registry key and the work folder under a scratch TEMP. Every action is a
// keyboard or mouse message to the real controls; the tool runs hold the thread as they do
// in the program, so each action returns once its handler has finished.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "app/win32/system_services_win32.h"
#include "flashing/win32/work_folder_win32.h"
#include "test_files_win32.h"
#include "win32/unique_handle.h"
#include "window_user.h"

namespace {

using enum FormControl;

using Lines = std::vector<std::wstring>;

constexpr std::wstring_view kS3Item = L"M5Stick S3 (firm 1.3)";
constexpr int kC2 = 1;
constexpr int kS3 = 2;

const Lines kS3Hints = {
    L"\u26A0 IMPORTANT: your M5Stick S3 is not detected, try holding the side Power button for "
    L"2 seconds",
    L"\u27A1 Wait for the green LED to start blinking",
    L"\u27A1 Then re-select the COM port.",
};

// ---- The machine around the window ------------------------------------------------------------

void SetVariable(const wchar_t* name, const std::wstring& value) {
  ::SetEnvironmentVariableW(name, value.c_str());
}

void ClearVariable(const wchar_t* name) {
  ::SetEnvironmentVariableW(name, nullptr);
}

// An embedded payload as this program carries it.
std::string Payload(const wchar_t* name) {
  HRSRC found = ::FindResourceW(nullptr, name, RT_RCDATA);
  if (found == nullptr) {
    ADD_FAILURE() << "no payload " << testing::PrintToString(std::wstring(name));
    return {};
  }
  const UniqueAny<LoadedResourceTraits> loaded(::LoadResource(nullptr, found));
  return {static_cast<const char*>(::LockResource(loaded.get())), ::SizeofResource(nullptr, found)};
}

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) {
    return {};
  }
  const int size =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

// One value of the scratch port key.
struct PortValue {
  const wchar_t* name;
  DWORD type;
  std::wstring_view text;  // REG_SZ: the port name, stored with its NUL unless empty
  DWORD number = 0;        // REG_DWORD
};

// ---- What the log shows -----------------------------------------------------------------------

// One expected log line, or a run of them: the line itself, or a pattern (ECMAScript).
struct Expected {
  enum class Kind { Exactly, Like, OneOrMoreLike } kind;
  std::wstring text;
};

Expected Line(std::wstring_view text) {
  return {Expected::Kind::Exactly, std::wstring(text)};
}
Expected Like(std::wstring_view pattern) {
  return {Expected::Kind::Like, std::wstring(pattern)};
}
Expected OneOrMoreLike(std::wstring_view pattern) {
  return {Expected::Kind::OneOrMoreLike, std::wstring(pattern)};
}

testing::AssertionResult ReadsAs(const Lines& lines, const std::vector<Expected>& expected) {
  std::size_t at = 0;
  for (const Expected& step : expected) {
    const std::wregex pattern(step.kind == Expected::Kind::Exactly ? L"" : step.text);
    auto fits = [&](const std::wstring& line) {
      return step.kind == Expected::Kind::Exactly ? line == step.text
                                                  : std::regex_match(line, pattern);
    };
    if (at >= lines.size() || !fits(lines[at])) {
      return testing::AssertionFailure()
             << "line " << at << " is "
             << (at < lines.size() ? testing::PrintToString(lines[at]) : "missing") << ", expected "
             << testing::PrintToString(step.text) << "\nlog: " << testing::PrintToString(lines);
    }
    ++at;
    while (step.kind == Expected::Kind::OneOrMoreLike && at < lines.size() && fits(lines[at])) {
      ++at;
    }
  }
  if (at != lines.size()) {
    return testing::AssertionFailure()
           << "more lines from " << at << ": " << testing::PrintToString(lines);
  }
  return testing::AssertionSuccess();
}

// The tool's lines of a write, as the filter lets them through: its steps and, per image, the
// compression, the progress lines, the write and the check. The bootloader's offset differs
// between the models; the files' folder is named as the command line named it.
std::vector<Expected> ShownFlashLines(std::wstring_view bootOffset,
                                      std::wstring_view folderName = L"VantorTrackerFlash") {
  std::vector<Expected> lines = {
      Line(L"Changing baud rate to 460800..."),
      Line(L"Changed."),
      Line(L"Configuring flash size..."),
  };
  const std::wstring_view files[] = {L"bootloader\\.bin", L"partitions\\.bin", L"firmware\\.bin"};
  const std::wstring_view offsets[] = {bootOffset, L"0x00008000", L"0x00010000"};
  for (std::size_t image = 0; image < 3; ++image) {
    const std::wstring offset(offsets[image]);
    lines.push_back(Like(L"Writing '.*\\\\" + std::wstring(folderName) + L"\\\\" +
                         std::wstring(files[image]) + L"' at " + offset + L"\\.\\.\\."));
    lines.push_back(Like(L"Flash will be erased from " + offset + L" to 0x[0-9a-f]{8}\\.\\.\\."));
    lines.push_back(Like(L"Compressed \\d+ bytes to \\d+\\.\\.\\."));
    lines.push_back(
        OneOrMoreLike(L"Writing at 0x[0-9a-f]{8} \\[[=> ]+\\] +\\d+\\.\\d% \\d+/\\d+ "
                      L"bytes\\.\\.\\."));
    lines.push_back(Like(L"Wrote \\d+ bytes \\(\\d+ compressed\\) at " + std::wstring(offset) +
                         L" in [0-9.]+ seconds \\([0-9.]+ kbit/s\\)\\."));
    lines.push_back(Line(L"Verifying written data..."));
    lines.push_back(Line(L"Hash of data verified."));
  }
  return lines;
}

// ---- The progress bar as the user sees it ----------------------------------------------------

// Notes the bar's position at each paint. While a tool run holds the thread no message is
// dispatched, so every paint in a run is one that the program forced.
class BarWatch {
 public:
  explicit BarWatch(HWND bar) : bar_(bar) { ::SetWindowSubclass(bar_, Proc, kId, Self()); }
  ~BarWatch() { ::RemoveWindowSubclass(bar_, Proc, kId); }
  BarWatch(const BarWatch&) = delete;
  BarWatch& operator=(const BarWatch&) = delete;

  std::vector<int> painted;

 private:
  static constexpr UINT_PTR kId = 0xE2E;

  DWORD_PTR Self() { return reinterpret_cast<DWORD_PTR>(this); }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR self) {
    if (message == WM_PAINT) {
      reinterpret_cast<BarWatch*>(self)->painted.push_back(
          static_cast<int>(::SendMessageW(hwnd, PBM_GETPOS, 0, 0)));
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
  }

  HWND bar_;
};

// Whether the values of `wanted` come up in `seen` in this order, with anything between them.
bool IsSubsequence(const std::vector<int>& wanted, const std::vector<int>& seen) {
  auto at = seen.begin();
  for (const int value : wanted) {
    at = std::find(at, seen.end(), value);
    if (at == seen.end()) {
      return false;
    }
    ++at;
  }
  return true;
}

// ---- The fixture ------------------------------------------------------------------------------

class EndToEndTest : public WindowUserTest {
 public:
  EndToEndTest()
      : portsKey_(L"Software\\VantorTrackerFlasherTests\\e2e-" +
                  std::to_wstring(::GetCurrentProcessId())),
        services_(HKEY_CURRENT_USER, portsKey_) {}

  void SetUp() override {
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
    scratch_ = std::wstring(temp) + L"vtf-e2e-" + std::to_wstring(::GetCurrentProcessId());
    RemoveWorkFolder(scratch_);
    ASSERT_TRUE(::CreateDirectoryW(scratch_.c_str(), nullptr));
    savedTemp_ = ReadVariable(L"TEMP");
    SetVariable(L"TEMP", scratch_);
    workFolder_ = scratch_ + L"\\VantorTrackerFlash\\";

    // The simulated tool: no device, no delays, no forced code; its calls noted.
    for (const wchar_t* name : {L"VTF_SIM_PORTS", L"VTF_SIM_EXIT_CODE", L"VTF_SIM_OUTPUT",
                                L"VTF_SIM_LINES", L"VTF_SIM_BYTES", L"VTF_SIM_TIME_SCALE"}) {
      ClearVariable(name);
    }
    SetVariable(L"VTF_SIM_LOG", scratch_ + L"\\tool-calls.log");

    ::RegDeleteTreeW(HKEY_CURRENT_USER, portsKey_.c_str());
  }

  void TearDown() override {
    WindowUserTest::TearDown();  // the window first: its end removes the work folder
    ::RegDeleteTreeW(HKEY_CURRENT_USER, portsKey_.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VantorTrackerFlasherTests");
    if (savedTemp_) {
      SetVariable(L"TEMP", *savedTemp_);
    }
    RemoveWorkFolder(scratch_);
  }

  MainWindow& Open() { return OpenWith(services_); }

  // The scratch port key holds exactly these values, created in this order.
  void SetPorts(const std::vector<PortValue>& values) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, portsKey_.c_str());
    UniqueKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, portsKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    for (const PortValue& value : values) {
      const std::wstring text(value.text);
      const auto* data = value.type == REG_DWORD ? reinterpret_cast<const BYTE*>(&value.number)
                                                 : reinterpret_cast<const BYTE*>(text.c_str());
      const DWORD size = value.type == REG_DWORD ? sizeof(DWORD)
                         : text.empty()          ? 0
                                                 : static_cast<DWORD>((text.size() + 1) * 2);
      ASSERT_EQ(::RegSetValueExW(key.get(), value.name, 0, value.type, data, size), ERROR_SUCCESS);
    }
  }

  // The command lines that the tool received, and its exit codes, in the order of its runs.
  Lines ToolCommands() const { return ToolLog("command: "); }
  Lines ToolExits() const { return ToolLog("exit: "); }

  // ---- the user's ways to the controls ----

  void ChooseModelWithTheMouse(int index) {
    ClickListButton(ComboDevice);
    ASSERT_TRUE(IsWindowVisible(List(ComboDevice)));
    ClickListItem(ComboDevice, index);
  }

  void ChoosePortWithTheMouse(int index) {
    ClickListButton(ComboBoxPort);
    ASSERT_TRUE(IsWindowVisible(List(ComboBoxPort)));
    ClickListItem(ComboBoxPort, index);
  }

  // An S3 answers on COM7, the only port, and the window has it chosen and probed.
  void OpenReadyToFlashAnS3OnCom7() {
    SetPorts({{L"\\Device\\Serial0", REG_SZ, L"COM7"}});
    SetVariable(L"VTF_SIM_PORTS", L"COM7=esp32s3");
    Open();
    ChooseModelWithTheMouse(kS3);
    ChoosePortWithTheMouse(1);
  }

  int DeviceIndex() { return window_->Views().ComboDevice.ItemIndex(); }
  int PortIndex() { return window_->Views().ComboBoxPort.ItemIndex(); }
  bool Enabled(FormControl control) const { return IsWindowEnabled(Handle(control)) != FALSE; }
  int BarPosition() const {
    return static_cast<int>(SendMessageW(Handle(ProgressBar1), PBM_GETPOS, 0, 0));
  }

  std::wstring ProbeCommand(std::wstring_view port) const {
    return L"\"" + workFolder_ + L"esptool.exe\" --chip auto --port " + std::wstring(port) +
           L" chip_id";
  }
  std::wstring FlashCommand(std::wstring_view chip, std::wstring_view port,
                            std::wstring_view bootOffset) const {
    return L"\"" + workFolder_ + L"esptool.exe\" --chip " + std::wstring(chip) + L" --port " +
           std::wstring(port) + L" --baud 460800 write-flash " + std::wstring(bootOffset) + L" \"" +
           workFolder_ + L"bootloader.bin\" 0x8000 \"" + workFolder_ +
           L"partitions.bin\" 0x10000 \"" + workFolder_ + L"firmware.bin\"";
  }

  // The four files of a model in the work folder, each byte for byte its payload.
  void ExpectPreparedFiles(std::wstring_view prefix) {
    const struct {
      const wchar_t* file;
      std::wstring payload;
    } files[] = {
        {L"esptool.exe", L"ESPTOOL"},
        {L"bootloader.bin", std::wstring(prefix) + L"_BOOT"},
        {L"partitions.bin", std::wstring(prefix) + L"_PART"},
        {L"firmware.bin", std::wstring(prefix) + L"_FIRM"},
    };
    for (const auto& file : files) {
      const std::optional<std::string> bytes = ReadBytes(workFolder_ + file.file);
      ASSERT_TRUE(bytes.has_value()) << testing::PrintToString(std::wstring(file.file));
      EXPECT_TRUE(*bytes == Payload(file.payload.c_str()))
          << testing::PrintToString(std::wstring(file.file)) << " differs from its payload";
    }
  }

  std::wstring scratch_;     // TEMP while the window lives
  std::wstring workFolder_;  // what the program makes under it, ending in a backslash

 private:
  Lines ToolLog(std::string_view prefix) const {
    Lines found;
    const std::string text = ReadBytes(scratch_ + L"\\tool-calls.log").value_or("");
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = text.find('\n', start);
      const std::string_view line(text.data() + start,
                                  (end == std::string::npos ? text.size() : end) - start);
      if (line.starts_with(prefix)) {
        found.push_back(Widen(line.substr(prefix.size())));
      }
      start = end == std::string::npos ? text.size() : end + 1;
    }
    return found;
  }

  std::wstring portsKey_;
  Win32SystemServices services_;
  std::optional<std::wstring> savedTemp_;
};

// ---- A whole cycle to success, for each model -------------------------------------------------

struct CycleCase {
  const char* name;
  int model;
  std::wstring_view field;  // the device list's text once the model is chosen
  const wchar_t* payloadPrefix;
  std::vector<PortValue> ports;
  int portIndex;  // of the device's port in the opened list
  std::wstring_view port;
  const wchar_t* simPorts;
  std::wstring_view chip;       // as the flash names it
  std::wstring_view detected;   // as the probe reports it
  std::wstring_view bootArg;    // the bootloader's offset on the command line
  std::wstring_view bootShown;  // and in the tool's lines
  // The user's way to each step.
  void (*chooseModel)(EndToEndTest&, const CycleCase&);
  void (*choosePort)(EndToEndTest&, const CycleCase&);
  void (*pressFlash)(EndToEndTest&);
};

class FlashCycleTest : public EndToEndTest, public testing::WithParamInterface<CycleCase> {};

TEST_P(FlashCycleTest, RunsFromModelToSuccessAndClosingRemovesTheWorkFolder) {
  const CycleCase& c = GetParam();
  SetPorts(c.ports);
  SetVariable(L"VTF_SIM_PORTS", c.simPorts);
  Open();
  ASSERT_TRUE(Exists(workFolder_));

  // The model: its files are prepared and the port list opens up.
  c.chooseModel(*this, c);
  ASSERT_EQ(DeviceIndex(), c.model);
  std::vector<Expected> expected = {Line(L"Select a device to begin..."),
                                    Line(L"Preparing files for " + std::wstring(c.field) + L"..."),
                                    Line(L"Files prepared for flashing.")};
  if (c.model == kC2) {
    expected.push_back(Line(L"Select a COM port."));
  }
  EXPECT_TRUE(ReadsAs(LogLines(), expected));
  ExpectPreparedFiles(c.payloadPrefix);
  EXPECT_TRUE(Enabled(ComboBoxPort));
  EXPECT_FALSE(Enabled(ButtonFlash));

  // The port: the list shows the registry's ports under the prompt, and the choice is probed.
  c.choosePort(*this, c);
  EXPECT_EQ(PortIndex(), c.portIndex);
  EXPECT_EQ(HwndText(Edit(ComboBoxPort)), c.port);
  expected.insert(expected.end(), {Line(L"Verifying Stick on " + std::wstring(c.port) + L"..."),
                                   Line(L"\U0001F50D Device detected: " + std::wstring(c.detected)),
                                   Line(L"Stick detected \u2714"), Line(L"Ready to flash...")});
  EXPECT_TRUE(ReadsAs(LogLines(), expected));
  ASSERT_TRUE(Enabled(ButtonFlash));

  // Flash: the tool's lines, the bar climbing through each image, then success.
  std::vector<int> painted;
  {
    BarWatch bar(Handle(ProgressBar1));
    c.pressFlash(*this);
    painted = bar.painted;
  }
  expected.push_back(Line(L"Flashing\u2026"));
  for (Expected& line : ShownFlashLines(c.bootShown)) {
    expected.push_back(std::move(line));
  }
  expected.insert(expected.end(),
                  {Line(L"Flash successfull... Enjoy ! \u2714"), Line(L" "),
                   Line(L"\u27A1 if your device is not restarting, turn it off and on again.")});
  EXPECT_TRUE(ReadsAs(LogLines(), expected));

  // Every percentage of the shown progress lines was painted, in order, while the run held
  // the thread, after the bar's reset to 0.
  std::vector<int> percentages = {0};
  const std::wregex progress(L"Writing at .* +([0-9.]+)% .*");
  for (const std::wstring& line : LogLines()) {
    if (std::wsmatch match; std::regex_match(line, match, progress)) {
      percentages.push_back(static_cast<int>(std::nearbyint(std::stod(match[1].str()))));
    }
  }
  EXPECT_TRUE(std::any_of(percentages.begin(), percentages.end(),
                          [](int percent) { return percent > 0 && percent < 100; }));
  EXPECT_TRUE(IsSubsequence(percentages, painted))
      << testing::PrintToString(percentages) << "\npainted: " << testing::PrintToString(painted);
  ASSERT_FALSE(painted.empty());
  EXPECT_EQ(painted.back(), 100);
  EXPECT_EQ(BarPosition(), 100);

  // Ready for a new cycle.
  EXPECT_EQ(DeviceIndex(), 0);
  EXPECT_EQ(HwndText(Edit(ComboDevice)), L"Select a device");
  EXPECT_EQ(PortIndex(), 0);
  EXPECT_EQ(HwndText(Edit(ComboBoxPort)), L"Select COM port");
  EXPECT_FALSE(Enabled(ComboBoxPort));
  EXPECT_FALSE(Enabled(ButtonFlash));

  EXPECT_EQ(ToolCommands(), (Lines{ProbeCommand(c.port), FlashCommand(c.chip, c.port, c.bootArg)}));
  EXPECT_EQ(ToolExits(), (Lines{L"0", L"0"}));

  // Closing the window (the system's close key) removes the work folder and what it holds.
  HWND form = window_->Handle();
  PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
  Pump();
  EXPECT_FALSE(IsWindow(form));
  EXPECT_FALSE(Exists(workFolder_));
  EXPECT_TRUE(Exists(scratch_));
}

// The S3 with the mouse in the device list, the keyboard in the port list (F4, Down, Enter)
// and a click on Flash.
void ClickTheModel(EndToEndTest& test, const CycleCase& c) {
  test.ChooseModelWithTheMouse(c.model);
}
void OpenWithF4AndStepDown(EndToEndTest& test, const CycleCase& c) {
  SetFocus(test.Handle(ComboBoxPort));
  test.PressKey(VK_F4);
  ASSERT_TRUE(IsWindowVisible(test.List(ComboBoxPort)));
  EXPECT_EQ(test.ListItems(ComboBoxPort), (Lines{L"Select COM port", std::wstring(c.port)}));
  for (int step = 0; step < c.portIndex; ++step) {
    test.PressKey(VK_DOWN);
  }
  test.PressKey(VK_RETURN);
  EXPECT_FALSE(IsWindowVisible(test.List(ComboBoxPort)));
}
void ClickFlash(EndToEndTest& test) {
  test.ClickMiddle(test.Handle(ButtonFlash));
}

// The C Plus 2 by typing its first letter, the port list opened with Alt+Down and the port
// clicked, Flash pressed with the space bar.
void TypeTheFirstLetter(EndToEndTest& test, const CycleCase&) {
  test.TabTo(ComboDevice);
  test.Type(L"m");
}
void OpenWithAltDownAndClick(EndToEndTest& test, const CycleCase& c) {
  SetFocus(test.Handle(ComboBoxPort));
  test.PressAltKey(VK_DOWN);
  ASSERT_TRUE(IsWindowVisible(test.List(ComboBoxPort)));
  EXPECT_EQ(test.ListItems(ComboBoxPort), (Lines{L"Select COM port", L"COM3", L"COM8"}));
  test.ClickListItem(ComboBoxPort, c.portIndex);
}
void SpaceOnFlash(EndToEndTest& test) {
  test.TabTo(ButtonFlash);
  test.PressKey(VK_SPACE);
}

const CycleCase kCycles[] = {
    {"S3",
     kS3,
     kS3Item,
     L"S3",
     {{L"\\Device\\Serial0", REG_SZ, L"COM7"}},
     1,
     L"COM7",
     L"COM7=esp32s3",
     L"esp32s3",
     L"ESP32-S3",
     L"0x0",
     L"0x00000000",
     ClickTheModel,
     OpenWithF4AndStepDown,
     ClickFlash},
    // COM3 answers nothing; the device is on the second port.
    {"CPlus2",
     kC2,
     L"m5Stick C Plus 2 (deprecated firm 1.0 only)",  // the typed m, completed
     L"C2",
     {{L"\\Device\\Serial0", REG_SZ, L"COM3"}, {L"\\Device\\Serial1", REG_SZ, L"COM8"}},
     2,
     L"COM8",
     L"COM8=esp32",
     L"esp32",
     L"ESP32",
     L"0x1000",
     L"0x00001000",
     TypeTheFirstLetter,
     OpenWithAltDownAndClick,
     SpaceOnFlash},
};

std::string CycleName(const testing::TestParamInfo<CycleCase>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Models, FlashCycleTest, testing::ValuesIn(kCycles), CycleName);

// ---- A port where nothing answers -------------------------------------------------------------

struct SilentCase {
  const char* name;
  int model;
  const wchar_t* chip;  // of the device plugged in for the retry
  bool hints;
};

class SilentPortTest : public EndToEndTest, public testing::WithParamInterface<SilentCase> {};

TEST_P(SilentPortTest, ResetsThePortChoiceAndTheUserRetriesByChoosingThePortAgain) {
  const SilentCase& c = GetParam();
  SetPorts({{L"\\Device\\Serial0", REG_SZ, L"COM7"}});
  Open();
  ChooseModelWithTheMouse(c.model);
  ASSERT_TRUE(Enabled(ComboBoxPort));

  std::size_t before = LogLines().size();
  ChoosePortWithTheMouse(1);
  Lines expected = {L"Verifying Stick on COM7...", L"Stick not detected \u274C"};
  if (c.hints) {
    expected.insert(expected.end(), kS3Hints.begin(), kS3Hints.end());
  }
  EXPECT_EQ(LogLinesAfter(before), expected);
  EXPECT_EQ(PortIndex(), 0);
  EXPECT_EQ(HwndText(Edit(ComboBoxPort)), L"Select COM port");
  EXPECT_TRUE(Enabled(ComboBoxPort));
  EXPECT_FALSE(Enabled(ButtonFlash));
  EXPECT_EQ(ToolCommands(), Lines{ProbeCommand(L"COM7")});
  EXPECT_EQ(ToolExits(), Lines{L"2"});

  // The device now answers: choosing the same port again probes it again.
  SetVariable(L"VTF_SIM_PORTS", std::wstring(L"COM7=") + c.chip);
  before = LogLines().size();
  ChoosePortWithTheMouse(1);
  EXPECT_EQ(LogLinesAfter(before).back(), L"Ready to flash...");
  EXPECT_EQ(PortIndex(), 1);
  EXPECT_TRUE(Enabled(ButtonFlash));
}

const SilentCase kSilentCases[] = {
    {"S3WithThePowerButtonHints", kS3, L"esp32s3", true},
    {"CPlus2WithoutHints", kC2, L"esp32", false},
};

std::string SilentName(const testing::TestParamInfo<SilentCase>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Models, SilentPortTest, testing::ValuesIn(kSilentCases), SilentName);

// ---- A flash that fails -----------------------------------------------------------------------

TEST_F(EndToEndTest, AFailedFlashShowsItsCodeAndResetsNothing) {
  OpenReadyToFlashAnS3OnCom7();
  ASSERT_TRUE(Enabled(ButtonFlash));

  struct Failure {
    const char* name;
    void (*arrange)(EndToEndTest&);
    std::wstring_view shown;
    bool toolRan;
  };
  const Failure failures[] = {
      {"the tool ends with 1", [](EndToEndTest&) { SetVariable(L"VTF_SIM_EXIT_CODE", L"1"); },
       L"Flash error \u274C Code : 1", true},
      // Read as a signed 32-bit number.
      {"the tool ends with 4294967295",
       [](EndToEndTest&) { SetVariable(L"VTF_SIM_EXIT_CODE", L"4294967295"); },
       L"Flash error \u274C Code : -1", true},
      {"the tool is gone from the work folder",
       [](EndToEndTest& test) {
         ClearVariable(L"VTF_SIM_EXIT_CODE");
         ASSERT_TRUE(::DeleteFileW((test.workFolder_ + L"esptool.exe").c_str()));
       },
       L"Flash error \u274C Code : -1", false},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.name);
    failure.arrange(*this);
    const std::size_t before = LogLines().size();
    const std::size_t runs = ToolCommands().size();
    ClickMiddle(Handle(ButtonFlash));

    const Lines lines = LogLinesAfter(before);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), L"Flashing\u2026");
    EXPECT_EQ(lines.back(), failure.shown);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"Flash successfull... Enjoy ! \u2714"), 0);
    EXPECT_EQ(ToolCommands().size(), runs + (failure.toolRan ? 1 : 0));
    if (!failure.toolRan) {
      EXPECT_EQ(lines.size(), 2u);
    }
    // Nothing reset: Flash can be pressed again at once.
    EXPECT_EQ(DeviceIndex(), kS3);
    EXPECT_EQ(PortIndex(), 1);
    EXPECT_EQ(HwndText(Edit(ComboBoxPort)), L"COM7");
    EXPECT_TRUE(Enabled(ComboBoxPort));
    EXPECT_TRUE(Enabled(ButtonFlash));
  }
  EXPECT_EQ(ToolExits(), (Lines{L"0", L"1", L"4294967295"}));
}

// ---- NUL characters in the tool's output ------------------------------------------------------

// The text box would end a batch of lines at its first NUL: the lines after it, the result
// among them, must still reach the log, and the NUL lines themselves show without their NULs.
TEST_F(EndToEndTest, NulCharactersInTheToolsOutputLoseNoLine) {
  OpenReadyToFlashAnS3OnCom7();
  ASSERT_TRUE(Enabled(ButtonFlash));

  SetVariable(L"VTF_SIM_OUTPUT", L"nul");
  const std::size_t before = LogLines().size();
  ClickMiddle(Handle(ButtonFlash));
  std::vector<Expected> expected = {Line(L"Flashing\u2026"), Line(L"NUL hereand the line goes on"),
                                    Line(L"Wide line")};
  for (Expected& line : ShownFlashLines(L"0x00000000")) {
    expected.push_back(std::move(line));
  }
  expected.insert(expected.end(),
                  {Line(L"Flash successfull... Enjoy ! \u2714"), Line(L" "),
                   Line(L"\u27A1 if your device is not restarting, turn it off and on again.")});
  EXPECT_TRUE(ReadsAs(LogLinesAfter(before), expected));
}

// ---- Files that cannot be prepared ------------------------------------------------------------

TEST_F(EndToEndTest, AFileThatCannotBeWrittenIsNamedAndChoosingTheModelAgainRetries) {
  SetPorts({{L"\\Device\\Serial0", REG_SZ, L"COM7"}});
  Open();
  // A folder where the firmware goes.
  const std::wstring obstacle = workFolder_ + L"firmware.bin";
  ASSERT_TRUE(::CreateDirectoryW(obstacle.c_str(), nullptr));

  ChooseModelWithTheMouse(kS3);
  EXPECT_EQ(LogLinesAfter(1), (Lines{L"Preparing files for M5Stick S3 (firm 1.3)...",
                                     L"Could not prepare firmware.bin \u274C"}));
  EXPECT_FALSE(Enabled(ComboBoxPort));
  EXPECT_FALSE(Enabled(ButtonFlash));

  // Once the obstacle is gone, the model chosen again (the keyboard's Up, then Down) prepares
  // every file.
  ASSERT_TRUE(::RemoveDirectoryW(obstacle.c_str()));
  SetFocus(Edit(ComboDevice));
  PressKey(VK_UP);
  const std::size_t before = LogLines().size();
  PressKey(VK_DOWN);
  EXPECT_EQ(LogLinesAfter(before), (Lines{L"Preparing files for M5Stick S3 (firm 1.3)...",
                                          L"Files prepared for flashing."}));
  ExpectPreparedFiles(L"S3");
  EXPECT_TRUE(Enabled(ComboBoxPort));
}

TEST_F(EndToEndTest, ADiskThatFillsDuringACopyNamesTheFileAndKeepsNoPartOfIt) {
  // TEMP on the small tmpfs mounted by the e2e_small_disk_mount step, filled so that the tool,
  // the bootloader and the partitions fit and the firmware does not.
  const std::optional<std::wstring> disk = ReadVariable(L"VTF_SMALL_DISK");
  ASSERT_TRUE(disk) << "VTF_SMALL_DISK names the tmpfs mounted by the e2e_small_disk_mount step";
  RemoveWorkFolder(scratch_);
  scratch_ = *disk + L"\\temp";
  workFolder_ = scratch_ + L"\\VantorTrackerFlash\\";
  RemoveWorkFolder(scratch_);
  ASSERT_TRUE(::CreateDirectoryW(scratch_.c_str(), nullptr));
  SetVariable(L"TEMP", scratch_);
  Open();
  ASSERT_TRUE(Exists(workFolder_));

  constexpr std::uint64_t kPage = 4096;  // tmpfs counts whole pages
  auto pages = [](std::uint64_t bytes) { return (bytes + kPage - 1) / kPage * kPage; };
  const std::uint64_t room = pages(Payload(L"ESPTOOL").size()) + pages(Payload(L"S3_BOOT").size()) +
                             pages(Payload(L"S3_PART").size()) +
                             pages(Payload(L"S3_FIRM").size() / 2);
  ULARGE_INTEGER free{};
  ASSERT_TRUE(::GetDiskFreeSpaceExW(scratch_.c_str(), &free, nullptr, nullptr));
  ASSERT_GT(free.QuadPart, room) << "the disk is smaller than the files";
  WriteBytes(scratch_ + L"\\filler.bin", std::string(free.QuadPart - room, '\0'));

  ChooseModelWithTheMouse(kS3);

  EXPECT_EQ(LogLinesAfter(1), (Lines{L"Preparing files for M5Stick S3 (firm 1.3)...",
                                     L"Could not prepare firmware.bin \u274C"}));
  Lines names = NamesIn(workFolder_);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Lines{L"bootloader.bin", L"esptool.exe", L"partitions.bin"}));
  EXPECT_FALSE(Enabled(ComboBoxPort));
}

// ---- Copies sharing the work folder, and the end of the session ------------------------------

TEST_F(EndToEndTest, ASecondCopyClosingLeavesTheFirstOnesFilesAndTheLastRemovesThem) {
  SetPorts({{L"\\Device\\Serial0", REG_SZ, L"COM7"}});
  SetVariable(L"VTF_SIM_PORTS", L"COM7=esp32s3");
  Open();
  ChooseModelWithTheMouse(kS3);
  ExpectPreparedFiles(L"S3");

  {
    // Another copy of the program: a window with services of its own, opened and closed.
    Win32SystemServices otherServices;
    MainWindow other(GetModuleHandleW(nullptr), otherServices);
    other.Show(SW_SHOWNORMAL);
    SendMessageW(other.Handle(), WM_CLOSE, 0, 0);
  }
  Pump();
  ExpectPreparedFiles(L"S3");

  ChoosePortWithTheMouse(1);
  const Lines lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"Stick detected \u2714"), lines.end())
      << testing::PrintToString(lines);

  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(Exists(workFolder_));
}

TEST_F(EndToEndTest, TheSessionEndingRemovesTheWorkFolder) {
  HWND form = Open().Handle();
  ChooseModelWithTheMouse(kS3);
  ExpectPreparedFiles(L"S3");

  // Asked, then told that the session goes on: nothing changes.
  SendMessageW(form, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
  SendMessageW(form, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
  ExpectPreparedFiles(L"S3");

  // Told that it ends: Windows will end the process without destroying the window.
  SendMessageW(form, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_FALSE(Exists(workFolder_));
  EXPECT_TRUE(Exists(scratch_));
}

// ---- The ports as the registry lists them -----------------------------------------------------

TEST_F(EndToEndTest, PortValuesThatAreNotTextBringUpTheErrorBoxAndEmptyOnesAnEmptyEntry) {
  SetPorts({{L"\\Device\\Serial0", REG_SZ, L"COM7"}, {L"\\Device\\Serial1", REG_DWORD, L"", 7}});
  Open();
  ChooseModelWithTheMouse(kS3);
  const Lines logBefore = LogLines();

  {
    ErrorBoxCatcher catcher;
    SetFocus(Handle(ComboBoxPort));
    PressKey(VK_F4);
    PressKey(VK_ESCAPE);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    const ErrorBoxCatcher::Box& box = catcher.boxes.front();
    EXPECT_EQ(box.text, L"Type de donn\u00e9es incorrect pour '\\Device\\Serial1'");
    EXPECT_EQ(box.caption, L"Vantortrackerflasher");
    EXPECT_EQ(box.owner, window_->Handle());
    EXPECT_TRUE(box.errorIcon);
  }
  // The listing stopped at that value: no prompt, no choice, the field as it was.
  EXPECT_EQ(ListItems(ComboBoxPort), Lines{L"COM7"});
  EXPECT_EQ(PortIndex(), -1);
  EXPECT_EQ(HwndText(Edit(ComboBoxPort)), L"Select COM port");
  EXPECT_EQ(LogLines(), logBefore);

  // The window goes on: the next opening reads the registry again. An empty value is an
  // empty entry, and choosing it probes with an empty port text.
  SetPorts({{L"\\Device\\Serial0", REG_SZ, L"COM7"}, {L"\\Device\\Serial2", REG_SZ, L""}});
  ClickListButton(ComboBoxPort);
  ASSERT_TRUE(IsWindowVisible(List(ComboBoxPort)));
  EXPECT_EQ(ListItems(ComboBoxPort), (Lines{L"Select COM port", L"COM7", L""}));
  ClickListItem(ComboBoxPort, 2);
  const Lines lines = LogLinesAfter(logBefore.size());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), L"Verifying Stick on ...");
  EXPECT_EQ(ToolCommands(), Lines{ProbeCommand(L"")});
  // The tool takes the command for the port and finds none: not detected.
  Lines tail = {L"Stick not detected \u274C"};
  tail.insert(tail.end(), kS3Hints.begin(), kS3Hints.end());
  ASSERT_GE(lines.size(), tail.size() + 1);
  EXPECT_EQ(Lines(lines.end() - static_cast<std::ptrdiff_t>(tail.size()), lines.end()), tail);
}

// ---- A TEMP whose name the ANSI code page cannot hold ------------------------------------------

// The tool prints each file name it writes, and through a pipe its runtime encodes them in the
// ANSI code page: the command lines name the work folder by its short form, which the code page
// holds, so the probe and the flash go through while the files stay in the folder itself.
TEST_F(EndToEndTest, AWorkFolderOutsideTheCodePageReachesTheToolByItsShortForm) {
  ASSERT_EQ(::GetACP(), 1252u) << "the test's environment pins the ANSI code page";
  const std::wstring temp = scratch_ + L"\\Mo\u0159e";
  ASSERT_TRUE(::CreateDirectoryW(temp.c_str(), nullptr));
  SetVariable(L"TEMP", temp);
  workFolder_ = temp + L"\\VantorTrackerFlash\\";
  SetPorts({{L"\\Device\\Serial0", REG_SZ, L"COM7"}});
  SetVariable(L"VTF_SIM_PORTS", L"COM7=esp32s3");
  Open();
  ChooseModelWithTheMouse(kS3);
  ExpectPreparedFiles(L"S3");
  ChoosePortWithTheMouse(1);
  ASSERT_TRUE(Enabled(ButtonFlash)) << testing::PrintToString(LogLines());
  ClickMiddle(Handle(ButtonFlash));
  EXPECT_EQ(LogLines().back(),
            L"\u27A1 if your device is not restarting, turn it off and on again.");

  wchar_t shortForm[MAX_PATH] = {};
  ASSERT_NE(::GetShortPathNameW(workFolder_.c_str(), shortForm, MAX_PATH), 0u);
  const std::wstring shortFolder = shortForm;
  ASSERT_NE(shortFolder, workFolder_);
  ASSERT_TRUE(shortFolder.ends_with(L'\\'));
  EXPECT_TRUE(std::all_of(shortFolder.begin(), shortFolder.end(), [](wchar_t ch) {
    return ch < 0x80;
  })) << testing::PrintToString(shortFolder);
  const std::wstring shortName =
      shortFolder.substr(shortFolder.find_last_of(L'\\', shortFolder.size() - 2) + 1);
  std::vector<Expected> flashed = {Line(L"Flashing\u2026")};
  for (Expected& line : ShownFlashLines(L"0x00000000", shortName.substr(0, shortName.size() - 1))) {
    flashed.push_back(std::move(line));
  }
  const Lines log = LogLines();
  const auto flashing = std::find(log.begin(), log.end(), L"Flashing\u2026");
  ASSERT_NE(flashing, log.end());
  EXPECT_TRUE(ReadsAs(Lines(flashing, log.end() - 3), flashed));

  const std::wstring longFolder = workFolder_;
  workFolder_ = shortFolder;
  const Lines commands = {ProbeCommand(L"COM7"), FlashCommand(L"esp32s3", L"COM7", L"0x0")};
  workFolder_ = longFolder;
  EXPECT_EQ(ToolCommands(), commands);
  EXPECT_EQ(ToolExits(), (Lines{L"0", L"0"}));
}

}  // namespace
