// The program's one window, Form1 of class TForm1: its controls built from the layout table,
// per-monitor DPI, the wiring of the user's actions to TForm1's handlers, and the error box
// that catches whatever escapes a handler.
#pragma once

#include <windows.h>

#include <array>
#include <exception>
#include <memory>
#include <string>

#include "app/form1.h"
#include "app/system_services.h"
#include "app/win32/control_views_win32.h"
#include "app/win32/donate_panel_win32.h"
#include "app/win32/form_layout_win32.h"
#include "app/win32/logo_picture_win32.h"
#include "win32/unique_handle.h"

class MainWindow {
 public:
  // Creates the window and its controls, then runs FormCreate; the window is not shown yet.
  // Needs COM on this thread for the logo, and the common controls initialised. Throws
  // AppError, with the system's reason, when the window or one of its controls cannot be made.
  MainWindow(HINSTANCE instance, SystemServices& services);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Handle() const { return hwnd_; }
  HWND ControlHandle(FormControl control) const;
  int Dpi() const { return dpi_; }
  // The views TForm1 acts through; what is done through them never runs a handler.
  Form1Controls Views();

  void Show(int showCommand);

  // One retrieved message, handled the way the program's loop handles it: the Tab key and
  // the other dialog keys first, then translation and dispatch.
  void Dispatch(MSG& msg);

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  LRESULT OnCreate() noexcept;
  void OnCommand(int id, WORD code);
  void OnActivate(WORD state, bool minimized);
  void OnNextDialogControl(WPARAM wParam, LPARAM lParam);
  // The Tab key: the next (or previous) control that can take the focus.
  void MoveFocus(bool forward);
  void OnDpiChanged(int dpi, const RECT& suggested);
  void OnDrawItem(const DRAWITEMSTRUCT& item);
  LRESULT OnControlColour(UINT message, HDC dc, HWND control);
  void OnEndSession(bool ending);
  void OnDestroy();

  void CreateControls();
  HWND CreateControl(const ControlLayout& row, const RECT& place);
  std::array<UniqueGdiObject, 2> MakeFonts() const;
  HFONT FontFor(const ControlLayout& row) const;
  void RebuildFonts();
  // A control's place in the window at its DPI; a label's follows its text in its font.
  RECT PlaceOf(const ControlLayout& row) const;
  void PlaceControls();
  void PlaceDropDownLists();
  void SizeToClient();
  HWND FirstTabStop() const;
  int Scale(int pixels) const;

  void WireHandlers();
  // Runs one handler; an error that escapes it goes to the error box and the window goes on.
  void Run(void (TForm1::*handler)());

  HINSTANCE instance_;
  SystemServices& services_;
  HWND hwnd_ = nullptr;
  int dpi_ = kDesignDpi;
  std::array<HWND, kFormControlCount> controls_{};
  std::array<UniqueGdiObject, 2> fonts_;  // FontRole::Window and FontRole::Title
  HWND lastFocus_ = nullptr;
  std::exception_ptr creationError_;  // what made WM_CREATE fail

  MemoLogView memoLog_;
  DropDownView comboDevice_;
  DropDownView comboBoxPort_;
  ButtonView buttonFlash_;
  ProgressBarView progressBar1_;
  DonatePanel panelDonate_;
  LogoPicture logo_;
  std::unique_ptr<TForm1> form_;
};

// The program's message loop: runs until the window is closed.
void RunMessageLoop(MainWindow& window);
