// The texts of the message loop's standard error box.
#pragma once

#include <string>
#include <string_view>

// The error's message, with a full stop added when its last character sorts after one.
std::wstring ErrorBoxText(std::wstring_view message);

// The program's title from its file path: the file name cut before its first full stop,
// every character after the first in lower case ("Vantortrackerflasher").
std::wstring ErrorBoxCaption(std::wstring_view programPath);
