// The editable drop-down lists' rules on the real controls, through keyboard and mouse
// messages sent to them: typing completion, Backspace and other edits, the arrow keys, the
// opened list, and that nothing the program does runs a handler.
#include "window_test_support.h"

namespace {

using enum FormControl;

constexpr std::wstring_view kC2 = L"M5Stick C Plus 2 (deprecated firm 1.0 only)";
constexpr std::wstring_view kS3 = L"M5Stick S3 (firm 1.3)";

class DropDownTest : public WindowTest {
 public:
  DropDownList& Device() { return window_->Views().ComboDevice; }
  DropDownList& Port() { return window_->Views().ComboBoxPort; }

  // ComboDeviceChange asks for the work folder exactly once per run; so does the port
  // check. FormCreate's own call is the first.
  int HandlerRuns() const { return services_.CountOf(L"GetWorkFolder") - 1; }

  // The texts that ComboDeviceChange logged as the field's text at each of its runs.
  std::vector<std::wstring> PreparedFor() const {
    std::vector<std::wstring> seen;
    for (const std::wstring& line : LogLines()) {
      constexpr std::wstring_view kPrefix = L"Preparing files for ";
      if (line.starts_with(kPrefix) && line.ends_with(L"...")) {
        seen.push_back(line.substr(kPrefix.size(), line.size() - kPrefix.size() - 3));
      }
    }
    return seen;
  }

