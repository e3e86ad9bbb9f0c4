// Wide strings of the system: UTF-16, as on Windows, on every platform.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

using WString = std::u16string;

// UTF-8 (or plain ASCII) to UTF-16; malformed sequences become U+FFFD.
WString Widen(std::string_view utf8);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Narrow(std::u16string_view wide);
// Replaces %1..%9 by the arguments (missing ones by nothing), as the
// message texts of the system expect.
WString FormatText(std::u16string_view format, std::initializer_list<WString> args);
