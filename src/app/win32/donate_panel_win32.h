// The donation panel: a clickable caption on its own colour, drawn by its own window class so
// that it keeps that colour under any visual style.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>

#include "core/controls.h"
#include "win32/unique_handle.h"

class DonatePanel final : public Panel {
 public:
  static constexpr const wchar_t* kClassName = L"VtfDonatePanel";

  DonatePanel() = default;
  DonatePanel(const DonatePanel&) = delete;
  DonatePanel& operator=(const DonatePanel&) = delete;

  static void Register(HINSTANCE instance);
  // The caption is the window text; `dpi` sizes the font and the inner space.
  HWND Create(HWND parent, int id, HINSTANCE instance, const wchar_t* caption, const RECT& place,
              int dpi);
  HWND Handle() const { return hwnd_; }

  void OnClick(std::function<void()> handler) { onClick_ = std::move(handler); }
  void SetDpi(int dpi);

  void SetLook(const PanelLook& look) override;

  // Paints the panel into any DC (WM_PAINT and WM_PRINTCLIENT).
  void Paint(HDC dc) const;

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void RebuildFont();

  HWND hwnd_ = nullptr;
  int dpi_ = 96;
  std::optional<PanelLook> look_;  // nothing until the window applies its look
  UniqueGdiObject font_;
  bool pressed_ = false;
  std::function<void()> onClick_;
};
