// The real controls behind the handlers' views: the log, the two drop-down lists, the Flash
// button and the progress bar. Nothing the program does through these views runs a handler;
// the user's actions run the handlers given to OnChange / OnDropDown.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "core/controls.h"

// The log: lines appended at the very end of the text, whatever the user did to it.
class MemoLogView final : public LineSink {
 public:
  MemoLogView() = default;
  MemoLogView(const MemoLogView&) = delete;
  MemoLogView& operator=(const MemoLogView&) = delete;
  ~MemoLogView();

  void Attach(HWND edit);
  HWND Handle() const { return edit_; }

  // The line goes into the text box when the box next gets a message: its next paint, or
  // anything that reads it or acts on it. A tool run holds the thread, so its lines are not
  // painted before it ends anyway; they then go in with one replacement instead of one
  // each, which a text box makes slower the longer its text. A NUL character cannot be shown
  // and is left out.
  void Add(std::wstring_view line) override;

  // The edit's EN_CHANGE, forwarded by the window.
  void OnEditChange();

 private:
  static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);
  // Appends the lines not yet in the text box, each on a row of its own.
  void Flush();

  HWND edit_ = nullptr;
  std::wstring pending_;  // lines added since the last flush, each ended by a line break
  int programChange_ = 0;
  // Whether the text is empty or ends with a line break; unknown after the user edits it.
  bool atRowStart_ = true;
  bool atRowStartKnown_ = true;
};

// An editable drop-down list whose rules are kept here rather than left to the native combo
// box, whose behaviour differs between Windows versions and Wine.
class DropDownView final : public DropDownList, private ItemList {
 public:
  DropDownView() = default;
  DropDownView(const DropDownView&) = delete;
  DropDownView& operator=(const DropDownView&) = delete;
  ~DropDownView();

  void Attach(HWND combo);
  HWND Handle() const { return combo_; }
  HWND EditHandle() const { return edit_; }

  void OnChange(std::function<void()> handler) { onChange_ = std::move(handler); }
  void OnDropDown(std::function<void()> handler) { onDropDown_ = std::move(handler); }

  // The combo box's notifications (WM_COMMAND to the window), forwarded by the window.
  void OnNotify(WORD code);

  // DropDownList
  ItemList& Items() override { return *this; }
  int ItemIndex() const override { return index_; }
  void SetItemIndex(int index) override;
  std::wstring Text() const override;
  void SetEnabled(bool enabled) override;

 private:
  // ItemList
  void Add(std::wstring_view item) override;
  void Clear() override;
  void Insert(int index, std::wstring_view item) override;

  static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);
  static LRESULT CALLBACK ComboProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR self);

  // The user's actions, one rule each.
  void UserTypes(wchar_t character);
  void UserBackspace();
  void UserSteps(int delta);
  void UserChoseFromList();
  void UserEditedText();

  int Count() const;
  std::wstring ItemText(int index) const;
  int FindItemStartingWith(std::wstring_view text) const;
  bool Dropped() const;
  // Shows a text in the field with a selection (end -1: to the end), as a program change.
  void ShowField(std::wstring_view text, int selectionStart, int selectionEnd);
  // Points the native list's selection at index_ and keeps the field as it is.
  void SyncNativeSelection();
  void RunChange();

  HWND combo_ = nullptr;
  HWND edit_ = nullptr;
  HWND list_ = nullptr;
  int index_ = -1;
  int programChange_ = 0;
  std::function<void()> onChange_;
  std::function<void()> onDropDown_;
};

class ButtonView final : public Button {
 public:
  void Attach(HWND button) { button_ = button; }
  HWND Handle() const { return button_; }
  void OnClick(std::function<void()> handler) { onClick_ = std::move(handler); }
  // The button's notifications, forwarded by the window: BN_CLICKED comes from the mouse or
  // the keyboard, never from enabling.
  void OnNotify(WORD code);
  void SetEnabled(bool enabled) override;

 private:
  HWND button_ = nullptr;
  std::function<void()> onClick_;
};

// Painted before SetPosition returns, because a tool run holds the thread.
class ProgressBarView final : public ProgressBar {
 public:
  void Attach(HWND bar);
  void SetPosition(int position) override;

 private:
  HWND bar_ = nullptr;
};
