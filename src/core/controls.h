// The narrow views of the window's controls that the handlers act on. The Win32 window
// implements them with the real controls; the portable tests with fakes that follow the
// same drop-down list rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Lines appended at the end: the log, or any list that collects output lines.
class LineSink {
 public:
  virtual void Add(std::wstring_view line) = 0;

 protected:
  ~LineSink() = default;
};

// The items of a drop-down list (also the port names that the port listing fills).
class ItemList : public LineSink {
 public:
  virtual void Clear() = 0;
  virtual void Insert(int index, std::wstring_view item) = 0;

 protected:
  ~ItemList() = default;
};

// An editable drop-down list. Nothing done through this interface runs a handler.
class DropDownList {
 public:
  virtual ItemList& Items() = 0;
  virtual int ItemIndex() const = 0;
  // Shows that item's text in the field; setting the index it already has does nothing.
  virtual void SetItemIndex(int index) = 0;
  // What the field shows at this moment.
  virtual std::wstring Text() const = 0;
  virtual void SetEnabled(bool enabled) = 0;

 protected:
  ~DropDownList() = default;
};

class Button {
 public:
  virtual void SetEnabled(bool enabled) = 0;

 protected:
  ~Button() = default;
};

// Range 0 to 100; a new position is painted before the call returns.
class ProgressBar {
 public:
  virtual void SetPosition(int position) = 0;

 protected:
  ~ProgressBar() = default;
};

// The donation panel's look, applied once at window creation.
struct PanelLook {
  std::uint32_t background = 0;     // 0xRRGGBB
  std::uint32_t captionColour = 0;  // 0xRRGGBB
  bool bold = false;
  bool italic = false;
  bool handPointer = false;
};

class Panel {
 public:
  virtual void SetLook(const PanelLook& look) = 0;

 protected:
  ~Panel() = default;
};
