#include "app/win32/control_views_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>

#include "app/win32/error_box_win32.h"
#include "app/win32/window_helpers_win32.h"

namespace {

constexpr UINT_PTR kSubclassId = 1;

std::pair<int, int> EditSelection(HWND edit) {
  DWORD start = 0;
  DWORD end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {static_cast<int>(start), static_cast<int>(end)};
}

bool IsSurrogate(wchar_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

}  // namespace

// ---- MemoLogView ----------------------------------------------------------------------------

MemoLogView::~MemoLogView() {
  if (edit_ != nullptr) {
    RemoveWindowSubclass(edit_, EditProc, kSubclassId);
  }
}

void MemoLogView::Attach(HWND edit) {
  edit_ = edit;
  SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0);  // 0: as long as memory allows
  SetWindowSubclass(edit_, EditProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void MemoLogView::Add(std::wstring_view line) {
  if (pending_.empty()) {
    // The paint that shows the line brings it in first.
    InvalidateRect(edit_, nullptr, FALSE);
  }
  // The text box takes the batch as one NUL-ended string: a NUL would end it there, and
  // every later line with it.
  std::remove_copy(line.begin(), line.end(), std::back_inserter(pending_), L'\0');
  pending_ += L"\r\n";
}

LRESULT CALLBACK MemoLogView::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR self) {
  auto* view = reinterpret_cast<MemoLogView*>(self);
  switch (message) {
    case WM_DESTROY:
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, EditProc, kSubclassId);
      view->edit_ = nullptr;
      view->pending_.clear();
      break;
    default:
      // Whatever paints, reads or acts on the text box finds every line added before it.
      // The message itself still goes to the text box when that fails.
      try {
        view->Flush();
      } catch (...) {
        ShowCaughtError(hwnd);
      }
      break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

void MemoLogView::Flush() {
  if (pending_.empty()) {
    return;
  }
  std::wstring appended = std::move(pending_);
  pending_.clear();  // before the messages below, which come back through EditProc
  ScopedCount quiet(programChange_);
  // EM_SETSEL(-1, -1) would insert at the caret, wherever the user left it: the end is the
  // text's length.
  const int length = GetWindowTextLengthW(edit_);
  if (!atRowStartKnown_) {
    const std::wstring text = HwndText(edit_);
    atRowStart_ = text.empty() || text.ends_with(L"\r\n");
    atRowStartKnown_ = true;
  }
  if (!atRowStart_) {
    appended.insert(0, L"\r\n");  // after the user's own text, the lines start a row
  }
  SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(length), length);
  SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(appended.c_str()));
  SendMessageW(edit_, EM_SCROLLCARET, 0, 0);
  atRowStart_ = true;
}

void MemoLogView::OnEditChange() {
  if (programChange_ == 0) {
    atRowStartKnown_ = false;
  }
}

// ---- DropDownView ---------------------------------------------------------------------------

DropDownView::~DropDownView() {
  if (edit_ != nullptr) {
    RemoveWindowSubclass(edit_, EditProc, kSubclassId);
  }
  if (combo_ != nullptr) {
    RemoveWindowSubclass(combo_, ComboProc, kSubclassId);
  }
}

void DropDownView::Attach(HWND combo) {
  combo_ = combo;
  COMBOBOXINFO info{};
  info.cbSize = sizeof(info);
  GetComboBoxInfo(combo_, &info);
  edit_ = info.hwndItem;
  list_ = info.hwndList;
  const auto self = reinterpret_cast<DWORD_PTR>(this);
  SetWindowSubclass(edit_, EditProc, kSubclassId, self);
  SetWindowSubclass(combo_, ComboProc, kSubclassId, self);
}

LRESULT CALLBACK DropDownView::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR self) {
  auto* view = reinterpret_cast<DropDownView*>(self);
  return CatchAtBoundary(hwnd, 0, [&]() -> LRESULT {
    switch (message) {
      case WM_CHAR: {
        const auto character = static_cast<wchar_t>(wParam);
        if (character == VK_BACK) {
          view->UserBackspace();
          return 0;
        }
        if (character >= L' ' && character != 0x7F && !IsSurrogate(character)) {
          view->UserTypes(character);
          return 0;
        }
        break;  // editing keys (cut, paste, undo) change the text natively: CBN_EDITCHANGE
      }
      case WM_KEYDOWN:
        if ((wParam == VK_UP || wParam == VK_DOWN) && !view->Dropped()) {
          view->UserSteps(wParam == VK_DOWN ? 1 : -1);
          return 0;
        }
        break;
      case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, EditProc, kSubclassId);
        view->edit_ = nullptr;
        break;
      default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
  });
}

