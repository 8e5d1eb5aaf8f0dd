// This file contains the conversions between UTF-16, the text of the
// wide-character exports and of Windows file names, and UTF-8, the text of
// POSIX file names and of the command-line tool.
#pragma once

#include <string>
#include <string_view>

#include "support/host_contract.h"

// UTF-16 to UTF-8. A lone surrogate, which no UTF-8 text can spell (Windows
// file names may hold one), is written as its own three bytes when
// `lone_surrogates` is set (the form called WTF-8, which carries any Windows
// name whole); otherwise the result is false and *out incomplete.
bool Utf8FromUtf16(std::u16string_view text, std::string* out, bool lone_surrogates = false);

// UTF-8 to UTF-16. False when the text is not well-formed UTF-8 (a stray or
// missing continuation byte, an overlong form, a surrogate, a value above
// U+10FFFF); *out is then incomplete. With `lone_surrogates` set, a
// surrogate's three bytes are taken back as that one UTF-16 unit.
bool Utf16FromUtf8(std::string_view text, std::u16string* out, bool lone_surrogates = false);

// The length of a NUL-terminated UTF-16 text, in units.
std::size_t WideLength(const WideChar* text);
