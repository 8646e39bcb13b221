#include "app/error_box.h"

#include <cwctype>

std::wstring ErrorBoxText(std::wstring_view message) {
  std::wstring text(message);
  if (!text.empty() && text.back() > L'.') {
    text += L'.';
  }
  return text;
}

std::wstring ErrorBoxCaption(std::wstring_view programPath) {
  const auto slash = programPath.find_last_of(L"\\/:");
  std::wstring_view name =
      slash == std::wstring_view::npos ? programPath : programPath.substr(slash + 1);
  name = name.substr(0, name.find(L'.'));
  std::wstring caption(name);
  for (std::size_t i = 1; i < caption.size(); ++i) {
    caption[i] = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(caption[i])));
  }
  return caption;
}
