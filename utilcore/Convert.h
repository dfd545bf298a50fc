// Conversions between text and numbers, and between narrow text (the
// locale's multibyte encoding, UTF-8 on current systems) and 16-bit text.
//
// Results typed int are 1 for success and 0 for failure unless noted.
// Output containers are appended to, never cleared; output word arrays are
// merged with bitwise OR, so the caller zeroes them first. A word bit array
// holds bit n in word n / 32 at position n % 32.
#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "UtilcoreApi.h"

// Hex text (most significant digit first, no prefix) into `words`, keeping only
// the low `bits` bits. `*wordCount` (when given) receives the number of words
// the bit count spans, before any character is read. Never touches more than
// that many words. A non-hex character ends the call with 0; digits to its
// right have already been merged.
UTILCORE_API int HexStr2Int(const std::u16string& text, int bits, unsigned int* words, int* wordCount);

// Cuts `text` at every `sep`. With `trim`, white space is removed from each
// field, and the rest after each separator is trimmed before the next search
// (so a run of blanks counts as one blank separator). The vector form keeps a
// trailing empty field after a final separator, the list form drops it.
UTILCORE_API void Spilt(const std::u16string& text, const std::u16string& sep, std::vector<std::u16string>& out,
                        bool trim);
UTILCORE_API void Spilt(const std::u16string& text, const std::u16string& sep, std::list<std::u16string>& out,
                        bool trim);

// "key <sep> value" lines into `out` (trimmed; later lines replace earlier
// keys). false at once on a line without separator or with it at position 0;
// otherwise true when `out` is not empty.
UTILCORE_API bool GetKeyValue(const std::list<std::u16string>& lines, std::map<std::u16string, std::u16string>& out,
                              const std::u16string& sep);

// Hex pairs from the left into min(length / 2, maxBytes) bytes; no terminator.
UTILCORE_API void HexStr2HexChar(const std::u16string& hex, int maxBytes, unsigned char* out);
// Appends "%02X" of each byte.
UTILCORE_API void HexChar2HexStr(const unsigned char* bytes, int count, std::u16string& out);
// 1 when the text is longer than 2 and starts with "0x" or "0X".
UTILCORE_API int HasHexPrefix(const std::u16string& text);

// Integer form: the FIRST `bits` characters, most significant first; '1' is 1,
// '0', 'x', 'X' are 0. The value is set to 0 before reading.
UTILCORE_API int BinaryStr2Int(const std::u16string& text, int bits, int& value);
// Word form: the LAST `bits` characters, the rightmost being bit 0, OR-ed into
// `words` ((bits - 1) / 32 + 1 words at most).
UTILCORE_API int BinaryStr2Int(const std::u16string& text, int bits, unsigned int* words);

// Binary text to hex digits, grouped in fours from the right end (the first
// group takes length % 4 characters when that is not 0). The wide form appends
// to `out` and skips groups that are not binary numbers; the narrow form
// refuses text other than '0'/'1' and writes NUL-terminated digits, needing
// (length + 3) / 4 + 1 bytes.
UTILCORE_API int BinaryStr2HexStr(const std::u16string& binary, std::u16string& out);
UTILCORE_API int BinaryStr2HexStr(const char* binary, char* out);

// Decimal number with an optional unit suffix ("k"/"K", "M" for integers;
// "n", "u"/"U", "m", "k"/"K", "M" for doubles). An unknown suffix leaves the
// plain number. Always 1.
UTILCORE_API int GetIntegerValue(const std::u16string& text, int& value);
UTILCORE_API int GetDoubleValue(const std::u16string& text, double& value);

// "2.500" -> "2.5", "3.000" -> "3".
UTILCORE_API std::u16string TrimEndZero(const std::u16string& text);
// Every character is '0'..'9' (empty text: true).
UTILCORE_API bool IsOctDigits(const std::u16string& text);
UTILCORE_API bool IsOctDigits(const char* text);
// Any character in U+4E00..U+9FFF.
UTILCORE_API bool HasChineseChar(const std::u16string& text);

// Narrow text to 16-bit text. Bytes that are not valid in the narrow encoding
// become U+FFFD; a null pointer gives an empty string.
UTILCORE_API std::u16string Ansi2CString(const char* text);
UTILCORE_API std::u16string Ansi2CString(std::string_view text);

// 16-bit text to NUL-terminated narrow text. The unsized form trusts the
// caller's buffer to be large enough and is kept for old callers only; use
// the sized form, which never writes past `outSize` bytes. Both give 0 (with
// an empty string written when there is room for it) when the text cannot be
// converted or, for the sized form, does not fit with its terminator.
UTILCORE_API int CString2Ansi(const std::u16string& text, char* out);
UTILCORE_API int CString2Ansi(const std::u16string& text, char* out, size_t outSize);
// Into a std::string (replaced, not appended to).
UTILCORE_API int CString2Ansi(const std::u16string& text, std::string& out);

// UTF-16 <-> UTF-8 whatever the locale says: file contents, paths and the
// programs' standard streams. Invalid sequences become U+FFFD.
UTILCORE_API std::string Utf16ToUtf8(std::u16string_view text);
UTILCORE_API std::u16string Utf8ToUtf16(std::string_view text);