  void OpenPortListWithTheMouse() { ClickListButton(ComboBoxPort); }
};

// ---- Typing and Backspace -----------------------------------------------------------------------

enum class Start { WholeTextHighlighted, CaretAtTheEnd };

struct TypingCase {
  const char* name;
  Start start;
  std::wstring_view typed;  // characters, with \b for Backspace
  std::wstring_view field;
  std::pair<int, int> selection;
  int index;
  std::vector<std::wstring> handlerSaw;  // the field's text at each change handler run
};

class TypingTest : public DropDownTest, public ::testing::WithParamInterface<TypingCase> {};

TEST_P(TypingTest, CompletesSelectsAndRunsTheChangeHandlerAsTheUserExpects) {
  const TypingCase& c = GetParam();
  Open();
  TabTo(ComboDevice);  // moving in with Tab highlights the whole field
  HWND edit = Edit(ComboDevice);
  if (c.start == Start::CaretAtTheEnd) {
    PressKey(VK_END);
  }
  for (wchar_t key : c.typed) {
    if (key == L'\b') {
      PressKey(VK_BACK);
    } else {
      Type(std::wstring(1, key));
    }
  }
  EXPECT_EQ(HwndText(edit), c.field);
  EXPECT_EQ(Selection(edit), c.selection);
  EXPECT_EQ(Device().ItemIndex(), c.index);
  EXPECT_EQ(SendMessageW(Handle(ComboDevice), CB_GETCURSEL, 0, 0), c.index);
  EXPECT_EQ(PreparedFor(), c.handlerSaw);
  EXPECT_EQ(HandlerRuns(), static_cast<int>(c.handlerSaw.size()));
}

const std::wstring kC2Text(kC2);
const std::wstring kS3Text(kS3);

const TypingCase kTypingCases[] = {
    // The first item that begins with the text, case aside; the rest highlighted.
    {"LowerCaseMSelectsTheFirstModel",
     Start::WholeTextHighlighted,
     L"m",
     L"m5Stick C Plus 2 (deprecated firm 1.0 only)",
     {1, 43},
     1,
     {L"m5Stick C Plus 2 (deprecated firm 1.0 only)"}},
    {"NoItemBeginsWithX", Start::WholeTextHighlighted, L"x", L"x", {1, 1}, -1, {L"x"}},
    {"TypingOnAfterTheWholeTextStaysUnhighlighted",
     Start::CaretAtTheEnd,
     L"m",
     L"Select a devicem",
     {16, 16},
     -1,
     {L"Select a devicem"}},
    // Same item again: the index does not change, so the handler does not run again.
    {"AFurtherMatchingLetterKeepsTheItem",
     Start::WholeTextHighlighted,
     L"m5",
     L"m5Stick C Plus 2 (deprecated firm 1.0 only)",
     {2, 43},
     1,
     {L"m5Stick C Plus 2 (deprecated firm 1.0 only)"}},
    {"TheItemChangesAtTheLetterThatTellsThemApart",
     Start::WholeTextHighlighted,
     L"M5Stick S",
     L"M5Stick S3 (firm 1.3)",
     {9, 21},
     2,
     {kC2Text, kS3Text}},
    // "Select a device" is item 0 and already selected: nothing runs.
    {"TheSelectedItemItselfRunsNothing",
     Start::WholeTextHighlighted,
     L"s",
     L"select a device",
     {1, 15},
     0,
     {}},
    {"BackspaceRemovesTheHighlightedRest",
     Start::WholeTextHighlighted,
     L"m\b",
     L"m",
     {1, 1},
     -1,
     {L"m5Stick C Plus 2 (deprecated firm 1.0 only)", L"m"}},
    {"BackspaceThenRemovesTheCharacterBeforeTheCaret",
     Start::WholeTextHighlighted,
     L"m\b\b",
     L"",
     {0, 0},
     -1,
     {L"m5Stick C Plus 2 (deprecated firm 1.0 only)", L"m", L""}},
    {"BackspaceAtTheEndOfAnItem",
     Start::CaretAtTheEnd,
     L"\b",
     L"Select a devic",
     {14, 14},
     -1,
     {L"Select a devic"}},
};

std::string TypingCaseName(const ::testing::TestParamInfo<TypingCase>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Keys, TypingTest, ::testing::ValuesIn(kTypingCases), TypingCaseName);

TEST_F(DropDownTest, DeletingOrCuttingTextRunsTheChangeHandler) {
  Open();
  TabTo(ComboDevice);
  HWND edit = Edit(ComboDevice);
  SendMessageW(edit, EM_SETSEL, 0, 7);  // "Select "
  PressKey(VK_DELETE);
  EXPECT_EQ(HwndText(edit), L"a device");
  EXPECT_EQ(Device().ItemIndex(), -1);
  SendMessageW(edit, EM_SETSEL, 0, 2);  // "a "
  Type(L"\x18");                        // Ctrl+X
  EXPECT_EQ(HwndText(edit), L"device");
  EXPECT_EQ(PreparedFor(), (std::vector<std::wstring>{L"a device", L"device"}));
}

// ---- Arrow keys on a closed list ----------------------------------------------------------------

TEST_F(DropDownTest, ArrowKeysStepThroughAClosedListRunningTheHandlerAtEachStep) {
  Open();
  TabTo(ComboDevice);
  struct Step {
    UINT key;
    int index;
    std::wstring_view field;
    int runs;  // handler runs so far
  };
  const Step steps[] = {
      {VK_DOWN, 1, kC2, 1}, {VK_DOWN, 2, kS3, 2},
      {VK_DOWN, 2, kS3, 2},  // the end of the list: no change, no run
      {VK_UP, 1, kC2, 3},   {VK_UP, 0, L"Select a device", 4},
  };
  for (const Step& step : steps) {
    PressKey(step.key);
    EXPECT_EQ(Device().ItemIndex(), step.index);
    EXPECT_EQ(HwndText(Edit(ComboDevice)), step.field);
    EXPECT_EQ(HandlerRuns(), step.runs);
  }
  // The field showed the item before each run (index 0 logs no "Preparing" line).
  EXPECT_EQ(PreparedFor(), (std::vector<std::wstring>{kC2Text, kS3Text, kC2Text}));
  EXPECT_EQ(LogLines().back(), L"Please select a device model.");
}

// ---- The opened list ----------------------------------------------------------------------------

TEST_F(DropDownTest, OpeningThePortListRunsItsHandlerFirstAndShowsTheItemsItBuilt) {
  Open();
  TabTo(ComboDevice);
  Type(L"m");  // a model: the port list is enabled
  ASSERT_TRUE(IsWindowEnabled(Handle(ComboBoxPort)));

  services_.ports = {L"COM3", L"COM7", L"COM12"};
  bool listShownDuringHandler = true;
  services_.duringPortListing = [&] {
    listShownDuringHandler = IsWindowVisible(List(ComboBoxPort));
  };
  OpenPortListWithTheMouse();

  EXPECT_EQ(services_.CountOf(L"ListSerialPorts"), 1);
  EXPECT_FALSE(listShownDuringHandler);
  EXPECT_TRUE(IsWindowVisible(List(ComboBoxPort)));
  EXPECT_EQ(SendMessageW(List(ComboBoxPort), LB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(ListItems(ComboBoxPort),
            (std::vector<std::wstring>{L"Select COM port", L"COM3", L"COM7", L"COM12"}));
  EXPECT_EQ(Port().ItemIndex(), 0);
  EXPECT_EQ(HwndText(Edit(ComboBoxPort)), L"Select COM port");

  // A click on COM7: the field shows it, then the change handler checks that port.
  const std::size_t before = LogLines().size();
  ClickListItem(ComboBoxPort, 2);
  EXPECT_FALSE(IsWindowVisible(List(ComboBoxPort)));
  EXPECT_EQ(Port().ItemIndex(), 2);
  EXPECT_EQ(HwndText(Edit(ComboBoxPort)), L"COM7");
  EXPECT_EQ(LogLinesAfter(before),
            (std::vector<std::wstring>{L"Verifying Stick on COM7...", L"Stick detected \u2714",
                                       L"Ready to flash..."}));
  EXPECT_TRUE(IsWindowEnabled(Handle(ButtonFlash)));
}

TEST_F(DropDownTest, ArrowKeysInTheOpenedListRunTheChangeHandlerAtEachStep) {
  Open();
  TabTo(ComboDevice);
  Type(L"m");
  services_.exitCode = 2;  // no device answers: each check sets the list back to the prompt
  SetFocus(Handle(ComboBoxPort));
  PressKey(VK_F4);  // opens the list: the drop-down handler runs
  ASSERT_TRUE(IsWindowVisible(List(ComboBoxPort)));
  EXPECT_EQ(services_.CountOf(L"ListSerialPorts"), 1);
  const std::size_t before = LogLines().size();
  PressKey(VK_DOWN);
  EXPECT_EQ(LogLinesAfter(before).front(), L"Verifying Stick on COM3...");
  EXPECT_EQ(services_.CountOf(L"RunHidden"), 1);
}

// ---- Program actions ----------------------------------------------------------------------------

TEST_F(DropDownTest, NothingTheProgramDoesToAListRunsAHandler) {
  Open();
  for (FormControl control : {ComboDevice, ComboBoxPort}) {
    DropDownList& list = control == ComboDevice ? Device() : Port();
    HWND edit = Edit(control);
    const std::vector<std::wstring> log = LogLines();
    const std::vector<std::wstring> calls = services_.calls;

    list.Items().Clear();  // keeps the field's text
    EXPECT_EQ(list.ItemIndex(), -1);
    EXPECT_EQ(HwndText(edit), control == ComboDevice ? L"Select a device" : L"Select COM port");
    list.Items().Add(L"COM3");
    list.Items().Add(L"COM7");
    list.Items().Insert(0, L"Select COM port");
    EXPECT_EQ(ListItems(control),
              (std::vector<std::wstring>{L"Select COM port", L"COM3", L"COM7"}));
    list.SetItemIndex(2);
    EXPECT_EQ(HwndText(edit), L"COM7");
    list.Items().Insert(0, L"COM1");  // the selected item moves down with the others
    EXPECT_EQ(list.ItemIndex(), 3);
    EXPECT_EQ(SendMessageW(Handle(control), CB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(HwndText(edit), L"COM7");
    HwndSetText(edit, L"typed");  // stands for the user's text: set the same index again
    list.SetItemIndex(3);
    EXPECT_EQ(HwndText(edit), L"typed");
    list.SetItemIndex(1);
    EXPECT_EQ(HwndText(edit), L"Select COM port");
    list.SetEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(Handle(control)));
    list.SetEnabled(true);
    EXPECT_EQ(list.Text(), L"Select COM port");

    EXPECT_EQ(LogLines(), log);
    EXPECT_EQ(services_.calls, calls);
  }
}

// ---- A disabled list ----------------------------------------------------------------------------

TEST_F(DropDownTest, ADisabledListTakesNeitherTheMouseNorTheKeyboard) {
  HWND form = Open().Handle();
  ASSERT_FALSE(IsWindowEnabled(Handle(ComboBoxPort)));
  EXPECT_FALSE(IsWindowEnabled(Edit(ComboBoxPort)));
  // Hit-testing passes over it: the mouse reaches the window behind.
  const COMBOBOXINFO info = ComboInfo(ComboBoxPort);
  POINT button{(info.rcButton.left + info.rcButton.right) / 2,
               (info.rcButton.top + info.rcButton.bottom) / 2};
  ClientToScreen(Handle(ComboBoxPort), &button);
  EXPECT_EQ(WindowFromPoint(button), form);
  // The keyboard cannot reach it.
  EXPECT_NE(GetNextDlgTabItem(form, Handle(ButtonFlash), TRUE), Handle(ComboBoxPort));
  EXPECT_EQ(SetFocus(Edit(ComboBoxPort)), nullptr);
  EXPECT_NE(GetFocus(), Edit(ComboBoxPort));
}

}  // namespace
