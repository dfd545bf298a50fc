#include "Convert.h"

#include <bit>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

// ---------------------------------------------------------------------------
// Narrow <-> 16-bit text

namespace {

const char* Utf16Name() { return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE"; }

// The narrow encoding is the one the user's environment selects, whether or
// not the program called setlocale(). The plain C locale only knows ASCII;
// every current system is UTF-8 underneath, so that is what "C" means here.
std::string DetectNarrowCodeset() {
    std::string name;
    if (locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0))) {
        if (const char* cs = nl_langinfo_l(CODESET, loc)) name = cs;
        freelocale(loc);
    }
    if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII") name = "UTF-8";
    return name;
}

const std::string& NarrowCodeset() {
    static const std::string name = DetectNarrowCodeset();
    return name;
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Converts all of `in`; `out` receives the result. `onBad` decides what to do
// with an input sequence the encoding rejects: return false to give up, or
// append a replacement, skip `skip` input bytes and return true.
template <typename OnBad>
bool Convert(const Iconv& cd, const char* in, size_t inLen, std::string& out, size_t unitSize, OnBad onBad) {
    out.clear();
    if (!cd.ok()) return false;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    char buffer[1024];
    auto* src = const_cast<char*>(in);
    size_t left = inLen;
    while (left > 0) {
        char* dst = buffer;
        size_t room = sizeof buffer;
        const size_t rc = iconv(cd.get(), &src, &left, &dst, &room);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (rc != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ, or EINVAL for a sequence cut off at the end of the input.
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        size_t skip = unitSize;
        if (!onBad(out, skip)) return false;
        if (skip > left) skip = left;
        src += skip;
        left -= skip;
    }
    // Flush any shift state.
    char* dst = buffer;
    size_t room = sizeof buffer;
    iconv(cd.get(), nullptr, nullptr, &dst, &room);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    return true;
}

}  // namespace

std::u16string Ansi2CString(std::string_view text) {
    std::u16string result;
    if (text.empty()) return result;
    try {
        Iconv cd(Utf16Name(), NarrowCodeset().c_str());
        std::string bytes;
        const bool ok = Convert(cd, text.data(), text.size(), bytes, 1, [](std::string& out, size_t& skip) {
            const char16_t replacement = 0xFFFD;
            out.append(reinterpret_cast<const char*>(&replacement), sizeof replacement);
            skip = 1;
            return true;
        });
        if (!ok) {
            // No converter at all: keep ASCII, mark the rest.
            for (unsigned char c : text) result.push_back(c < 0x80 ? c : 0xFFFD);
            return result;
        }
        result.resize(bytes.size() / 2);
        std::memcpy(result.data(), bytes.data(), result.size() * 2);
    } catch (...) {
        result.clear();
    }
    return result;
}

std::u16string Ansi2CString(const char* text) {
    if (!text) return {};
    return Ansi2CString(std::string_view(text));
}

int CString2Ansi(const std::u16string& text, std::string& out) {
    out.clear();
    if (text.empty()) return 1;
    try {
        Iconv cd(NarrowCodeset().c_str(), Utf16Name());
        const bool ok = Convert(cd, reinterpret_cast<const char*>(text.data()), text.size() * 2, out, 2,
                                [](std::string&, size_t&) { return false; });
        if (!ok) {
            out.clear();
            return 0;
        }
        // A NUL inside the text would silently cut every C string made from it.
        const size_t nul = out.find('\0');
        if (nul != std::string::npos) out.resize(nul);
        return 1;
    } catch (...) {
        out.clear();
        return 0;
    }
}

// UTF-8 whatever the locale says.

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        uint32_t c;
        size_t len;
        if (b < 0x80) {
            c = b;
            len = 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            c = b & 0x1F;
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            c = b & 0x0F;
            len = 3;
        } else if (b >= 0xF0 && b <= 0xF4) {
            c = b & 0x07;
            len = 4;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        bool ok = i + len <= text.size();
        for (size_t k = 1; ok && k < len; ++k) {
            unsigned char t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80)
                ok = false;
            else
                c = (c << 6) | (t & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not text.
        if (ok &&
            ((len == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (len == 4 && (c < 0x10000 || c > 0x10FFFF))))
            ok = false;
        if (!ok) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += len;
    }
    return out;
}

int CString2Ansi(const std::u16string& text, char* out, size_t outSize) {
    if (!out || outSize == 0) return 0;
    std::string narrow;
    if (!CString2Ansi(text, narrow) || narrow.size() + 1 > outSize) {
        out[0] = '\0';
        return 0;
    }
    std::memcpy(out, narrow.c_str(), narrow.size() + 1);
    return 1;
}

int CString2Ansi(const std::u16string& text, char* out) {
    if (!out) return 0;
    std::string narrow;
    if (!CString2Ansi(text, narrow)) {
        out[0] = '\0';
        return 0;
    }
    std::memcpy(out, narrow.c_str(), narrow.size() + 1);
    return 1;
}

// ---------------------------------------------------------------------------
// Text and numbers

namespace {

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }

// Narrows [begin, end) of `text` to its trimmed window.
void TrimWindow(const std::u16string& text, size_t& begin, size_t& end) {
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
}

std::u16string Trimmed(const std::u16string& text, size_t begin, size_t end) {
    TrimWindow(text, begin, end);
    return text.substr(begin, end - begin);
}

// One cutting routine for both container forms. The window [begin, end) is the
// rest still to cut; it shrinks instead of being copied, so long texts stay
// linear. `dropEmptyRest` is the list form's rule for a final separator.
template <typename Container>
void SpiltInto(const std::u16string& text, const std::u16string& sep, Container& out, bool trim, bool dropEmptyRest) {
    size_t begin = 0;
    size_t end = text.size();
    for (;;) {
        // An empty separator matches nowhere: the whole rest is one field.
        const size_t pos = sep.empty() ? std::u16string::npos : text.find(sep, begin);
        if (pos == std::u16string::npos || pos + sep.size() > end) {
            out.push_back(trim ? Trimmed(text, begin, end) : text.substr(begin, end - begin));
            return;
        }
        out.push_back(trim ? Trimmed(text, begin, pos) : text.substr(begin, pos - begin));
        // The whole separator is consumed, so a longer one leaves no stray
        // characters at the start of the next field.
        begin = pos + sep.size();
        if (trim) TrimWindow(text, begin, end);
        if (dropEmptyRest && begin == end) return;
    }
}

// Leading decimal digits as a 64-bit number, saturating like strtoll.
long long LeadingDecimal(const std::u16string& text, size_t digits) {
    unsigned long long v = 0;
    for (size_t i = 0; i < digits; ++i) {
        const unsigned d = text[i] - u'0';
        if (v > (static_cast<unsigned long long>(LLONG_MAX) - d) / 10) return LLONG_MAX;
        v = v * 10 + d;
    }
    return static_cast<long long>(v);
}

int SaturateToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<int>(v);
}

// Decimal points are always '.', whatever locale the program switched to.
double ParseDecimal(const std::string& ascii) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (ascii.empty()) return 0.0;
    if (!cLocale) return std::strtod(ascii.c_str(), nullptr);
    return strtod_l(ascii.c_str(), nullptr, cLocale);
}

}  // namespace

