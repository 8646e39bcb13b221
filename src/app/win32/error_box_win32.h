// The standard error box, and the catching at each place where the window's system calls
// into the program's own code: nothing may unwind through the system's frames.
#pragma once

#include <windows.h>

#include <string>

// The box with the error's message, owned by the top-level window of `window` (none when null).
void ShowErrorBox(HWND window, const std::wstring& message);

// The box for the exception being handled; call it from a catch block only. An exception that
// carries no message gets a text of its own.
void ShowCaughtError(HWND window) noexcept;

// Runs `body`, a window or subclass procedure's work; an exception that escapes it goes to the
// error box, and `fallback` is returned instead.
template <typename Body>
LRESULT CatchAtBoundary(HWND window, LRESULT fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    ShowCaughtError(window);
    return fallback;
  }
}

// What a window that cannot be made shows: the reason the system gives, when it gives one.
std::wstring WindowNotCreatedMessage(DWORD lastError);
