// This file contains the conversions between UTF-16, the text of the
// wide-character exports and of Windows file names, and UTF-8, the text of
// POSIX file names and of the command-line tool.
#pragma once

#include <string>
#include <string_view>

#include "support/host_contract.h"

// UTF-16 to UTF-8. False when the text holds a lone surrogate, which no
// UTF-8 text can spell; *out is then incomplete.
bool Utf8FromUtf16(std::u16string_view text, std::string* out);

// UTF-8 to UTF-16. False when the text is not well-formed UTF-8 (a stray or
// missing continuation byte, an overlong form, a surrogate, a value above
// U+10FFFF); *out is then incomplete.
bool Utf16FromUtf8(std::string_view text, std::u16string* out);

// The length of a NUL-terminated UTF-16 text, in units.
std::size_t WideLength(const WideChar* text);
