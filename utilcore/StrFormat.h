// printf-style formatting into 16-bit text: the one formatter every part of
// Tunedesk uses for log lines, captions and file names.
//
// Conversions follow printf (flags, width, precision, `*`, length modifiers
// hh h l ll j z t L, and I32/I64), with these differences for text:
//   %s and %ls take `const char16_t*`
//   %hs and %S take `const char*` (narrow text in the locale's encoding)
//   %c and %lc take a char16_t passed as int; %hc and %C a char passed as int
//   %% writes one '%'
// Widths count 16-bit code units; the precision of %s counts code units, that
// of %hs bytes of the narrow text (as printf).
// A null text pointer prints "(null)". %n is not supported: its pointer is
// consumed and nothing is written through it. An unknown or unfinished
// conversion is copied to the output as it stands.
#pragma once

#include <cstdarg>
#include <string>

#include "UtilcoreApi.h"

UTILCORE_API std::u16string StrFormat(const char16_t* format, ...);
UTILCORE_API std::u16string StrFormatV(const char16_t* format, va_list args);

// Formats with a fixed list of int arguments instead of a va_list. Used where
// the format comes from a caller but the arguments are ours (date/time texts):
// a conversion that wants something other than an integer gets 0 or a null
// pointer (text prints "(null)"), and conversions past the last argument get
// 0, so a bad format can never read past the arguments.
UTILCORE_API std::u16string StrFormatInts(const char16_t* format, const int* values, int count);
