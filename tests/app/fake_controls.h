// Test doubles of the window's controls that follow the drop-down list rules, and a scripted
// machine. User actions (choosing, typing, opening) run the wired handlers; what the program does
// through the control views never does.
#pragma once

#include <algorithm>
#include <cwctype>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/system_services.h"
#include "core/app_error.h"
#include "core/controls.h"

class FakeLog : public LineSink {
 public:
  void Add(std::wstring_view line) override { lines.emplace_back(line); }
  std::vector<std::wstring> lines;
};

class FakeItems : public ItemList {
 public:
  explicit FakeItems(int& index) : index_(index) {}
  void Add(std::wstring_view item) override { items.emplace_back(item); }
  void Clear() override {
    items.clear();
    index_ = -1;  // the field keeps its text
  }
  void Insert(int index, std::wstring_view item) override {
    items.insert(items.begin() + index, std::wstring(item));
    if (index_ >= index) {
      ++index_;  // the selected entry stays selected
    }
  }
  std::vector<std::wstring> items;

 private:
  int& index_;
};

class FakeDropDown : public DropDownList {
 public:
  ItemList& Items() override { return items_; }
  int ItemIndex() const override { return index_; }
  void SetItemIndex(int index) override {
    if (index == index_) {
      return;
    }
    index_ = index;
    if (index >= 0 && index < Count()) {
      text_ = items_.items[static_cast<std::size_t>(index)];
    }
    SelectAll();
  }
  std::wstring Text() const override { return text_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }

  bool Enabled() const { return enabled_; }
  const std::vector<std::wstring>& Entries() const { return items_.items; }
  int Count() const { return static_cast<int>(items_.items.size()); }

  // --- the user's actions ---
  void Open() {
    Require();
    if (onDropDown) {
      onDropDown();
    }
  }
  void Choose(int index) {
    Require();
    index_ = index;
    text_ = items_.items.at(static_cast<std::size_t>(index));
    SelectAll();
    Fire();
  }
  void SelectAll() {
    selStart_ = 0;
    selEnd_ = text_.size();
  }
  void CaretAtEnd() { selStart_ = selEnd_ = text_.size(); }
  void Type(wchar_t c) {
    Require();
    const std::wstring typed = text_.substr(0, selStart_) + c + text_.substr(selEnd_);
    for (int i = 0; i < Count(); ++i) {
      const std::wstring& item = items_.items[static_cast<std::size_t>(i)];
      if (BeginsWithIgnoringCase(item, typed)) {
        const bool changed = i != index_;
        index_ = i;
        text_ = typed + item.substr(typed.size());
        selStart_ = typed.size();
        selEnd_ = text_.size();
        if (changed) {
          Fire();
        }
        return;
      }
    }
    text_ = typed;
    selStart_ = selEnd_ = selStart_ + 1;
    index_ = -1;
    Fire();
  }
  void Backspace() {
    Require();
    if (selStart_ != selEnd_) {
      text_.erase(selStart_, selEnd_ - selStart_);
    } else if (selStart_ > 0) {
      text_.erase(--selStart_, 1);
    }
    selEnd_ = selStart_;
    index_ = -1;
    Fire();
  }

  std::function<void()> onChange;
  std::function<void()> onDropDown;
  int changeCount = 0;

 private:
  static bool BeginsWithIgnoringCase(const std::wstring& item, const std::wstring& prefix) {
    if (prefix.size() > item.size()) {
      return false;
    }
    return std::equal(prefix.begin(), prefix.end(), item.begin(), [](wchar_t a, wchar_t b) {
      return std::towlower(static_cast<wint_t>(a)) == std::towlower(static_cast<wint_t>(b));
    });
  }
  void Require() const {
    if (!enabled_) {
      throw std::logic_error("a disabled list can be neither opened nor typed into");
    }
  }
  void Fire() {
    ++changeCount;
    if (onChange) {
      onChange();
    }
  }

  int index_ = -1;
  FakeItems items_{index_};
  std::wstring text_;
  std::size_t selStart_ = 0;
  std::size_t selEnd_ = 0;
  bool enabled_ = true;
};

class FakeButton : public Button {
 public:
  void SetEnabled(bool isEnabled) override { enabled = isEnabled; }
  bool enabled = true;
};

class FakeProgress : public ProgressBar {
 public:
  void SetPosition(int value) override {
    position = value;
    history.push_back(value);
  }
  int position = 0;
  std::vector<int> history;
};

class FakePanel : public Panel {
 public:
  void SetLook(const PanelLook& value) override {
    look = value;
    ++looks;
  }
  PanelLook look;
  int looks = 0;
};

// One scripted tool run: the lines it prints (before trimming) and its exit code.
struct ToolRun {
  std::vector<std::wstring> output;
  int exitCode = 0;
};

class FakeMachine : public SystemServices {
 public:
  std::wstring GetWorkFolder() override {
    ++workFolderCalls;
    if (workFolderError) {
      throw AppError(L"Impossible de cr\u00e9er le r\u00e9pertoire");
    }
    return workFolder;
  }
  std::wstring ToolFolder(const std::wstring& folder) override {
    const auto found = toolFolders.find(folder);
    return found == toolFolders.end() ? folder : found->second;
  }
  bool ExtractResourceToFile(std::wstring_view name, const std::wstring& target) override {
    extractions.push_back(std::wstring(name) + L" -> " + target);
    if (failingPayloads.count(std::wstring(name)) != 0) {
      files[target] = L"partial " + std::wstring(name);
      return false;
    }
    files[target] = std::wstring(name);
    return true;
  }
  void RemoveFile(const std::wstring& path) override {
    removedFiles.push_back(path);
    files.erase(path);
  }
  void RemoveWorkFolder(const std::wstring& folder) override {
    removedFolders.push_back(folder);
    if (removalError) {
      throw std::runtime_error("removal failed");
    }
  }
  void ListSerialPorts(ItemList& ports) override {
    ports.Clear();
    for (std::size_t i = 0; i < registryPorts.size(); ++i) {
      if (badValueAt && *badValueAt == i) {
        throw AppError(L"Type de donn\u00e9es incorrect pour '\\Device\\Bad'");
      }
      ports.Add(registryPorts[i]);
    }
  }
  int RunHidden(const std::wstring& commandLine, const LineHandler& onLine) override {
    commandLines.push_back(commandLine);
    if (!toolPresent) {
      return -1;
    }
    const ToolRun run = runs.empty() ? ToolRun{} : runs.front();
    if (!runs.empty()) {
      runs.erase(runs.begin());
    }
    for (const std::wstring& line : run.output) {
      onLine(TrimControls(line));
    }
    return run.exitCode;
  }
  void OpenAddress(const std::wstring& address) override { openedAddresses.push_back(address); }

  std::wstring workFolder = L"C:\\Temp\\VantorTrackerFlash\\";
  bool workFolderError = false;
  int workFolderCalls = 0;
  std::map<std::wstring, std::wstring> toolFolders;  // a folder -> how the tool's lines name it
  std::set<std::wstring> failingPayloads;
  std::vector<std::wstring> extractions;
  std::map<std::wstring, std::wstring> files;  // target path -> payload written there
  std::vector<std::wstring> removedFiles;
  std::vector<std::wstring> removedFolders;
  bool removalError = false;
  std::vector<std::wstring> registryPorts;
  std::optional<std::size_t> badValueAt;
  bool toolPresent = true;
  std::vector<ToolRun> runs;
  std::vector<std::wstring> commandLines;
  std::vector<std::wstring> openedAddresses;
};
