#include "Features.h"

#include <array>

#include "SPIUtil.h"
#include "TextParse.h"
#include "TimeUtil.h"

namespace features {
namespace {

const char* const kRangeNames[] = {"large", "medium", "small", "tiny"};
const char* const kSizeNames[] = {"large", "medium", "small"};
const char* const kAreaNames[] = {"all", "center", "left", "right", "custom"};

// How one feature reaches the chip. `read` gives the decoded value and the
// register's raw value; `write` takes that raw value (ignored by the features
// that write whole registers) and the new setting.
struct Access {
    bool (*read)(unsigned long device, unsigned int& value, unsigned int& raw);
    bool (*write)(unsigned long device, unsigned int raw, unsigned int value);
    bool readFirst = true;  // false: the setter needs no current value
};

bool NoRead(unsigned long, unsigned int&, unsigned int&) { return false; }

const Access kAccess[] = {
    {[](unsigned long d, unsigned int& v, unsigned int& r) { return GetVividOnOffState(d, &v, nullptr, nullptr, &r); },
     SetVividiOnOff},
    {[](unsigned long d, unsigned int& v, unsigned int& r) { return GetVividRange(d, &v, &r); }, SetVividRange},
    {[](unsigned long d, unsigned int& v, unsigned int& r) { return GetVividIntensity(d, &v, &r); }, SetVividIntensity},
    {[](unsigned long d, unsigned int& v, unsigned int& r) { return GetSharpeningOnOffState(d, &v, &r); },
     SetSharpeningOnOff},
    // The kernel is written whole: nothing to read first.
    {NoRead, [](unsigned long d, unsigned int, unsigned int v) { return SetSharpeningProcessSize(d, v); }, false},
    {[](unsigned long d, unsigned int& v, unsigned int& r) { return GetSharpeningIntensity(d, &v, &r); },
     SetSharpeningIntensity},
    {[](unsigned long d, unsigned int& v, unsigned int& r) {
         return GetExtendedContrastParameters(d, &v, nullptr, nullptr, &r);
     },
     SetExtendedContrastOnOff},
    {[](unsigned long d, unsigned int& v, unsigned int& r) {
         return GetExtendedContrastParameters(d, nullptr, &v, nullptr, &r);
     },
     SetAutoBrightnessOnOff},
    {[](unsigned long d, unsigned int& v, unsigned int& r) {
         return GetExtendedContrastParameters(d, nullptr, nullptr, &v, &r);
     },
     SetAdaptiveContrast},
    {[](unsigned long d, unsigned int& v, unsigned int& r) { return GetBrightnessAndThreshold(d, &v, nullptr, &r); },
     SetBrightness},
    {[](unsigned long d, unsigned int& v, unsigned int& r) { return GetBrightnessAndThreshold(d, nullptr, &v, &r); },
     SetThreshold},
    {[](unsigned long d, unsigned int& v, unsigned int& r) { return GetVividOnOffState(d, nullptr, &v, nullptr, &r); },
     SetColorCorrectionOnOff},
    {[](unsigned long d, unsigned int& v, unsigned int& r) { return GetColorCorrectionIntensity(d, &v, &r); },
     SetColorCorrectionIntensity},
    {[](unsigned long d, unsigned int& v, unsigned int& r) { return GetVividOnOffState(d, nullptr, nullptr, &v, &r); },
     SetNoiseRemoveOnOff},
    {[](unsigned long d, unsigned int& v, unsigned int& r) { return GetRemoveNoiseSensitivity(d, &v, &r); },
     SetNoiseRemoveSensitivity},
    // The area is four registers, each read-modify-written by the setter itself.
    {[](unsigned long d, unsigned int& v, unsigned int& r) {
         r = 0;
         return GetVideoProcessingArea(d, &v);
     },
     [](unsigned long d, unsigned int, unsigned int v) {
         if (v > kAreaRight) return false;
         const ProcessingAreaPreset& a = kProcessingAreaPresets[v];
         return SetVideoProcessingArea(d, a.hOffset, a.vOffset, a.width, a.height);
     },
     false},
    {[](unsigned long d, unsigned int& v, unsigned int& r) { return GetNavoThroughDisplayOnOffState(d, &v, &r); },
     SetNavoThroughDisplay},
};

constexpr Feature kTable[] = {
    {"vivid", Kind::OnOff, 1, nullptr, 0, 0, true, true},
    {"vivid.range", Kind::Choice, 0, kRangeNames, 4, 3, true, true},
    {"vivid.intensity", Kind::Number, 255, nullptr, 0, 0, true, true},
    {"sharpening", Kind::OnOff, 1, nullptr, 0, 0, true, true},
    {"sharpening.size", Kind::Choice, 0, kSizeNames, 3, 3, false, true},
    {"sharpening.intensity", Kind::Number, 65535, nullptr, 0, 0, true, true},
    {"contrast", Kind::OnOff, 1, nullptr, 0, 0, true, true},
    {"contrast.auto-brightness", Kind::OnOff, 1, nullptr, 0, 0, true, true},
    {"contrast.adaptive", Kind::Number, 255, nullptr, 0, 0, true, true},
    {"contrast.brightness", Kind::Number, 255, nullptr, 0, 0, true, true},
    {"contrast.threshold", Kind::Number, 255, nullptr, 0, 0, true, true},
    {"color-correction", Kind::OnOff, 1, nullptr, 0, 0, true, true},
    {"color-correction.intensity", Kind::Number, 63, nullptr, 0, 0, true, true},
    {"noise-remove", Kind::OnOff, 1, nullptr, 0, 0, true, true},
    {"noise-remove.sensitivity", Kind::Number, 255, nullptr, 0, 0, true, true},
    {"area", Kind::Choice, 0, kAreaNames, 5, 4, true, true},
    {"through", Kind::OnOff, 1, nullptr, 0, 0, true, true},
};
static_assert(std::size(kTable) == std::size(kAccess));

const Access& AccessOf(const Feature& feature) { return kAccess[&feature - kTable]; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = Lower(c);
    return out;
}

// A number as the console reads a register value (0x and up to 8 hex digits),
// or a decimal one.
bool ParseNumber(const std::string& text, unsigned int& value) {
    if (text.size() > 2 && text[0] == '0' && text[1] == 'x')
        return parse::Hex32(std::u16string(text.begin(), text.end()), value) == parse::Hex::Ok;
    return parse::Decimal(text, value);
}

bool Parse(const Feature& f, std::string_view text, bool forWriting, unsigned int& value, std::string& error) {
    const std::string t = Lowered(text);
    const std::string name = f.name;
    switch (f.kind) {
    case Kind::OnOff:
        if (t == "on" || t == "1" || t == "true")
            value = 1;
        else if (t == "off" || t == "0" || t == "false")
            value = 0;
        else {
            error = name + ": \"" + std::string(text) + "\" is not on or off";
            return false;
        }
        return true;
    case Kind::Number:
        if (!ParseNumber(t, value)) {
            error = name + ": \"" + std::string(text) + "\" is not a number";
            return false;
        }
        if (value > f.max) {
            error = name + ": " + std::string(text) + " is out of range (0-" + std::to_string(f.max) + ")";
            return false;
        }
        return true;
    case Kind::Choice: {
        std::string allowed;
        for (unsigned int i = 0; i < f.choiceCount; ++i) {
            if (t == f.choices[i]) {
                if (forWriting && i >= f.writableChoices) {
                    error = name + ": " + t + " can be read but not written";
                    return false;
                }
                value = i;
                return true;
            }
            if (i < f.writableChoices) allowed += (allowed.empty() ? "" : ", ") + std::string(f.choices[i]);
        }
        if (!forWriting && t == "unknown") {
            value = kVividRangeUnknown;
            return true;
        }
        error = name + ": \"" + std::string(text) + "\" is not one of " + allowed;
        return false;
    }
    }
    return false;
}

}  // namespace

std::span<const Feature> Table() { return kTable; }

const Feature* Find(std::string_view name) {
    // Letters in any case, as the INI layer matches the section a profile's
    // names stand in: one rule for every name a user types.
    auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
            if (x != b[i]) return false;
        }
        return true;
    };
    for (const Feature& f : kTable)
        if (same(name, f.name)) return &f;
    return nullptr;
}

