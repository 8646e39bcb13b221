#include "app/win32/error_box_win32.h"

#include <exception>

#include "app/error_box.h"
#include "app/win32/window_helpers_win32.h"
#include "core/app_error.h"

void ShowErrorBox(HWND window, const std::wstring& message) {
  const std::wstring text = ErrorBoxText(message);
  const std::wstring caption = ErrorBoxCaption(ModulePath());
  HWND owner = window != nullptr ? GetAncestor(window, GA_ROOT) : nullptr;
  MessageBoxW(owner, text.c_str(), caption.c_str(), MB_ICONERROR | MB_OK);
}

void ShowCaughtError(HWND window) noexcept {
  try {
    try {
      throw;
    } catch (const AppError& error) {
      ShowErrorBox(window, error.Message());
    } catch (const std::exception& error) {
      ShowErrorBox(window, WidenMessage(error.what()));
    } catch (...) {
      ShowErrorBox(window, L"Erreur inattendue");
    }
  } catch (...) {
    // Not even the box could be shown (no memory left): there is no one else to tell.
  }
}

std::wstring WindowNotCreatedMessage(DWORD lastError) {
  std::wstring message = L"Impossible de cr\u00e9er la fen\u00eatre";
  wchar_t* reason = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, lastError, 0, reinterpret_cast<wchar_t*>(&reason), 0, nullptr);
  if (lastError != ERROR_SUCCESS && length > 0) {
    std::wstring text(reason, length);
    text.erase(text.find_last_not_of(L" \r\n") + 1);
    message += L" : " + text;
  }
  LocalFree(reason);
  return message;
}