int HexStr2Int(const std::u16string& text, int bits, unsigned int* words, int* wordCount) {
    if (text.empty() || bits <= 0) return 0;
    if (wordCount) *wordCount = (bits - 1) / 32 + 1;
    if (!words) return 0;
    const size_t length = text.size();
    for (size_t k = 0; k < length; ++k) {
        const int digit = HexValue(text[length - 1 - k]);
        if (digit < 0) return 0;
        // Digit k covers bits 4k..4k+3; whatever lies at or above `bits` is cut
        // off, which also keeps the write inside the words the count spans.
        const unsigned long long low = 4ull * k;
        if (low >= static_cast<unsigned long long>(bits)) continue;
        const unsigned long long keep = static_cast<unsigned long long>(bits) - low;
        const unsigned mask = keep >= 4 ? 0xFu : (1u << keep) - 1u;
        words[k / 8] |= (static_cast<unsigned>(digit) & mask) << ((k % 8) * 4);
    }
    return 1;
}

void Spilt(const std::u16string& text, const std::u16string& sep, std::vector<std::u16string>& out, bool trim) {
    SpiltInto(text, sep, out, trim, false);
}

void Spilt(const std::u16string& text, const std::u16string& sep, std::list<std::u16string>& out, bool trim) {
    SpiltInto(text, sep, out, trim, true);
}

bool GetKeyValue(const std::list<std::u16string>& lines, std::map<std::u16string, std::u16string>& out,
                 const std::u16string& sep) {
    for (const std::u16string& line : lines) {
        const size_t pos = sep.empty() ? std::u16string::npos : line.find(sep);
        if (pos == std::u16string::npos || pos == 0) return false;
        out[Trimmed(line, 0, pos)] = Trimmed(line, pos + sep.size(), line.size());
    }
    return !out.empty();
}

void HexStr2HexChar(const std::u16string& hex, int maxBytes, unsigned char* out) {
    if (!out || maxBytes <= 0) return;
    const size_t pairs = hex.size() / 2;
    const size_t count = pairs < static_cast<size_t>(maxBytes) ? pairs : static_cast<size_t>(maxBytes);
    for (size_t i = 0; i < count; ++i) {
        unsigned int word = 0;
        HexStr2Int(hex.substr(2 * i, 2), 8, &word, nullptr);
        out[i] = static_cast<unsigned char>(word & 0xFF);
    }
}

void HexChar2HexStr(const unsigned char* bytes, int count, std::u16string& out) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    if (!bytes || count <= 0) return;
    out.reserve(out.size() + 2 * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0xF]);
    }
}

int HasHexPrefix(const std::u16string& text) {
    return text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X') ? 1 : 0;
}

