// The shell that the donation link loads: kept until the process is gone.
#include "flashing/win32/shell_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "win32/unique_handle.h"

namespace {

// Freed with the program's statics, the shell could be gone while threads it started still
// run in its code: the program's end would crash.
TEST(Shell, StaysLoadedAfterTheProgramsStaticsAreGone) {
  std::wstring command = std::wstring(L"\"") + VTF_SHELL_EXIT_HOST + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info));
  const UniqueProcess host(info);
  ASSERT_EQ(::WaitForSingleObject(host.process.get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  ASSERT_TRUE(::GetExitCodeProcess(host.process.get(), &code));
  EXPECT_EQ(code, 0u) << "3: freed at the end; 4: not loaded";
}

}  // namespace