std::string FormatValue(const Feature& feature, unsigned int value) {
    switch (feature.kind) {
    case Kind::OnOff: return value != 0 ? "on" : "off";
    case Kind::Number: return std::to_string(value);
    case Kind::Choice: return value < feature.choiceCount ? feature.choices[value] : "unknown";
    }
    return {};
}

bool ParseValue(const Feature& feature, std::string_view text, unsigned int& value, std::string& error) {
    return Parse(feature, text, true, value, error);
}

bool ParseReadValue(const Feature& feature, std::string_view text, unsigned int& value, std::string& error) {
    return Parse(feature, text, false, value, error);
}

bool CheckAssignment(std::string_view name, std::string_view value, Assignment& out, std::string& error) {
    const Feature* f = Find(name);
    if (f == nullptr) {
        error = "unknown feature \"" + std::string(name) + "\"";
        return false;
    }
    if (!f->writable) {
        error = std::string(f->name) + " is read only";
        return false;
    }
    unsigned int v = 0;
    if (!ParseValue(*f, value, v, error)) return false;
    out.feature = f;
    out.value = v;
    return true;
}

bool ParseAssignment(std::string_view text, Assignment& out, std::string& error) {
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        error.assign(1, '"').append(text).append("\" is not NAME=VALUE");
        return false;
    }
    return CheckAssignment(text.substr(0, eq), text.substr(eq + 1), out, error);
}

bool Read(unsigned long device, const Feature& feature, unsigned int& value) {
    if (!feature.readable) return false;
    unsigned int raw = 0;
    return AccessOf(feature).read(device, value, raw);
}

bool Write(unsigned long device, const Assignment& assignment) {
    if (assignment.feature == nullptr || !assignment.feature->writable) return false;
    const Access& access = AccessOf(*assignment.feature);
    unsigned int raw = 0;
    if (access.readFirst) {
        unsigned int current = 0;
        if (!access.read(device, current, raw)) return false;
        // The chip needs a pause between a read and the write that follows it.
        WexSleep(1);
    }
    return access.write(device, raw, assignment.value);
}

}  // namespace features
