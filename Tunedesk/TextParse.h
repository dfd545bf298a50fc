// Numbers and device-list entries as the programs read them from the user:
// one rule each, shared by the panel, the register console and tunedesk-cli.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace parse {

// Decimal digits only (no sign, no blanks, no "0x"), at most `maxDigits` of
// them and a value of at most `max`.
bool Decimal(std::string_view text, unsigned long long max, unsigned long long& value, std::size_t maxDigits = 20);
// The same for a 32-bit value (at most 10 digits).
bool Decimal(std::string_view text, unsigned int& value);

enum class Hex { Ok, NotHex, TooLong, Empty };

// A register value as the console takes it: lower-case hex digits after an
// optional "0x" (the callers lower the text), at most 8 of them. Characters
// are checked before the length. An empty text and a bare "0x" read as 0.
Hex Hex32(std::u16string_view text, unsigned int& value);

// A hex number as a script gives it: an optional "0x" or "0X", then 1 to
// `maxDigits` hex digits in either case. Unlike the console's fields, a text
// without digits is refused (Empty): in a script it is a variable left empty.
Hex StrictHex(std::string_view text, std::size_t maxDigits, unsigned int& value);

// The bridge number N of a device-list entry "N# description", -1 when the
// entry does not start with one to three digits and '#'.
long DeviceEntryNumber(std::u16string_view entry);

}  // namespace parse
