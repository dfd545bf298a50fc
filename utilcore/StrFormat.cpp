#include "StrFormat.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "Convert.h"

namespace {

// Widths and numeric precisions beyond this are clamped: a stray "%999999999d"
// in a log format must not allocate gigabytes.
constexpr int kMaxWidth = 65536;

enum class Length { None, HH, H, L, LL, J, Z, T, BigL };

// Where the arguments come from: the caller's va_list, or a fixed int array.
class ArgSource {
public:
    virtual ~ArgSource() = default;
    virtual int Int() = 0;
    virtual long long Signed(Length len) = 0;
    virtual unsigned long long Unsigned(Length len) = 0;
    virtual long double Floating(Length len) = 0;
    virtual const void* Pointer() = 0;
};

class VaSource final : public ArgSource {
public:
    explicit VaSource(va_list* ap) : ap_(ap) {}
    int Int() override { return va_arg(*ap_, int); }
    long long Signed(Length len) override {
        switch (len) {
        case Length::HH: return static_cast<signed char>(va_arg(*ap_, int));
        case Length::H: return static_cast<short>(va_arg(*ap_, int));
        case Length::L: return va_arg(*ap_, long);
        case Length::LL: return va_arg(*ap_, long long);
        case Length::J: return static_cast<long long>(va_arg(*ap_, intmax_t));
        case Length::Z: return static_cast<long long>(va_arg(*ap_, ptrdiff_t));
        case Length::T: return static_cast<long long>(va_arg(*ap_, ptrdiff_t));
        default: return va_arg(*ap_, int);
        }
    }
    unsigned long long Unsigned(Length len) override {
        switch (len) {
        case Length::HH: return static_cast<unsigned char>(va_arg(*ap_, unsigned int));
        case Length::H: return static_cast<unsigned short>(va_arg(*ap_, unsigned int));
        case Length::L: return va_arg(*ap_, unsigned long);
        case Length::LL: return va_arg(*ap_, unsigned long long);
        case Length::J: return static_cast<unsigned long long>(va_arg(*ap_, uintmax_t));
        case Length::Z: return static_cast<unsigned long long>(va_arg(*ap_, size_t));
        case Length::T: return static_cast<unsigned long long>(va_arg(*ap_, ptrdiff_t));
        default: return va_arg(*ap_, unsigned int);
        }
    }
    long double Floating(Length len) override {
        if (len == Length::BigL) return va_arg(*ap_, long double);
        return va_arg(*ap_, double);
    }
    const void* Pointer() override { return va_arg(*ap_, const void*); }

private:
    va_list* ap_;
};

class IntArraySource final : public ArgSource {
public:
    IntArraySource(const int* values, int count) : values_(values), count_(values ? count : 0) {}
    int Int() override { return next_ < count_ ? values_[next_++] : (++next_, 0); }
    long long Signed(Length len) override {
        const int v = Int();
        if (len == Length::HH) return static_cast<signed char>(v);
        if (len == Length::H) return static_cast<short>(v);
        return v;
    }
    unsigned long long Unsigned(Length len) override {
        const auto v = static_cast<unsigned int>(Int());
        if (len == Length::HH) return static_cast<unsigned char>(v);
        if (len == Length::H) return static_cast<unsigned short>(v);
        return v;
    }
    long double Floating(Length) override {
        Int();
        return 0;
    }
    const void* Pointer() override {
        Int();
        return nullptr;
    }

private:
    const int* values_;
    int count_;
    int next_ = 0;
};

void AppendAscii(std::u16string& out, const char* text, size_t n) {
    out.reserve(out.size() + n);
    for (size_t i = 0; i < n; ++i) out.push_back(static_cast<unsigned char>(text[i]));
}

// Runs snprintf for one numeric conversion; `conversion` is the complete narrow conversion text.
template <typename T>
void AppendNumber(std::u16string& out, const std::string& conversion, T value) {
    char small[128];
    const int n = std::snprintf(small, sizeof small, conversion.c_str(), value);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        AppendAscii(out, small, static_cast<size_t>(n));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), conversion.c_str(), value);
    AppendAscii(out, big.data(), static_cast<size_t>(n));
}

void AppendPadded(std::u16string& out, const char16_t* text, size_t n, int width, bool left) {
    const size_t pad = (width > 0 && static_cast<size_t>(width) > n) ? static_cast<size_t>(width) - n : 0;
    if (!left) out.append(pad, u' ');
    out.append(text, n);
    if (left) out.append(pad, u' ');
}

