// The built program started from a folder that also holds DLLs named like the system's (a
// Downloads folder): none of them is loaded while the user walks through the window, and the
// program works. Wine loads its own DLLs first whatever lies beside the program; the program's
// DLL overrides "native,builtin" for the planted names (in the prefix's registry: a started
// program takes Wine's variables from the Linux environment, not from ours) make it search like
// Windows.
#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/win32/form_layout_win32.h"
#include "program_process.h"
#include "win32/unique_handle.h"

#ifndef VTF_PROGRAM_PATH
#error "VTF_PROGRAM_PATH names the built program"
#endif
#ifndef VTF_PLANTED_DLL_PATH
#error "VTF_PLANTED_DLL_PATH names the DLL that marks its loading"
#endif

namespace {

// Each a DLL that is not one of Windows' known DLLs (those always come from the system folder),
// with what would load it into the program.
constexpr const wchar_t* kPlantedNames[] = {
    L"comctl32",       // the controls, were the manifest's version not found
    L"uxtheme",        // comctl32's visual styles
    L"dwmapi",         // the theme library and the window frame
    L"windowscodecs",  // WIC, which decodes the logo
    L"propsys",        // WIC and the shell
    L"cryptbase",      // advapi32's random numbers
    L"bcrypt",         // random numbers, as GCC's stack guard would fetch its start value
    L"crypt32",        // the cryptographic provider that the same would load
    L"rsaenh",         // that provider
};
// Not planted: what Wine loads where Windows does not. version, ucrtbase and zlib1 are imports
// of Wine's own system DLLs (its user32 imports version, its msvcrt ucrtbase), loaded before
// the program's first instruction.
// msimg32 is delay-loaded by Wine's theme library along the DLL path that the process started
// with, which SetDefaultDllDirectories does not change under Wine 8; the program itself no
// longer names it (see the program file's import test).

namespace fs = std::filesystem;

// The copy's own name, so that the overrides reach no other start of the program.
constexpr const wchar_t* kCopyName = L"VantorTrackerFlasher.Planted.exe";
const std::wstring kCopyDefaults = std::wstring(L"Software\\Wine\\AppDefaults\\") + kCopyName;
// Where Wine's shell finds the browsers it tries for an address, first to last.
constexpr const wchar_t* kWineBrowserKey = L"Software\\Wine\\WineBrowser";

// A value of HKEY_CURRENT_USER set for the scope, the old one (or none) put back at its end.
class ScopedUserValue {
 public:
  ScopedUserValue(const std::wstring& key, const wchar_t* name, const std::wstring& value)
      : key_(key), name_(name) {
    DWORD size = sizeof(saved_);
    had_ = RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), name_, RRF_RT_REG_SZ, nullptr, saved_,
                        &size) == ERROR_SUCCESS;
    set_ =
        RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_, REG_SZ, value.c_str(),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  ~ScopedUserValue() {
    if (had_) {
      RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_, REG_SZ, saved_,
                      static_cast<DWORD>((wcslen(saved_) + 1) * sizeof(wchar_t)));
    } else {
      RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_);
    }
  }
  ScopedUserValue(const ScopedUserValue&) = delete;
  ScopedUserValue& operator=(const ScopedUserValue&) = delete;

  bool IsSet() const { return set_; }

 private:
  std::wstring key_;
  const wchar_t* name_;
  wchar_t saved_[512] = {};
  bool had_ = false;
  bool set_ = false;
};

// Waits for a state of the program's window that a posted message leads to.
bool WaitFor(const std::function<bool()>& reached) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!reached()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A click posted to a window of the program, at a point of its client area.
void PostClick(HWND hwnd, POINT at) {
  const LPARAM where = MAKELPARAM(at.x, at.y);
  PostMessageW(hwnd, WM_MOUSEMOVE, 0, where);
  PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageW(hwnd, WM_LBUTTONUP, 0, where);
}

// A click on a list's button, at the right end of the closed list.
void PostClickOnListButton(HWND combo) {
  RECT client{};
  GetClientRect(combo, &client);
  PostClick(combo, {client.right - GetSystemMetrics(SM_CXVSCROLL) / 2, client.bottom / 2});
}

// The opened list of a drop-down list of the program (a window of the program's thread).
HWND OpenedList(HWND combo) {
  struct Search {
    HWND found;
  } search{nullptr};
  EnumThreadWindows(
      GetWindowThreadProcessId(combo, nullptr),
      [](HWND hwnd, LPARAM data) -> BOOL {
        wchar_t windowClass[16] = {};
        GetClassNameW(hwnd, windowClass, 16);
        if (std::wstring_view(windowClass) == L"ComboLBox" && IsWindowVisible(hwnd)) {
          reinterpret_cast<Search*>(data)->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool IsDropped(HWND combo) {
  return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != FALSE;
}

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0)) + 1,
                    L'\0');
  // WM_GETTEXT reaches another process's controls; GetWindowText does not.
  SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(text.find(L'\0'));
  return text;
}

// The paths of the modules loaded in a process.
std::vector<fs::path> LoadedModules(HANDLE process) {
  std::vector<HMODULE> modules(512);
  DWORD needed = 0;
  K32EnumProcessModules(process, modules.data(),
                        static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed);
  modules.resize(std::min<std::size_t>(needed / sizeof(HMODULE), modules.size()));
  std::vector<fs::path> paths;
  for (HMODULE module : modules) {
    wchar_t path[MAX_PATH] = {};
    if (K32GetModuleFileNameExW(process, module, path, MAX_PATH) > 0) {
      paths.emplace_back(path);
    }
  }
  return paths;
}