LRESULT CALLBACK DropDownView::ComboProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR self) {
  auto* view = reinterpret_cast<DropDownView*>(self);
  return CatchAtBoundary(hwnd, 0, [&]() -> LRESULT {
    switch (message) {
      case WM_COMMAND:
        // A choice in the opened list (mouse, arrow keys, wheel). The native combo closes the
        // list, notifies and rewrites the field in an order that differs between systems; let
        // it finish quietly, then apply the rule: field first, then the handler.
        if (reinterpret_cast<HWND>(lParam) == view->list_ && HIWORD(wParam) == LBN_SELCHANGE &&
            view->programChange_ == 0) {
          LRESULT result = 0;
          {
            ScopedCount quiet(view->programChange_);
            result = DefSubclassProc(hwnd, message, wParam, lParam);
          }
          view->UserChoseFromList();
          return result;
        }
        break;
      case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, ComboProc, kSubclassId);
        view->combo_ = nullptr;
        view->list_ = nullptr;
        break;
      default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
  });
}

void DropDownView::OnNotify(WORD code) {
  if (programChange_ > 0) {
    return;  // caused by the program's own change
  }
  switch (code) {
    case CBN_DROPDOWN:
      // Sent before the list shows: the handler builds the items the user is about to see.
      if (onDropDown_) {
        onDropDown_();
      }
      break;
    case CBN_EDITCHANGE:
      UserEditedText();
      break;
    case CBN_SELCHANGE:
      UserChoseFromList();  // a choice that did not come through the list's notification
      break;
    case CBN_CLOSEUP:
      // Opening the list may have pointed the native selection at a prefix match.
      if (SendMessageW(combo_, CB_GETCURSEL, 0, 0) != index_) {
        SyncNativeSelection();
      }
      break;
    default:
      break;
  }
}

void DropDownView::SetItemIndex(int index) {
  if (index < -1 || index >= Count()) {
    index = -1;
  }
  if (index == index_) {
    return;
  }
  index_ = index;
  ShowField(index >= 0 ? ItemText(index) : std::wstring(), 0, -1);
  SyncNativeSelection();
}

std::wstring DropDownView::Text() const {
  return HwndText(edit_);
}

void DropDownView::SetEnabled(bool enabled) {
  ScopedCount quiet(programChange_);
  EnableWindow(combo_, enabled ? TRUE : FALSE);
}

void DropDownView::Add(std::wstring_view item) {
  ScopedCount quiet(programChange_);
  const std::wstring terminated(item);
  SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(terminated.c_str()));
}

void DropDownView::Clear() {
  ScopedCount quiet(programChange_);
  // Some systems clear the field with the items: keep it as it was.
  const std::wstring text = HwndText(edit_);
  const auto [start, end] = EditSelection(edit_);
  SendMessageW(combo_, CB_RESETCONTENT, 0, 0);
  index_ = -1;
  ShowField(text, start, end);
}

void DropDownView::Insert(int index, std::wstring_view item) {
  ScopedCount quiet(programChange_);
  index = std::clamp(index, 0, Count());
  const std::wstring terminated(item);
  SendMessageW(combo_, CB_INSERTSTRING, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(terminated.c_str()));
  if (index_ >= index) {
    ++index_;  // the selected item moved down with the others
  }
  if (SendMessageW(combo_, CB_GETCURSEL, 0, 0) != index_) {
    SyncNativeSelection();
  }
}

void DropDownView::UserTypes(wchar_t character) {
  const std::wstring text = HwndText(edit_);
  const auto [start, end] = EditSelection(edit_);
  const auto first = static_cast<std::size_t>(start);
  const auto last = static_cast<std::size_t>(std::max(start, end));
  std::wstring typed = text.substr(0, first);
  typed += character;
  typed += text.substr(std::min(last, text.size()));

  const int match = FindItemStartingWith(typed);
  if (match >= 0) {
    // The user's letters, then the rest of the item highlighted for the next keystroke.
    const std::wstring shown = typed + ItemText(match).substr(typed.size());
    const bool changed = match != index_;
    index_ = match;
    ShowField(shown, static_cast<int>(typed.size()), static_cast<int>(shown.size()));
    SyncNativeSelection();
    if (changed) {
      RunChange();
    }
    return;
  }
  index_ = -1;
  ShowField(typed, start + 1, start + 1);
  SyncNativeSelection();
  RunChange();
}

