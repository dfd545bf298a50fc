#include "Profile.h"

#include "Convert.h"
#include "FileUtil.h"
#include "IniFile.h"
#include "TimeUtil.h"

namespace profile {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

std::string Narrow(const std::u16string& text) { return Utf16ToUtf8(text); }

Result ReadEntries(const std::u16string& path, Entries& out, std::string& error) {
    if (!FileExists(path)) {
        error = Narrow(path) + ": no such file";
        return Result::Invalid;
    }
    const std::vector<std::u16string> keys = ini::ReadKeys(path, kSection);
    if (keys.empty()) {
        error = Narrow(path) + ": no [Picture] entries";
        return Result::Invalid;
    }
    for (const std::u16string& key : keys) {
        const std::string name = Narrow(key);
        for (const auto& seen : out) {
            if (seen.first == name) {
                error = Narrow(path) + ": " + name + " is listed twice";
                return Result::Invalid;
            }
        }
        out.emplace_back(name, Narrow(ini::ReadString(path, kSection, key, u"")));
    }
    return Result::Ok;
}

}  // namespace

Result ReadChip(unsigned long device, std::vector<Value>& out, std::string& error, const std::vector<Value>* only) {
    bool first = true;
    for (const features::Feature& f : features::Table()) {
        if (!f.readable) continue;
        if (only != nullptr) {
            bool wanted = false;
            for (const Value& v : *only) wanted = wanted || v.feature == &f;
            if (!wanted) continue;
        }
        if (!first) WexSleep(1);
        first = false;
        unsigned int value = 0;
        if (!features::Read(device, f, value)) {
            error = std::string("reading ") + f.name + " failed";
            return Result::Failed;
        }
        out.push_back({&f, value});
    }
    return Result::Ok;
}

Result Save(unsigned long device, const std::u16string& path, std::string& error, std::vector<std::string>* skipped) {
    std::vector<Value> values;
    if (Result r = ReadChip(device, values, error); r != Result::Ok) return r;
    std::vector<std::pair<std::u16string, std::u16string>> entries;
    for (const Value& v : values) {
        const std::string text = features::FormatValue(*v.feature, v.value);
        unsigned int writable = 0;
        std::string ignored;
        if (!features::ParseValue(*v.feature, text, writable, ignored)) {
            if (skipped != nullptr) skipped->push_back(std::string(v.feature->name) + "=" + text);
            continue;
        }
        entries.emplace_back(Utf8ToUtf16(v.feature->name), Utf8ToUtf16(text));
    }
    if (!ini::WriteStrings(path, kSection, entries)) {
        error = Narrow(path) + ": cannot be written";
        return Result::Invalid;
    }
    return Result::Ok;
}

Result Load(const std::u16string& path, std::vector<Value>& out, std::string& error) {
    Entries entries;
    if (Result r = ReadEntries(path, entries, error); r != Result::Ok) return r;
    for (const auto& [name, text] : entries) {
        const features::Feature* f = features::Find(name);
        if (f == nullptr) {
            error = Narrow(path) + ": unknown feature \"" + name + "\"";
            return Result::Invalid;
        }
        unsigned int value = 0;
        if (!features::ParseReadValue(*f, text, value, error)) {
            error = Narrow(path) + ": " + error;
            return Result::Invalid;
        }
        out.push_back({f, value});
    }
    return Result::Ok;
}

Result Apply(unsigned long device, const std::u16string& path, std::string& error, std::vector<Value>* applied) {
    Entries entries;
    if (Result r = ReadEntries(path, entries, error); r != Result::Ok) return r;
    std::vector<Value> assignments;
    for (const auto& [name, text] : entries) {
        Value a;
        if (!features::CheckAssignment(name, text, a, error)) {
            error = Narrow(path) + ": " + error;
            return Result::Invalid;
        }
        assignments.push_back(a);
    }
    bool first = true;
    for (const Value& a : assignments) {
        if (!first) WexSleep(1);
        first = false;
        if (!features::Write(device, a)) {
            error = std::string("writing ") + a.feature->name + " failed";
            return Result::Failed;
        }
        if (applied != nullptr) applied->push_back(a);
    }
    return Result::Ok;
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