bool HasModule(HANDLE process, std::wstring_view fileName) {
  for (const fs::path& path : LoadedModules(process)) {
    if (_wcsicmp(path.filename().c_str(), std::wstring(fileName).c_str()) == 0) {
      return true;
    }
  }
  return false;
}

class PlantedDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    root_ = fs::path(base) / (L"vtf-planted-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(root_);
    fs::create_directories(folder_());
    fs::create_directories(temp_());
    fs::copy_file(VTF_PROGRAM_PATH, folder_() / kCopyName);
    for (const wchar_t* name : kPlantedNames) {
      fs::copy_file(VTF_PLANTED_DLL_PATH, folder_() / (std::wstring(name) + L".dll"));
    }
  }
  void TearDown() override {
    if (process_.process) {
      TerminateProcess(process_.process.get(), 1);
      WaitForSingleObject(process_.process.get(), 10000);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kCopyDefaults.c_str());
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  fs::path folder_() const { return root_ / L"Downloads"; }
  fs::path temp_() const { return root_ / L"Temp"; }

  // Starts the program from the folder, with that folder as its current folder too (as when it
  // is opened from the file manager).
  void Start() {
    static constexpr wchar_t kNativeFirst[] = L"native,builtin";
    for (const wchar_t* name : kPlantedNames) {
      ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, (kCopyDefaults + L"\\DllOverrides").c_str(),
                                name, REG_SZ, kNativeFirst, sizeof(kNativeFirst)),
                ERROR_SUCCESS);
    }
    // No browser for the donation link: Wine's shell hands the address to the first of these
    // Linux programs that it finds, and "true" opens nothing.
    browsers_ = std::make_unique<ScopedUserValue>(kWineBrowserKey, L"Browsers", L"true");
    ASSERT_TRUE(browsers_->IsSet());
    const ScopedEnvironmentVariable temp(L"TEMP", temp_().wstring());

    // An opened list selects the item under the pointer: keep the real one out of the way.
    SetCursorPos(GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1,
                 GetSystemMetrics(SM_CYVIRTUALSCREEN) - 1);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    std::wstring commandLine = L"\"" + (folder_() / kCopyName).wstring() + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder_().c_str(), &startup, &started))
        << GetLastError();
    process_ = UniqueProcess(started);
    ASSERT_EQ(WaitForInputIdle(process_.process.get(), 60000), 0u);
    window_ = FindProgramWindow(started.dwProcessId);
    ASSERT_NE(window_, nullptr);
  }

  HWND Control(FormControl control) const { return GetDlgItem(window_, ControlIdOf(control)); }

  // Model, port list, donation link, close: what the user does before a stick is plugged in.
  void WalkThroughTheWindow() {
    ASSERT_NO_FATAL_FAILURE(Start());
    HWND models = Control(FormControl::ComboDevice);
    PostClickOnListButton(models);
    ASSERT_TRUE(WaitFor([&] { return IsDropped(models) && OpenedList(models) != nullptr; }));
    const auto itemHeight = static_cast<int>(SendMessageW(models, CB_GETITEMHEIGHT, 0, 0));
    HWND modelList = OpenedList(models);
    RECT list{};
    GetClientRect(modelList, &list);
    PostClick(modelList, {list.right / 2, 2 * itemHeight + itemHeight / 2});  // M5Stick S3
    ASSERT_TRUE(WaitFor([&] {
      return WindowText(Control(FormControl::MemoLog)).find(L"Files prepared for flashing.") !=
             std::wstring::npos;
    })) << WindowText(Control(FormControl::MemoLog));

    HWND ports = Control(FormControl::ComboBoxPort);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(ports) != FALSE; }));
    PostClickOnListButton(ports);
    ASSERT_TRUE(WaitFor([&] { return IsDropped(ports); }));
    EXPECT_GE(SendMessageW(ports, CB_GETCOUNT, 0, 0), 1);  // "Select COM port" at least
    PostClickOnListButton(ports);
    ASSERT_TRUE(WaitFor([&] { return !IsDropped(ports); }));

    // The click loads the shell, which opens the address.
    HWND panel = Control(FormControl::PanelDonate);
    RECT client{};
    GetClientRect(panel, &client);
    PostClick(panel, {client.right / 2, client.bottom / 2});
    ASSERT_TRUE(WaitFor([&] { return HasModule(process_.process.get(), L"shell32.dll"); }));

    modules_ = LoadedModules(process_.process.get());
    PostMessageW(window_, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(process_.process.get(), 60000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process_.process.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_FALSE(fs::exists(temp_() / L"VantorTrackerFlash"));
  }

  fs::path root_;
  std::unique_ptr<ScopedUserValue> browsers_;
  UniqueProcess process_;
  HWND window_ = nullptr;
  std::vector<fs::path> modules_;
};

TEST_F(PlantedDllTest, NoneIsLoadedWhileTheUserWalksThroughTheWindow) {
  WalkThroughTheWindow();
  if (modules_.empty() && process_.process) {
    modules_ = LoadedModules(process_.process.get());  // a walk cut short
  }
  // Whether or not the walk got to its end: the markers say what was loaded.
  for (const wchar_t* name : kPlantedNames) {
    const fs::path marker = folder_() / (std::wstring(name) + L".dll.loaded");
    EXPECT_FALSE(fs::exists(marker)) << marker.filename().string();
  }
  for (const fs::path& module : modules_) {
    std::error_code ignored;
    EXPECT_TRUE(module.filename() == kCopyName ||
                !fs::equivalent(module.parent_path(), folder_(), ignored))
        << module.string();
  }
}

}  // namespace