void DropDownView::UserBackspace() {
  std::wstring text = HwndText(edit_);
  auto [start, end] = EditSelection(edit_);
  if (start > end) {
    std::swap(start, end);
  }
  int caret = start;
  if (start != end) {
    text.erase(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
  } else if (start > 0) {
    int width = 1;
    if (start > 1 && IsSurrogate(text[static_cast<std::size_t>(start - 1)]) &&
        IsSurrogate(text[static_cast<std::size_t>(start - 2)])) {
      width = 2;
    }
    caret = start - width;
    text.erase(static_cast<std::size_t>(caret), static_cast<std::size_t>(width));
  }
  index_ = -1;
  ShowField(text, caret, caret);
  SyncNativeSelection();
  RunChange();
}

void DropDownView::UserSteps(int delta) {
  const int count = Count();
  if (count == 0) {
    return;
  }
  const int target = index_ < 0 ? 0 : std::clamp(index_ + delta, 0, count - 1);
  if (target == index_) {
    return;  // already at the end of the list
  }
  index_ = target;
  ShowField(ItemText(target), 0, -1);
  SyncNativeSelection();
  RunChange();
}

void DropDownView::UserChoseFromList() {
  const auto chosen = static_cast<int>(SendMessageW(combo_, CB_GETCURSEL, 0, 0));
  if (chosen < 0) {
    return;
  }
  index_ = chosen;
  ShowField(ItemText(chosen), 0, -1);
  RunChange();
}

void DropDownView::UserEditedText() {
  // Deleting, cutting, pasting: the field no longer shows a chosen item.
  index_ = -1;
  SyncNativeSelection();
  RunChange();
}

int DropDownView::Count() const {
  return static_cast<int>(SendMessageW(combo_, CB_GETCOUNT, 0, 0));
}

std::wstring DropDownView::ItemText(int index) const {
  const auto length = SendMessageW(combo_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) {
    return {};
  }
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const auto copied = SendMessageW(combo_, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                   reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(std::max<LRESULT>(copied, 0)));
  return text;
}

int DropDownView::FindItemStartingWith(std::wstring_view text) const {
  const int count = Count();
  for (int index = 0; index < count; ++index) {
    const std::wstring item = ItemText(index);
    if (item.size() >= text.size() &&
        CompareStringOrdinal(item.data(), static_cast<int>(text.size()), text.data(),
                             static_cast<int>(text.size()), TRUE) == CSTR_EQUAL) {
      return index;
    }
  }
  return -1;
}

bool DropDownView::Dropped() const {
  return SendMessageW(combo_, CB_GETDROPPEDSTATE, 0, 0) != FALSE;
}

void DropDownView::ShowField(std::wstring_view text, int selectionStart, int selectionEnd) {
  ScopedCount quiet(programChange_);
  HwndSetText(edit_, text);
  SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(selectionStart), selectionEnd);
}

void DropDownView::SyncNativeSelection() {
  ScopedCount quiet(programChange_);
  const std::wstring text = HwndText(edit_);
  const auto [start, end] = EditSelection(edit_);
  // CB_SETCURSEL rewrites the field on some systems (and empties it for -1); the list box's
  // own selection is the same index without touching the field.
  SendMessageW(combo_, CB_SETCURSEL, static_cast<WPARAM>(index_), 0);
  SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(index_), 0);
  if (HwndText(edit_) != text) {
    HwndSetText(edit_, text);
  }
  SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(start), end);
}

void DropDownView::RunChange() {
  if (onChange_) {
    onChange_();
  }
}

// ---- ButtonView, ProgressBarView ------------------------------------------------------------

void ButtonView::OnNotify(WORD code) {
  if (code == BN_CLICKED && onClick_) {
    onClick_();
  }
}

void ButtonView::SetEnabled(bool enabled) {
  EnableWindow(button_, enabled ? TRUE : FALSE);
}

void ProgressBarView::Attach(HWND bar) {
  bar_ = bar;
  SendMessageW(bar_, PBM_SETRANGE32, 0, 100);
  SendMessageW(bar_, PBM_SETPOS, 0, 0);
}

void ProgressBarView::SetPosition(int position) {
  // Visual styles animate a rising bar with timers that cannot run while a tool run holds
  // the thread; a falling bar is drawn at once. So step past the position and back.
  if (position >= 0 && position < 100) {
    SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(position + 1), 0);
  }
  SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  InvalidateRect(bar_, nullptr, TRUE);
  UpdateWindow(bar_);
}