bool IsFlag(char16_t c) { return c == u'-' || c == u'+' || c == u' ' || c == u'#' || c == u'0'; }

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads a run of decimal digits, saturating instead of overflowing.
int ReadNumber(const char16_t*& p) {
    long long v = 0;
    while (IsDigit(*p)) {
        if (v < INT_MAX) v = v * 10 + (*p - u'0');
        ++p;
    }
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

std::u16string Format(const char16_t* format, ArgSource& args) {
    std::u16string out;
    if (!format) return out;
    const char16_t* p = format;
    while (*p) {
        if (*p != u'%') {
            const char16_t* run = p;
            while (*p && *p != u'%') ++p;
            out.append(run, static_cast<size_t>(p - run));
            continue;
        }
        const char16_t* start = p++;
        if (*p == u'%') {
            out.push_back(u'%');
            ++p;
            continue;
        }

        std::string flags;
        while (IsFlag(*p)) flags.push_back(static_cast<char>(*p++));

        int width = -1;
        if (*p == u'*') {
            ++p;
            const int w = args.Int();
            if (w < 0) {
                flags.push_back('-');
                width = (w == INT_MIN) ? INT_MAX : -w;
            } else {
                width = w;
            }
        } else if (IsDigit(*p)) {
            width = ReadNumber(p);
        }

        int precision = -1;
        if (*p == u'.') {
            ++p;
            if (*p == u'*') {
                ++p;
                const int pr = args.Int();
                precision = pr < 0 ? -1 : pr;
            } else {
                precision = ReadNumber(p);
            }
        }

        Length len = Length::None;
        switch (*p) {
        case u'h':
            ++p;
            if (*p == u'h') {
                ++p;
                len = Length::HH;
            } else {
                len = Length::H;
            }
            break;
        case u'l':
            ++p;
            if (*p == u'l') {
                ++p;
                len = Length::LL;
            } else {
                len = Length::L;
            }
            break;
        case u'q':
            ++p;
            len = Length::LL;
            break;
        case u'j':
            ++p;
            len = Length::J;
            break;
        case u'z':
            ++p;
            len = Length::Z;
            break;
        case u't':
            ++p;
            len = Length::T;
            break;
        case u'L':
            ++p;
            len = Length::BigL;
            break;
        case u'I':
            if (p[1] == u'6' && p[2] == u'4') {
                p += 3;
                len = Length::LL;
            } else if (p[1] == u'3' && p[2] == u'2') {
                p += 3;
                len = Length::None;
            }
            break;
        default: break;
        }

        const char16_t conv = *p;
        if (conv == 0) {  // unfinished conversion at the end: keep it as text
            out.append(start);
            break;
        }
        ++p;

        const bool left = flags.find('-') != std::string::npos;
        const int padWidth = width > kMaxWidth ? kMaxWidth : width;
        std::string conversion = "%" + flags;
        if (width >= 0) conversion += std::to_string(padWidth);
        if (precision >= 0) {
            conversion += '.';
            conversion += std::to_string(precision > kMaxWidth ? kMaxWidth : precision);
        }

        switch (conv) {
        case u'd':
        case u'i': AppendNumber(out, conversion + "lld", args.Signed(len)); break;
        case u'u':
        case u'o':
        case u'x':
        case u'X': AppendNumber(out, conversion + "ll" + static_cast<char>(conv), args.Unsigned(len)); break;
        case u'e':
        case u'E':
        case u'f':
        case u'F':
        case u'g':
        case u'G':
        case u'a':
        case u'A': AppendNumber(out, conversion + "L" + static_cast<char>(conv), args.Floating(len)); break;
        case u'p': AppendNumber(out, conversion + "p", args.Pointer()); break;
        case u'c':
        case u'C': {
            const int v = args.Int();
            if (conv == u'C' || len == Length::H || len == Length::HH) {
                const char narrow[2] = {static_cast<char>(v), 0};
                const std::u16string wide = Ansi2CString(narrow);
                AppendPadded(out, wide.data(), wide.size(), padWidth, left);
            } else {
                const char16_t c = static_cast<char16_t>(v);
                AppendPadded(out, &c, 1, padWidth, left);
            }
            break;
        }
        case u's':
        case u'S': {
            static const char16_t kNull[] = u"(null)";
            if (conv == u'S' || len == Length::H || len == Length::HH) {
                const auto* text = static_cast<const char*>(args.Pointer());
                if (!text) {
                    AppendPadded(out, kNull, 6, padWidth, left);
                    break;
                }
                // Precision counts bytes of the narrow text, as printf does.
                const size_t n = precision >= 0 ? strnlen(text, static_cast<size_t>(precision)) : std::strlen(text);
                const std::u16string wide = Ansi2CString(std::string_view(text, n));
                AppendPadded(out, wide.data(), wide.size(), padWidth, left);
            } else {
                const auto* text = static_cast<const char16_t*>(args.Pointer());
                if (!text) {
                    AppendPadded(out, kNull, 6, padWidth, left);
                    break;
                }
                // Never read past the precision: the text need not be terminated there.
                size_t n = 0;
                const size_t limit = precision >= 0 ? static_cast<size_t>(precision) : SIZE_MAX;
                while (n < limit && text[n]) ++n;
                AppendPadded(out, text, n, padWidth, left);
            }
            break;
        }
        case u'n':
            args.Pointer();  // writing through caller pointers is not offered
            break;
        default: out.append(start, static_cast<size_t>(p - start)); break;
        }
    }
    return out;
}

}  // namespace

std::u16string StrFormatV(const char16_t* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    std::u16string out;
    try {
        VaSource source(&copy);
        out = Format(format, source);
    } catch (...) {
        out.clear();
    }
    va_end(copy);
    return out;
}

std::u16string StrFormat(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string out = StrFormatV(format, args);
    va_end(args);
    return out;
}

std::u16string StrFormatInts(const char16_t* format, const int* values, int count) {
    try {
        IntArraySource source(values, count);
        return Format(format, source);
    } catch (...) {
        return {};
    }
}
