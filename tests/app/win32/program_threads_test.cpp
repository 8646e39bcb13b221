// The built program keeps to its one thread: started as a debuggee, so that every thread it
// ever starts is reported, however short its life, from its start to its end.
#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "program_process.h"
#include "win32/unique_handle.h"

#ifndef VTF_PROGRAM_PATH
#error "VTF_PROGRAM_PATH names the built program"
#endif

namespace {

constexpr double kLifeLimitMs = 60'000;

// The program's window once it is on screen; null before.
HWND FindShownForm(DWORD processId) {
  HWND form = FindProgramWindow(processId);
  return form != nullptr && IsWindowVisible(form) ? form : nullptr;
}

// Threads of the process alive now, as the system lists them.
int LiveThreads(DWORD processId) {
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry)) {
    count += entry.th32OwnerProcessID == processId ? 1 : 0;
  }
  return count;
}

struct Life {
  int threadsStarted = 0;  // besides the first one
  int liveAtIdle = 0;
  DWORD exitCode = 1;
  bool shown = false;
  bool ended = false;
};

// Starts the program, waits until its window is shown and painted, keeps it open a moment,
// closes it and follows it to its end.
Life FollowOneLife() {
  Life life;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  std::wstring commandLine = std::wstring(L"\"") + VTF_PROGRAM_PATH + L"\"";
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                      nullptr, nullptr, &startup, &started)) {
    ADD_FAILURE() << "cannot start the program: " << GetLastError();
    return life;
  }
  const UniqueProcess process(started);
  const ULONGLONG start = GetTickCount64();
  ULONGLONG idleSince = 0;
  bool closed = false;
  bool firstBreakpoint = true;
  bool stopped = false;
  while (!life.ended) {
    if (!stopped && static_cast<double>(GetTickCount64() - start) > kLifeLimitMs) {
      TerminateProcess(process.process.get(), 1);
      ADD_FAILURE() << "the program did not end within a minute";
      stopped = true;
    }
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, 50)) {
      // The program runs on: look at its window between its events.
      HWND form = closed ? nullptr : FindShownForm(started.dwProcessId);
      if (form != nullptr && GetUpdateRect(form, nullptr, FALSE) == FALSE) {
        life.shown = true;
        if (idleSince == 0) {
          idleSince = GetTickCount64();
        } else if (GetTickCount64() - idleSince > 1000) {
          life.liveAtIdle = LiveThreads(started.dwProcessId);
          PostMessageW(form, WM_CLOSE, 0, 0);
          closed = true;
        }
      }
      continue;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        CloseHandle(event.u.LoadDll.hFile);
        break;
      case CREATE_THREAD_DEBUG_EVENT:
        ++life.threadsStarted;
        break;
      case EXCEPTION_DEBUG_EVENT:
        // The loader's breakpoint is the debugger's to take; anything else is the program's.
        if (firstBreakpoint &&
            event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT) {
          firstBreakpoint = false;
        } else {
          status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        life.exitCode = event.u.ExitProcess.dwExitCode;
        life.ended = true;
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  return life;
}

TEST(ProgramThreads, TheProgramRunsOnTheOneThreadItStartsWithFromStartToEnd) {
  const Life life = FollowOneLife();
  EXPECT_TRUE(life.shown);
  EXPECT_EQ(life.threadsStarted, 0);
  EXPECT_EQ(life.liveAtIdle, 1);
  EXPECT_EQ(life.exitCode, 0u);
}

}  // namespace
