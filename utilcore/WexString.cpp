#include "WexString.h"

#include <cassert>
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <stdexcept>

namespace wex {

CString& CString::operator=(const CString& other) {
    if (this != &other) assign(other);
    return *this;
}

CString& CString::operator=(CString&& other) noexcept {
    std::string::operator=(std::move(static_cast<std::string&>(other)));
    return *this;
}

CString& CString::operator=(const std::string& text) {
    assign(text);
    return *this;
}

CString& CString::operator=(const char* text) {
    // assign() copes with text that points into this string.
    assign(text != nullptr ? text : "");
    return *this;
}

char CString::GetAt(int index) const {
    if (index < 0 || index >= GetLength()) throw std::out_of_range("wex::CString::GetAt: index out of range");
    return (*this)[static_cast<size_type>(index)];
}

void CString::SetAt(int index, char ch) {
    if (index < 0 || index >= GetLength()) throw std::out_of_range("wex::CString::SetAt: index out of range");
    (*this)[static_cast<size_type>(index)] = ch;
}

namespace {

std::string Lowered(const char* text, std::size_t length) {
    std::string out(text, length);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

int Position(std::string::size_type pos) { return pos == std::string::npos ? -1 : static_cast<int>(pos); }

}  // namespace

int CString::Compare(const CString& other) const { return compare(other); }

int CString::Compare(const char* other) const { return compare(other != nullptr ? other : ""); }

int CString::CompareNoCase(const CString& other) const {
    return Lowered(data(), size()).compare(Lowered(other.data(), other.size()));
}

int CString::CompareNoCase(const char* other) const {
    if (other == nullptr) other = "";
    return Lowered(data(), size()).compare(Lowered(other, std::strlen(other)));
}

int CString::Find(const CString& text) const { return Position(find(text)); }

int CString::Find(const char* text) const { return Position(find(text != nullptr ? text : "")); }

int CString::Find(char ch) const { return Position(find(ch)); }

int CString::Find(char ch, int start) const {
    if (start < 0) start = 0;
    if (start >= GetLength()) return -1;
    return Position(find(ch, static_cast<size_type>(start)));
}

int CString::ReverseFind(char ch) const { return Position(rfind(ch)); }

CString CString::Left(int count) const {
    if (count <= 0) return CString();
    return CString(substr(0, static_cast<size_type>(count)));
}

CString CString::Mid(int start, int count) const {
    if (start < 0) start = 0;
    if (count <= 0 || start >= GetLength()) return CString();
    return CString(substr(static_cast<size_type>(start), static_cast<size_type>(count)));
}

CString CString::Right(int count) const {
    if (count <= 0) return CString();
    if (count >= GetLength()) return *this;
    return CString(substr(size() - static_cast<size_type>(count)));
}

void CString::MakeLower() {
    for (char& c : *this) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

void CString::MakeUpper() {
    for (char& c : *this) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

int CString::Replace(char oldCh, char newCh) {
    int count = 0;
    for (char& c : *this) {
        if (c == oldCh) {
            c = newCh;
            ++count;
        }
    }
    return count;
}

int CString::Replace(const char* oldText, const char* newText) {
    if (oldText == nullptr || *oldText == '\0') return 0;
    // Copies, since either text may point into this string.
    const std::string from(oldText);
    const std::string to(newText != nullptr ? newText : "");
    // Every search starts again at the beginning, so a replacement's output can
    // match again ("aab", "ab" -> "bxx" gives "bxxxx"). A shrinking
    // replacement always ends; one of the same length or longer may not (new
    // text holding the old, or "ab" -> "bbaa" recreating a match every time).
    // Those keep the restarting results as long as they end within a step
    // budget far beyond any real text's needs, then resume after each
    // insertion, so no input can loop for ever. Replacing a text by itself
    // changes nothing and is counted once per occurrence. A same-length step
    // rewrites in place and costs 1; a longer one also moves everything behind
    // it and grows the text, so it costs the characters it writes and moves:
    // the budget then bounds time and memory, not only the number of steps.
    bool rescan = to != from;
    const size_type budget = size() < 32768 ? (size() + 1) * (size() + 1) : size_type{1} << 30;
    size_type spent = 0;
    int count = 0;
    size_type pos = find(from);
    while (pos != npos) {
        replace(pos, from.size(), to);
        ++count;
        if (rescan && to.size() >= from.size()) {
            spent += to.size() == from.size() ? 1 : size() - pos;
            if (spent > budget) rescan = false;
        }
        // Rescanning from the start finds nothing before pos - (old length - 1):
        // the text there is unchanged and held no match.
        const size_type next = rescan ? (pos >= from.size() - 1 ? pos - (from.size() - 1) : 0) : pos + to.size();
        pos = find(from, next);
    }
    return count;
}

CString& CString::TrimLeft(char ch) {
    const size_type first = find_first_not_of(ch);
    if (first == npos)
        clear();
    else
        erase(0, first);
    return *this;
}

CString& CString::TrimRight(char ch) {
    const size_type last = find_last_not_of(ch);
    if (last == npos)
        clear();
    else
        erase(last + 1);
    return *this;
}

CString& CString::Trim() {
    TrimLeft(' ');
    return TrimRight(' ');
}

CString& CString::TrimLeft() { return TrimLeft(' '); }

CString& CString::TrimRight() { return TrimRight(' '); }

namespace {

// Decimal digits at p (p moves past them), held below 10^8 so that no width
// can overflow the estimate.
int ReadDigits(const char*& p) {
    int value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
        if (value < 10000000) value = value * 10 + (*p - '0');
    }
    return value;
}

int Clamped(long long estimate) { return estimate > INT32_MAX ? INT32_MAX : static_cast<int>(estimate); }

// A width taken from an argument, made usable: printf reads a negative width
// as left alignment, and nothing prints wider than the cap.
int Bounded(int value) {
    constexpr int kCap = 100000000;
    if (value < 0) return value < -kCap ? kCap : -value;
    return value > kCap ? kCap : value;
}

// The first pass of Format: the classic length estimate. It walks the format
// and consumes the arguments the conversions take, on its own copy of the
// argument list.
int EstimateLength(const char* format, va_list args) {
    long long estimate = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%' || *(++p) == '%') {
            ++estimate;
            continue;
        }
        int itemLength = 0;
        int nWidth = 0;
        bool widthFromArgument = false;
        for (; *p != '\0'; ++p) {
            if (*p == '#')
                estimate += 2;
            else if (*p == '*') {
                nWidth = va_arg(args, int);
                widthFromArgument = true;
            } else if (*p != '-' && *p != '+' && *p != '0' && *p != ' ')
                break;
        }
        if (!widthFromArgument) {
            nWidth = ReadDigits(p);
        }
        assert(nWidth >= 0);
        nWidth = Bounded(nWidth);

        int nPrecision = 0;
        bool hasPrecision = false;
        if (*p == '.') {
            hasPrecision = true;
            ++p;
            if (*p == '*') {
                nPrecision = va_arg(args, int);
                ++p;
            } else {
                nPrecision = ReadDigits(p);
            }
            assert(nPrecision >= 0);
            nPrecision = nPrecision < 0 ? 0 : Bounded(nPrecision);
        }

        // One size letter; "ll" and "hh" are accepted too, since printf on this
        // platform spells 64-bit and char-sized integers that way.
        char size = 0;
        if (*p == 'F' || *p == 'L' || *p == 'N' || *p == 'h' || *p == 'l') {
            size = *p++;
            if ((size == 'l' || size == 'h') && *p == size) {
                size = size == 'l' ? 'q' : 'H';
                ++p;
            }
        }

        switch (*p) {
        case 'c':
        case 'C':
            itemLength = 2;
            (void)va_arg(args, int);
            break;
        case 's':
        case 'S': {
            const bool wide = (*p == 's' && size == 'l') || (*p == 'S' && size != 'h');
            if (wide) {
                const wchar_t* text = va_arg(args, const wchar_t*);
                itemLength = text != nullptr ? static_cast<int>(std::wcslen(text)) : 6;  // "(null)"
            } else {
                const char* text = va_arg(args, const char*);
                itemLength = text != nullptr ? static_cast<int>(std::strlen(text)) : 6;
            }
            if (itemLength < 1) itemLength = 1;
            break;
        }
        case 'd':
        case 'i':
        case 'o':
        case 'u':
        case 'x':
        case 'X':
            if (size == 'q')
                (void)va_arg(args, long long);
            else if (size == 'l')
                (void)va_arg(args, long);
            else
                (void)va_arg(args, int);
            itemLength = 32 > nWidth + nPrecision ? 32 : nWidth + nPrecision;
            break;
        case 'e':
        case 'f':
        case 'g':
        case 'G':
            if (size == 'L')
                (void)va_arg(args, long double);
            else
                (void)va_arg(args, double);
            itemLength = 32 > nWidth + nPrecision ? 32 : nWidth + nPrecision;
            break;
        case 'p':
            (void)va_arg(args, void*);
            itemLength = 32 > nWidth + nPrecision ? 32 : nWidth + nPrecision;
            break;
        case 'n':
            (void)va_arg(args, void*);
            itemLength = 0;
            break;
        default:
            assert(false);
            // Without knowing the argument's type the walk cannot go on.
            return Clamped(estimate);
        }
        if (*p == 'c' || *p == 'C' || *p == 's' || *p == 'S') {
            if (itemLength < nWidth) itemLength = nWidth;
            if (hasPrecision && nPrecision < itemLength) itemLength = nPrecision;
        }
        estimate += itemLength;
    }
    return Clamped(estimate);
}

}  // namespace

int CString::Format(const char* pstrFormat, ...) {
    assert(pstrFormat != NULL);
    if (pstrFormat == nullptr) {
        clear();
        return 0;
    }
    va_list args;
    va_start(args, pstrFormat);
    va_list walk;
    va_copy(walk, args);
    const int estimate = EstimateLength(pstrFormat, walk);
    va_end(walk);

    // Built apart and assigned at the end, so the format or a text argument
    // may be this string's own text.
    std::string text;
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, pstrFormat, measure);
    va_end(measure);
    if (needed > 0) {
        text.resize(static_cast<size_type>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), pstrFormat, args);
        text.resize(static_cast<size_type>(needed));
    }
    va_end(args);
    assign(std::move(text));
    return estimate;
}

CString operator+(const CString& a, const CString& b) {
    CString r(a);
    r.append(b);
    return r;
}

CString operator+(const CString& a, char ch) {
    CString r(a);
    r.push_back(ch);
    return r;
}

CString operator+(const CString& a, const char* b) {
    CString r(a);
    if (b != nullptr) r.append(b);
    return r;
}

CString operator+(const char* a, const CString& b) {
    CString r(a);
    r.append(b);
    return r;
}

}  // namespace wex
