#include "Convert.h"

#include <bit>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

// ---------------------------------------------------------------------------
// Narrow <-> 16-bit text

namespace {

const char* Utf16Name() {
    return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
}

// The narrow encoding is the one the user's environment selects, whether or
// not the program called setlocale(). The plain C locale only knows ASCII;
// every current system is UTF-8 underneath, so that is what "C" means here.
std::string DetectNarrowCodeset() {
    std::string name;
    if (locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0))) {
        if (const char* cs = nl_langinfo_l(CODESET, loc)) name = cs;
        freelocale(loc);
    }
    if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII")
        name = "UTF-8";
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
