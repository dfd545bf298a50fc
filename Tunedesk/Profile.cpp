#include "Profile.h"

#include <algorithm>
#include <cerrno>

#include "Convert.h"
#include "IniFile.h"
#include "SafeFile.h"
#include "TimeUtil.h"

namespace profile {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

std::string Narrow(const std::u16string& text) { return Utf16ToUtf8(text); }

// A profile is a few hundred bytes; anything far larger is not one.
constexpr std::size_t kMaxProfileBytes = 1 << 20;

std::string Lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

Result EntriesOf(std::string_view text, const std::string& name, Entries& out, std::string& error) {
    int sections = 0;
    const Entries entries = ini::SectionEntries(text, Narrow(kSection), &sections);
    if (sections > 1) {
        error = name + ": [Picture] is listed twice";
        return Result::Invalid;
    }
    if (entries.empty()) {
        error = name + ": no [Picture] entries";
        return Result::Invalid;
    }
    for (const auto& entry : entries) {
        // Keys match as section names do, letters in any case: a second
        // spelling of a name would otherwise hide behind the first.
        for (const auto& seen : out) {
            if (Lowered(seen.first) == Lowered(entry.first)) {
                error = name + ": " + entry.first + " is listed twice";
                return Result::Invalid;
            }
        }
        out.push_back(entry);
    }
    return Result::Ok;
}

}  // namespace

ChipAccess OnDevice(unsigned long device) {
    return {[device](std::span<const features::Feature* const> list, std::vector<unsigned int>& values,
                     size_t& failed) { return features::ReadEach(device, list, values, failed); },
            [device](const features::Assignment& a) { return features::Write(device, a); }};
}

Result ReadChip(const ChipAccess& chip, std::vector<Value>& out, std::string& error, const std::vector<Value>* only) {
    std::vector<const features::Feature*> wanted;
    for (const features::Feature& f : features::Table()) {
        if (!f.readable) continue;
        if (only != nullptr &&
            std::none_of(only->begin(), only->end(), [&](const Value& v) { return v.feature == &f; }))
            continue;
        wanted.push_back(&f);
    }
    std::vector<unsigned int> values;
    size_t failed = 0;
    if (!chip.read(wanted, values, failed)) {
        error = std::string("reading ") + wanted[failed]->name + " failed";
        return Result::Failed;
    }
    for (size_t i = 0; i < wanted.size(); ++i) out.push_back({wanted[i], values[i]});
    return Result::Ok;
}

Result ReadForSave(const ChipAccess& chip, Entries& entries, std::string& error, std::vector<std::string>* skipped) {
    std::vector<Value> values;
    if (Result r = ReadChip(chip, values, error); r != Result::Ok) return r;
    for (const Value& v : values) {
        const std::string text = features::FormatValue(*v.feature, v.value);
        unsigned int writable = 0;
        std::string ignored;
        if (!features::ParseValue(*v.feature, text, writable, ignored)) {
            if (skipped != nullptr) skipped->push_back(std::string(v.feature->name) + "=" + text);
            continue;
        }
        entries.emplace_back(v.feature->name, text);
    }
    return Result::Ok;
}

Result Store(const std::string& path, const Entries& entries, std::string& error) {
    std::string text;
    if (!files::IsStdStream(path)) {
        int err = 0;
        if (!files::ReadCapped(path, kMaxProfileBytes, text, error, &err)) {
            if (err != ENOENT) {
                error += "; not replaced";
                return Result::Invalid;
            }
            text.clear();
        }
        // An EDID or an image named by mistake is not turned into a profile.
        if (!ini::IsIniText(text)) {
            error = path + ": not an INI file; not replaced";
            return Result::Invalid;
        }
    }
    // The section is replaced whole: an entry the chip no longer gives (a
    // value left out, an old or unknown key) must not survive the save.
    return files::Replace(path, ini::ReplaceSection(text, Narrow(kSection), entries), error) ? Result::Ok
                                                                                             : Result::Invalid;
}

Result Save(unsigned long device, const std::u16string& path, std::string& error, std::vector<std::string>* skipped) {
    Entries entries;
    if (Result r = ReadForSave(OnDevice(device), entries, error, skipped); r != Result::Ok) return r;
    return Store(Narrow(path), entries, error);
}

Result LoadText(std::string_view text, const std::string& name, std::vector<Value>& out, std::string& error) {
    Entries entries;
    if (Result r = EntriesOf(text, name, entries, error); r != Result::Ok) return r;
    for (const auto& [key, value] : entries) {
        const features::Feature* f = features::Find(key);
        if (f == nullptr) {
            error = name + ": unknown feature \"" + key + "\"";
            return Result::Invalid;
        }
        unsigned int v = 0;
        if (!features::ParseReadValue(*f, value, v, error)) {
            error = name + ": " + error;
            return Result::Invalid;
        }
        out.push_back({f, v});
    }
    return Result::Ok;
}

Result Load(const std::u16string& path, std::vector<Value>& out, std::string& error) {
    std::string text;
    const std::string name = Narrow(path);
    if (!files::ReadCapped(name, kMaxProfileBytes, text, error)) return Result::Invalid;
    return LoadText(text, name, out, error);
}

Result CheckText(std::string_view text, const std::string& name, std::vector<Value>& out, std::string& error) {
    Entries entries;
    if (Result r = EntriesOf(text, name, entries, error); r != Result::Ok) return r;
    for (const auto& [key, value] : entries) {
        Value a;
        if (!features::CheckAssignment(key, value, a, error)) {
            error = name + ": " + error;
            return Result::Invalid;
        }
        out.push_back(a);
    }
    return Result::Ok;
}

Result Check(const std::u16string& path, std::vector<Value>& out, std::string& error) {
    std::string text;
    const std::string name = Narrow(path);
    if (!files::ReadCapped(name, kMaxProfileBytes, text, error)) return Result::Invalid;
    return CheckText(text, name, out, error);
}

Result ApplyText(const ChipAccess& chip, std::string_view text, const std::string& name, std::string& error,
                 std::vector<Value>* applied) {
    std::vector<Value> assignments;
    if (Result r = CheckText(text, name, assignments, error); r != Result::Ok) return r;
    bool first = true;
    for (const Value& a : assignments) {
        if (!first) WexSleep(1);
        first = false;
        if (!chip.write(a)) {
            error = std::string("writing ") + a.feature->name + " failed";
            return Result::Failed;
        }
        if (applied != nullptr) applied->push_back(a);
    }
    return Result::Ok;
}

Result Apply(unsigned long device, const std::u16string& path, std::string& error, std::vector<Value>* applied) {
    std::string text;
    const std::string name = Narrow(path);
    if (!files::ReadCapped(name, kMaxProfileBytes, text, error)) return Result::Invalid;
    return ApplyText(OnDevice(device), text, name, error, applied);
}

std::vector<Difference> Diff(const std::vector<Value>& left, const std::vector<Value>& right) {
    auto find = [](const std::vector<Value>& values, const features::Feature& f) -> std::optional<unsigned int> {
        for (const Value& v : values)
            if (v.feature == &f) return v.value;
        return std::nullopt;
    };
    std::vector<Difference> out;
    for (const features::Feature& f : features::Table()) {
        const std::optional<unsigned int> l = find(left, f), r = find(right, f);
        if (l != r) out.push_back({&f, l, r});
    }
    return out;
}

}  // namespace profile
