// Feeds arbitrary file contents, section, key and value names to the INI layer.
// Reads must not crash on any file; a write that is accepted must read back
// as written and leave the other keys' values as they were.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "FuzzText.h"
#include "Convert.h"
#include "IniFile.h"

namespace {

// The file lives on a RAM disk when there is one: the writes rename a
// temporary file over it on every run.
const std::string& Folder() {
    static const std::string folder = [] {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string templ = base + "/fuzz_ini.XXXXXX";
        if (!mkdtemp(templ.data())) std::abort();
        return templ;
    }();
    return folder;
}

// Names and values, with the characters the file's syntax gives a meaning to.
std::u16string TakeName(FuzzedDataProvider& fdp) { return TakeText(fdp, u"aAbB01 \t[]=;#\r\n\v\xE9\x4E2D", 12); }

std::u16string Trimmed(const std::u16string& text) {
    const std::u16string blanks = u" \t\r\v\f";
    const size_t begin = text.find_first_not_of(blanks);
    if (begin == std::u16string::npos) return {};
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    const std::u16string section = TakeName(fdp), key = TakeName(fdp), value = TakeName(fdp);
    const std::u16string otherSection = TakeName(fdp), otherKey = TakeName(fdp);
    const std::string contents = fdp.ConsumeRemainingBytesAsString();

    const std::string file = Folder() + "/Config.ini";
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || write(fd, contents.data(), contents.size()) != static_cast<ssize_t>(contents.size())) std::abort();
    close(fd);
    const std::u16string path = Utf8ToUtf16(file);

    ini::ReadInt(path, section, key, -5);
    const std::u16string otherBefore = ini::ReadString(path, otherSection, otherKey, u"\x1F");

    if (!ini::WriteString(path, section, key, value)) return 0;
    // Names go through UTF-8 on the way to the file, so compare in that form.
    const std::u16string expected = Trimmed(Utf8ToUtf16(Utf16ToUtf8(value)));
    Check(ini::ReadString(path, section, key, u"\x1F") == expected);

    const std::string s = Utf16ToUtf8(Trimmed(Utf8ToUtf16(Utf16ToUtf8(section))));
    const std::string os = Utf16ToUtf8(Trimmed(Utf8ToUtf16(Utf16ToUtf8(otherSection))));
    const std::string k = Utf16ToUtf8(Trimmed(Utf8ToUtf16(Utf16ToUtf8(key))));
    const std::string ok = Utf16ToUtf8(Trimmed(Utf8ToUtf16(Utf16ToUtf8(otherKey))));
    auto lower = [](std::string t) {
        for (char& c : t)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return t;
    };
    if (lower(s) != lower(os) || lower(k) != lower(ok))
        Check(ini::ReadString(path, otherSection, otherKey, u"\x1F") == otherBefore);
    return 0;
}
