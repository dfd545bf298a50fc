#include "IniFile.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Convert.h"
#include "SafeFile.h"
#include "trace.h"

namespace ini {
namespace {

// ---------------------------------------------------------------- text helpers

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

// One line of the file as the lookups see it.
enum class LineKind { Other, Section, Key };
struct Line {
    size_t begin = 0;  // offset of the line in the text
    size_t end = 0;    // offset of its '\n' (or the text's end)
    LineKind kind = LineKind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
};

Line Classify(std::string_view text, size_t begin, size_t end) {
    Line line;
    line.begin = begin;
    line.end = end;
    std::string_view s = Trim(text.substr(begin, end - begin));
    if (s.empty() || s.front() == ';' || s.front() == '#') return line;
    if (s.front() == '[') {
        s.remove_prefix(1);
        size_t close = s.find(']');
        line.kind = LineKind::Section;
        line.name = Trim(close == std::string_view::npos ? s : s.substr(0, close));
        return line;
    }
    size_t eq = s.find('=');
    line.kind = LineKind::Key;
    if (eq == std::string_view::npos) {
        line.name = s;
    } else {
        line.name = Trim(s.substr(0, eq));
        line.value = Trim(s.substr(eq + 1));
    }
    return line;
}

// Offset where the content starts (after a UTF-8 byte order mark).
size_t ContentStart(std::string_view text) {
    return (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) ? 3 : 0;
}

// Calls f(line) for each line in order until f returns false.
template <typename F>
void ForEachLine(std::string_view text, F&& f) {
    size_t pos = ContentStart(text);
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t end = nl == std::string_view::npos ? text.size() : nl;
        if (!f(Classify(text, pos, end))) return;
        pos = end + 1;
    }
}

std::optional<std::string_view> FindValue(std::string_view text, std::string_view section, std::string_view key) {
    // Names are stored trimmed, so a lookup with the same padded name a write
    // was given must find them.
    section = Trim(section);
    key = Trim(key);
    std::optional<std::string_view> found;
    bool inSection = false;
    ForEachLine(text, [&](const Line& line) {
        if (line.kind == LineKind::Section) {
            // The first section of that name is the one that counts.
            if (inSection) return false;
            inSection = SameName(line.name, section);
        } else if (inSection && line.kind == LineKind::Key && SameName(line.name, key)) {
            found = line.value;
            return false;
        }
        return true;
    });
    return found;
}

// ------------------------------------------------------------------ file I/O

// 0 on success, else the errno of the failure.
int ReadWholeFile(const std::string& path, std::string& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno ? errno : EIO;
    out.clear();
    char chunk[4096];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno ? errno : EIO;
            ::close(fd);
            return err;
        }
        if (n == 0) break;
        out.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return 0;
}

// Writes `content` to the file `path` points at, in one replacement.
bool ReplaceFile(const std::string& path, std::string_view content) {
    std::string error;
    if (files::Replace(path, content, error)) return true;
    TD_TRACEF("ini: cannot write %s", error.c_str());
    return false;
}

// -------------------------------------------------------------------- editing

