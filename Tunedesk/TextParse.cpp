#include "TextParse.h"

#include <charconv>

#include "Convert.h"

namespace parse {

bool Decimal(std::string_view text, unsigned long long max, unsigned long long& value, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return false;
    // from_chars takes no '+' or blank for an unsigned type; a '-' is refused too.
    unsigned long long n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n, 10);
    if (ec != std::errc() || end != text.data() + text.size() || n > max) return false;
    value = n;
    return true;
}

bool Decimal(std::string_view text, unsigned int& value) {
    unsigned long long n = 0;
    if (!Decimal(text, 0xFFFFFFFFull, n, 10)) return false;
    value = static_cast<unsigned int>(n);
    return true;
}

Hex Hex32(std::u16string_view text, unsigned int& value) {
    const std::u16string_view digits = text.size() >= 2 && text[0] == u'0' && text[1] == u'x' ? text.substr(2) : text;
    for (const char16_t c : digits)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return Hex::NotHex;
    if (digits.size() > 8) return Hex::TooLong;
    unsigned int word = 0;
    // An empty text leaves the word at 0.
    HexStr2Int(std::u16string(digits), 32, &word, nullptr);
    value = word;
    return Hex::Ok;
}

Hex StrictHex(std::string_view text, std::size_t maxDigits, unsigned int& value) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.empty()) return Hex::Empty;
    unsigned long long n = 0;
    for (const char c : text) {
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) return Hex::NotHex;
        n = (n << 4 | static_cast<unsigned>(d)) & 0xFFFFFFFFFull;
    }
    if (text.size() > maxDigits) return Hex::TooLong;
    value = static_cast<unsigned int>(n);
    return Hex::Ok;
}

long DeviceEntryNumber(std::u16string_view entry) {
    const std::size_t hash = entry.find(u'#');
    if (hash == std::u16string_view::npos || hash == 0 || hash > 3) return -1;
    std::string digits;
    for (const char16_t c : entry.substr(0, hash)) {
        if (c < u'0' || c > u'9') return -1;
        digits += static_cast<char>(c);
    }
    unsigned long long n = 0;
    return Decimal(digits, 999, n) ? static_cast<long>(n) : -1;
}

}  // namespace parse