int BinaryStr2Int(const std::u16string& text, int bits, int& value) {
    if (text.empty() || bits <= 0) return 0;
    // Unsigned, so bits beyond 32 shift out instead of overflowing.
    unsigned int v = 0;
    value = 0;
    for (int i = 0; i < bits; ++i) {
        if (static_cast<size_t>(i) >= text.size()) return 0;
        const char16_t c = text[static_cast<size_t>(i)];
        if (c == u'1') {
            v = (v << 1) | 1u;
        } else if (c == u'0' || c == u'x' || c == u'X') {
            v <<= 1;
        } else {
            return 0;
        }
        value = static_cast<int>(v);
    }
    return 1;
}

int BinaryStr2Int(const std::u16string& text, int bits, unsigned int* words) {
    if (text.empty() || bits <= 0 || text.size() < static_cast<size_t>(bits) || !words) return 0;
    const size_t length = text.size();
    for (int k = 0; k < bits; ++k) {
        const char16_t c = text[length - 1 - static_cast<size_t>(k)];
        if (c == u'1') {
            words[k / 32] |= 1u << (k % 32);
        } else if (c != u'0' && c != u'x' && c != u'X') {
            return 0;
        }
    }
    return 1;
}

namespace {

// The group's leading decimal digits read as a number, looked up among the
// sixteen binary spellings; -1 when it is none of them.
template <typename Char>
int BinaryGroupDigit(const Char* group, size_t length) {
    static const int kBinary[16] = {0, 1, 10, 11, 100, 101, 110, 111, 1000, 1001, 1010, 1011, 1100, 1101, 1110, 1111};
    int number = 0;
    for (size_t i = 0; i < length && group[i] >= '0' && group[i] <= '9'; ++i) number = number * 10 + (group[i] - '0');
    for (int d = 0; d < 16; ++d)
        if (kBinary[d] == number) return d;
    return -1;
}

}  // namespace

int BinaryStr2HexStr(const std::u16string& binary, std::u16string& out) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    if (binary.empty()) return 0;
    size_t pos = 0;
    size_t group = binary.size() % 4 ? binary.size() % 4 : 4;
    while (pos < binary.size()) {
        const int digit = BinaryGroupDigit(binary.data() + pos, group);
        if (digit >= 0) out.push_back(kDigits[digit]);
        pos += group;
        group = 4;
    }
    return 1;
}

int BinaryStr2HexStr(const char* binary, char* out) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (!binary || !out || !*binary) return 0;
    const size_t length = std::strlen(binary);
    for (size_t i = 0; i < length; ++i)
        if (binary[i] != '0' && binary[i] != '1') return 0;
    size_t pos = 0;
    size_t group = length % 4 ? length % 4 : 4;
    char* dst = out;
    while (pos < length) {
        *dst++ = kDigits[BinaryGroupDigit(binary + pos, group)];
        pos += group;
        group = 4;
    }
    *dst = '\0';
    return 1;
}

int GetIntegerValue(const std::u16string& text, int& value) {
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= u'0' && text[digits] <= u'9') ++digits;
    // Low 32 bits of the 64-bit number, as the value is stored.
    const int number =
        static_cast<int>(static_cast<unsigned int>(static_cast<unsigned long long>(LeadingDecimal(text, digits))));
    value = number;
    if (digits == text.size()) return 1;
    const std::u16string suffix = text.substr(digits);
    if (suffix == u"k" || suffix == u"K") {
        value = SaturateToInt(static_cast<double>(number) * 1000.0);
    } else if (suffix == u"M") {
        value = SaturateToInt(static_cast<double>(number) * 1000000.0);
    }
    return 1;
}

int GetDoubleValue(const std::u16string& text, double& value) {
    size_t lead = 0;
    while (lead < text.size() && ((text[lead] >= u'0' && text[lead] <= u'9') || text[lead] == u'.')) ++lead;
    const std::string ascii(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(lead));
    const double number = ParseDecimal(ascii);
    value = number;
    if (lead == text.size()) return 1;
    const std::u16string suffix = text.substr(lead);
    int exponent = 0;
    if (suffix == u"n")
        exponent = -9;
    else if (suffix == u"u" || suffix == u"U")
        exponent = -6;
    else if (suffix == u"m")
        exponent = -3;
    else if (suffix == u"k" || suffix == u"K")
        exponent = 3;
    else if (suffix == u"M")
        exponent = 6;
    else
        return 1;
    value = number * std::pow(10.0, exponent);
    return 1;
}

std::u16string TrimEndZero(const std::u16string& text) {
    // Only the fraction of a decimal number loses its zeros: "100" and "0"
    // are whole numbers and come back as they are.
    const size_t point = text.find(u'.');
    if (point == std::u16string::npos || text.find(u'0') == std::u16string::npos) return text;
    size_t end = text.size();
    while (end > point + 1 && text[end - 1] == u'0') --end;
    if (end == point + 1) --end;                   // nothing left after the point
    if (end == 0) return std::u16string(1, u'0');  // ".000"
    return text.substr(0, end);
}

bool IsOctDigits(const std::u16string& text) {
    for (char16_t c : text)
        if (c < u'0' || c > u'9') return false;
    return true;
}

bool IsOctDigits(const char* text) {
    if (!text) return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

bool HasChineseChar(const std::u16string& text) {
    for (char16_t c : text)
        if (c >= 0x4E00 && c <= 0x9FFF) return true;
    return false;
}