// The file's text with key=value set in section.
std::string Edit(std::string_view text, std::string_view section, std::string_view key, std::string_view value) {
    // New lines follow the file's own line ends.
    size_t firstNl = text.find('\n');
    const char* eol = (firstNl != std::string_view::npos && firstNl > 0 && text[firstNl - 1] == '\r') ? "\r\n" : "\n";

    bool inSection = false, sectionSeen = false;
    const Line* keyLine = nullptr;
    size_t insertAfter = 0;  // end offset of the last key (or header) line of the section
    std::vector<Line> lines;
    ForEachLine(text, [&](const Line& line) {
        lines.push_back(line);
        return true;
    });
    for (const Line& line : lines) {
        if (line.kind == LineKind::Section) {
            if (inSection) break;
            if (SameName(line.name, section)) {
                inSection = sectionSeen = true;
                insertAfter = line.end;
            }
        } else if (inSection && line.kind == LineKind::Key) {
            if (SameName(line.name, key)) {
                keyLine = &line;
                break;
            }
            insertAfter = line.end;
        }
    }

    std::string out;
    out.reserve(text.size() + section.size() + key.size() + value.size() + 8);
    if (keyLine) {
        // Keep the key as the file spells it and the line's own ending.
        std::string_view raw = text.substr(keyLine->begin, keyLine->end - keyLine->begin);
        bool cr = !raw.empty() && raw.back() == '\r';
        out.append(text.substr(0, keyLine->begin));
        out.append(keyLine->name).append("=").append(value);
        if (cr) out.push_back('\r');
        out.append(text.substr(keyLine->end));
        return out;
    }
    if (sectionSeen) {
        out.append(text.substr(0, insertAfter));
        if (insertAfter == text.size()) {
            out.append(eol);  // the section's last line had no line end
        } else {
            out.append(text.substr(insertAfter, 1));  // the '\n' ending that line
            ++insertAfter;
        }
        out.append(key).append("=").append(value).append(eol);
        out.append(text.substr(insertAfter));
        return out;
    }
    out.append(text);
    if (!lines.empty()) {
        if (text.back() != '\n') out.append(eol);
        // A blank line between the old content and the new section.
        const Line& last = lines.back();
        if (!Trim(text.substr(last.begin, last.end - last.begin)).empty()) out.append(eol);
    }
    out.append("[").append(section).append("]").append(eol);
    out.append(key).append("=").append(value).append(eol);
    return out;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

std::mutex& WriteLock() {
    static std::mutex m;
    return m;
}

}  // namespace

// ------------------------------------------------------------------ interface

int ReadInt(const std::u16string& path, std::u16string_view section, std::u16string_view key, int defaultValue) {
    std::string text;
    if (path.empty() || ReadWholeFile(Utf16ToUtf8(path), text) != 0) return defaultValue;
    std::optional<std::string_view> value = FindValue(text, Utf16ToUtf8(section), Utf16ToUtf8(key));
    if (!value || value->empty()) return defaultValue;

    std::string_view v = *value;
    bool negative = false;
    size_t i = 0;
    if (v[0] == '+' || v[0] == '-') {
        negative = v[0] == '-';
        ++i;
    }
    long long n = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
        if (n <= static_cast<long long>(INT_MAX) + 1) n = n * 10 + (v[i] - '0');
    }
    if (negative) n = -n;
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

std::u16string ReadString(const std::u16string& path, std::u16string_view section, std::u16string_view key,
                          std::u16string_view defaultValue) {
    std::string text;
    if (path.empty() || ReadWholeFile(Utf16ToUtf8(path), text) != 0) return std::u16string(defaultValue);
    std::optional<std::string_view> value = FindValue(text, Utf16ToUtf8(section), Utf16ToUtf8(key));
    if (!value) return std::u16string(defaultValue);
    return Utf8ToUtf16(*value);
}

namespace {

// The trimmed names and value, or nothing when they would break the file's lines.
struct CheckedEntry {
    std::string key, value;
};
bool CheckEntry(std::string_view ts, std::u16string_view key, std::u16string_view value, CheckedEntry& out) {
    std::string k = Utf16ToUtf8(key), v = Utf16ToUtf8(value);
    std::string_view tk = Trim(k);
    if (ts.empty() || tk.empty() || HasLineBreak(k) || HasLineBreak(v) || ts.find(']') != std::string_view::npos ||
        tk.find('=') != std::string_view::npos || tk.front() == '[' || tk.front() == ';' || tk.front() == '#') {
        TD_TRACE("ini: refused a name or value that would break the file's lines");
        return false;
    }
    out.key = std::string(tk);
    out.value = std::string(Trim(v));
    return true;
}

bool WriteEntries(const std::u16string& path, std::u16string_view section, const std::vector<CheckedEntry>& entries) {
    std::string file = Utf16ToUtf8(path);
    std::string s = Utf16ToUtf8(section);
    std::string_view ts = Trim(s);
    std::lock_guard<std::mutex> lock(WriteLock());
    std::string text;
    if (int err = ReadWholeFile(file, text); err != 0) {
        // A file that exists but cannot be read must not be replaced by one
        // holding a single key: the other settings would be lost.
        if (err != ENOENT) {
            TD_TRACEF("ini: cannot read %s before writing (errno %d)", file.c_str(), err);
            return false;
        }
        text.clear();
    }
    for (const CheckedEntry& e : entries) text = Edit(text, ts, e.key, e.value);
    return ReplaceFile(file, text);
}

}  // namespace

