#include "Features.h"

#include "SPIUtil.h"
#include "TextParse.h"
#include "TimeUtil.h"
#include "trace.h"

namespace features {
namespace {

const char* const kRangeNames[] = {"large", "medium", "small", "tiny"};
const char* const kSizeNames[] = {"large", "medium", "small"};
const char* const kAreaNames[] = {"all", "center", "left", "right", "custom"};

// In `get` order. The getter's second argument is the feature's place among
// the outputs of a getter that reads several features from one register.
constexpr Feature kTable[] = {
    {.name = "vivid", .kind = Kind::OnOff, .getter = {GetVividOnOffState, 0}, .setter = SetVividiOnOff},
    {.name = "vivid.range",
     .kind = Kind::Choice,
     .choices = kRangeNames,
     .choiceCount = 4,
     .writableChoices = 3,
     .getter = GetVividRange,
     .setter = SetVividRange,
     .function = "vivid",
     .whenOff = WhenOff::Skip},
    {.name = "vivid.intensity",
     .kind = Kind::Number,
     .max = 255,
     .getter = GetVividIntensity,
     .setter = SetVividIntensity,
     .function = "vivid",
     .whenOff = WhenOff::Skip},
    {.name = "sharpening", .kind = Kind::OnOff, .getter = GetSharpeningOnOffState, .setter = SetSharpeningOnOff},
    // The kernel is written whole, and nothing reads it back.
    {.name = "sharpening.size",
     .kind = Kind::Choice,
     .choices = kSizeNames,
     .choiceCount = 3,
     .writableChoices = 3,
     .readable = false,
     .setter = SetSharpeningProcessSize,
     .function = "sharpening",
     .whenOff = WhenOff::Skip},
    {.name = "sharpening.intensity",
     .kind = Kind::Number,
     .max = 65535,
     .getter = GetSharpeningIntensity,
     .setter = SetSharpeningIntensity,
     .function = "sharpening",
     .whenOff = WhenOff::Skip},
    {.name = "contrast",
     .kind = Kind::OnOff,
     .getter = {GetExtendedContrastParameters, 0},
     .setter = SetExtendedContrastOnOff},
    {.name = "contrast.auto-brightness",
     .kind = Kind::OnOff,
     .getter = {GetExtendedContrastParameters, 1},
     .setter = SetAutoBrightnessOnOff},
    {.name = "contrast.adaptive",
     .kind = Kind::Number,
     .max = 255,
     .getter = {GetExtendedContrastParameters, 2},
     .setter = SetAdaptiveContrast,
     .function = "contrast",
     .whenOff = WhenOff::Skip},
    {.name = "contrast.brightness",
     .kind = Kind::Number,
     .max = 255,
     .getter = {GetBrightnessAndThreshold, 0},
     .setter = SetBrightness,
     .function = "contrast",
     .whenOff = WhenOff::Skip},
    {.name = "contrast.threshold",
     .kind = Kind::Number,
     .max = 255,
     .getter = {GetBrightnessAndThreshold, 1},
     .setter = SetThreshold,
     .function = "contrast",
     .whenOff = WhenOff::Skip},
    {.name = "color-correction",
     .kind = Kind::OnOff,
     .getter = {GetVividOnOffState, 1},
     .setter = SetColorCorrectionOnOff},
    {.name = "color-correction.intensity",
     .kind = Kind::Number,
     .max = 63,
     .getter = GetColorCorrectionIntensity,
     .setter = SetColorCorrectionIntensity,
     .function = "color-correction",
     .whenOff = WhenOff::SwitchOn},
    {.name = "noise-remove", .kind = Kind::OnOff, .getter = {GetVividOnOffState, 2}, .setter = SetNoiseRemoveOnOff},
    {.name = "noise-remove.sensitivity",
     .kind = Kind::Number,
     .max = 255,
     .getter = GetRemoveNoiseSensitivity,
     .setter = SetNoiseRemoveSensitivity,
     .function = "noise-remove",
     .whenOff = WhenOff::SwitchOn},
    // Four registers, each read-modify-written by the setter itself.
    {.name = "area",
     .kind = Kind::Choice,
     .choices = kAreaNames,
     .choiceCount = 5,
     .writableChoices = 4,
     .getter = GetVideoProcessingArea,
     .setter = SetVideoProcessingAreaPreset},
    {.name = "through",
     .kind = Kind::OnOff,
     .getter = GetNavoThroughDisplayOnOffState,
     .setter = SetNavoThroughDisplay},
};

// The outcome of one read-modify-write.
enum class Step { ReadFailed, AlreadySet, Written, WriteFailed };

// The one read-modify-write: the getter's raw value (and, when asked, the
// feature's value, which the getter logs), a 1 ms pause, the setter. With
// `onlyWhenDifferent` the write is left out when the chip already holds `value`.
Step Modify(unsigned long device, const Feature& f, unsigned int value, WriteOptions options, bool onlyWhenDifferent) {
    unsigned int raw = 0;
    if (f.setter.NeedsCurrent()) {
        unsigned int current = 0;
        unsigned int* outputs[3] = {};
        if (options.logCurrent || onlyWhenDifferent) outputs[f.getter.Output()] = &current;
        if (!f.getter.Call(device, outputs, &raw)) return Step::ReadFailed;
        if (onlyWhenDifferent && current == value) return Step::AlreadySet;
        if (options.traceRaw) TD_TRACEF("nOriginRegValue = %08X \r\n", raw);
        // The chip needs a pause between a read and the write that follows it.
        WexSleep(1);
    }
    return f.setter.Call(device, raw, value) ? Step::Written : Step::WriteFailed;
}

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

const Feature* FunctionOf(const Feature& feature) {
    return feature.function != nullptr ? Find(feature.function) : nullptr;
}

unsigned int MaxValue(const Feature& feature) {
    switch (feature.kind) {
    case Kind::OnOff: return 1;
    case Kind::Number: return feature.max;
    case Kind::Choice: return feature.writableChoices > 0 ? feature.writableChoices - 1 : 0;
    }
    return 0;
}

bool Getter::SameCall(const Getter& other) const {
    return outputs_ != 0 && one_ == other.one_ && two_ == other.two_ && three_ == other.three_ &&
           noRaw_ == other.noRaw_;
}

bool Getter::Call(unsigned long device, unsigned int* const* outputs, unsigned int* raw) const {
    if (one_ != nullptr) return one_(device, outputs[0], raw);
    if (two_ != nullptr) return two_(device, outputs[0], outputs[1], raw);
    if (three_ != nullptr) return three_(device, outputs[0], outputs[1], outputs[2], raw);
    if (noRaw_ != nullptr) {
        // Several registers: there is no one raw value to hand back.
        if (raw != nullptr) *raw = 0;
        return noRaw_(device, outputs[0]);
    }
    return false;
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
    if (!feature.readable || !feature.getter) return false;
    unsigned int raw = 0;
    unsigned int* outputs[3] = {};
    outputs[feature.getter.Output()] = &value;
    return feature.getter.Call(device, outputs, &raw);
}

bool ReadEach(unsigned long device, std::span<const Feature* const> list, std::vector<unsigned int>& values,
              size_t& failed) {
    values.assign(list.size(), 0);
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0) WexSleep(1);
        if (!Read(device, *list[i], values[i])) {
            failed = i;
            return false;
        }
    }
    return true;
}

bool ReadTogether(unsigned long device, std::span<const Feature* const> group, unsigned int* values) {
    if (group.empty() || group[0] == nullptr || !group[0]->getter) return false;
    const Getter& getter = group[0]->getter;
    unsigned int* outputs[3] = {};
    for (size_t i = 0; i < group.size(); ++i) {
        if (group[i] == nullptr || !group[i]->getter.SameCall(getter)) return false;
        outputs[group[i]->getter.Output()] = &values[i];
    }
    return getter.Call(device, outputs, nullptr);
}

bool Write(unsigned long device, const Assignment& assignment, WriteOptions options) {
    if (assignment.feature == nullptr || !assignment.feature->writable) return false;
    return Modify(device, *assignment.feature, assignment.value, options, false) == Step::Written;
}

bool SwitchOn(unsigned long device, const Feature& function) {
    if (function.kind != Kind::OnOff || !function.writable) return false;
    switch (Modify(device, function, 1, {}, true)) {
    case Step::WriteFailed: return false;
    case Step::Written: WexSleep(1); return true;
    default: return true;
    }
}

}  // namespace features