bool WriteString(const std::u16string& path, std::u16string_view section, std::u16string_view key,
                 std::u16string_view value) {
    std::string s = Utf16ToUtf8(section);
    std::vector<CheckedEntry> entries(1);
    if (path.empty() || HasLineBreak(s) || !CheckEntry(Trim(s), key, value, entries[0])) return false;
    return WriteEntries(path, section, entries);
}

bool WriteStrings(const std::u16string& path, std::u16string_view section,
                  const std::vector<std::pair<std::u16string, std::u16string>>& entries) {
    std::string s = Utf16ToUtf8(section);
    if (path.empty() || HasLineBreak(s)) return false;
    std::vector<CheckedEntry> checked(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        if (!CheckEntry(Trim(s), entries[i].first, entries[i].second, checked[i])) return false;
    return WriteEntries(path, section, checked);
}

std::vector<std::u16string> ReadKeys(const std::u16string& path, std::u16string_view section) {
    std::vector<std::u16string> keys;
    std::string text;
    if (path.empty() || ReadWholeFile(Utf16ToUtf8(path), text) != 0) return keys;
    const std::string s = Utf16ToUtf8(section);
    bool inSection = false;
    ForEachLine(text, [&](const Line& line) {
        if (line.kind == LineKind::Section) {
            if (inSection) return false;
            inSection = SameName(line.name, s);
        } else if (inSection && line.kind == LineKind::Key) {
            keys.push_back(Utf8ToUtf16(line.name));
        }
        return true;
    });
    return keys;
}

namespace {

bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
        if (more == 9 || (more > 0 && c < 0xC2) || i + more >= text.size() + (more == 0 ? 1 : 0)) return false;
        for (size_t k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += more + 1;
    }
    return true;
}

}  // namespace

bool IsIniText(std::string_view text) {
    if (text.find('\0') != std::string_view::npos || !IsUtf8(text)) return false;
    bool ok = true;
    ForEachLine(text, [&](const Line& line) {
        const std::string_view raw = Trim(text.substr(line.begin, line.end - line.begin));
        if (line.kind == LineKind::Key && raw.find('=') == std::string_view::npos) ok = false;
        if (line.kind == LineKind::Section && raw.back() != ']') ok = false;
        return ok;
    });
    return ok;
}

std::vector<std::pair<std::string, std::string>> SectionEntries(std::string_view text, std::string_view section,
                                                                int* sections) {
    std::vector<std::pair<std::string, std::string>> entries;
    int count = 0;
    bool inSection = false;
    ForEachLine(text, [&](const Line& line) {
        if (line.kind == LineKind::Section) {
            inSection = SameName(line.name, section);
            count += inSection ? 1 : 0;
        } else if (inSection && count == 1 && line.kind == LineKind::Key) {
            entries.emplace_back(std::string(line.name), std::string(line.value));
        }
        return true;
    });
    if (sections) *sections = count;
    return entries;
}

std::string ReplaceSection(std::string_view text, std::string_view section,
                           const std::vector<std::pair<std::string, std::string>>& entries) {
    const size_t firstNl = text.find('\n');
    const char* eol = (firstNl != std::string_view::npos && firstNl > 0 && text[firstNl - 1] == '\r') ? "\r\n" : "\n";
    std::string block = std::string("[").append(section).append("]").append(eol);
    for (const auto& [key, value] : entries) block += key + "=" + value + eol;

    std::string out(text.substr(0, ContentStart(text)));
    bool inSection = false, placed = false;
    ForEachLine(text, [&](const Line& line) {
        if (line.kind == LineKind::Section) inSection = SameName(line.name, section);
        const size_t next = line.end < text.size() ? line.end + 1 : line.end;
        if (!inSection) {
            out.append(text.substr(line.begin, next - line.begin));
            if (next == text.size() && line.end == text.size() && line.end > line.begin) out.append(eol);
        } else if (line.kind == LineKind::Section && !placed) {
            out.append(block);
            placed = true;
        }
        return true;
    });
    if (!placed) {
        if (!out.empty() && out.size() > ContentStart(text)) {
            if (out.back() != '\n') out.append(eol);
            out.append(eol);
        }
        out.append(block);
    }
    return out;
}

}  // namespace ini
