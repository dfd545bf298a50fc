// The picture-quality features by name, as scripts and profile files spell
// them: how each value is written and parsed, its range, which getter and
// setter of the register map reach it, and when the panel writes it. One
// table holds all of it; the panel's handlers and read-back, the profile menu
// and tunedesk-cli go through it.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace features {

enum class Kind { OnOff, Number, Choice };

// A getter of the register map and which of its outputs is the feature's.
// Features that share a register share its getter: one call decodes, logs and
// hands back every output it is asked for in one transaction.
class Getter {
public:
    using One = bool (*)(unsigned long device, unsigned int* value, unsigned int* raw);
    using Two = bool (*)(unsigned long device, unsigned int*, unsigned int*, unsigned int* raw);
    using Three = bool (*)(unsigned long device, unsigned int*, unsigned int*, unsigned int*, unsigned int* raw);
    // Reads several registers, so there is no one raw value.
    using NoRaw = bool (*)(unsigned long device, unsigned int* value);

    constexpr Getter() = default;
    constexpr Getter(One f) : one_(f), outputs_(1) {}
    constexpr Getter(NoRaw f) : noRaw_(f), outputs_(1) {}
    constexpr Getter(Two f, unsigned int output) : two_(f), outputs_(2), output_(output) {}
    constexpr Getter(Three f, unsigned int output) : three_(f), outputs_(3), output_(output) {}

    explicit operator bool() const { return outputs_ != 0; }
    // How many outputs the getter has, and which one is the feature's.
    unsigned int Outputs() const { return outputs_; }
    unsigned int Output() const { return output_; }
    bool GivesRaw() const { return noRaw_ == nullptr && outputs_ != 0; }
    // true when both are the same register-map function (one call serves both).
    bool SameCall(const Getter& other) const;
    // Calls the getter; `outputs` holds Outputs() pointers (null: not asked for).
    bool Call(unsigned long device, unsigned int* const* outputs, unsigned int* raw) const;

private:
    One one_ = nullptr;
    Two two_ = nullptr;
    Three three_ = nullptr;
    NoRaw noRaw_ = nullptr;
    unsigned int outputs_ = 0;
    unsigned int output_ = 0;
};

// A setter of the register map: either it replaces the feature's field in the
// register's current value (the getter's raw value), or it writes its
// registers whole and needs nothing read first.
class Setter {
public:
    using Field = bool (*)(unsigned long device, unsigned int current, unsigned int value);
    using Whole = bool (*)(unsigned long device, unsigned int value);

    constexpr Setter() = default;
    constexpr Setter(Field f) : field_(f) {}
    constexpr Setter(Whole f) : whole_(f) {}

    explicit operator bool() const { return field_ != nullptr || whole_ != nullptr; }
    bool NeedsCurrent() const { return field_ != nullptr; }
    bool Call(unsigned long device, unsigned int current, unsigned int value) const {
        return field_ != nullptr ? field_(device, current, value) : whole_ != nullptr && whole_(device, value);
    }

private:
    Field field_ = nullptr;
    Whole whole_ = nullptr;
};

// What the panel does with a feature of a function (Vivid, Sharpening,
// Extended Contrast, ...) while that function is off. Scripts and profiles
// write what they are told and do not look at it.
enum class WhenOff {
    Write,     // the feature stands alone
    Skip,      // nothing is written while the function's control shows OFF
    SwitchOn,  // the function is switched on in the chip first (no control shows it)
};

struct Feature {
    const char* name;
    Kind kind;
    unsigned int max = 0;                  // Number: values 0..max
    const char* const* choices = nullptr;  // Choice: names by value
    unsigned int choiceCount = 0;          // Choice: names known
    unsigned int writableChoices = 0;      // Choice: values below this can be written; the rest are only read
    bool readable = true;                  // read back by `get` and saved in profiles
    bool writable = true;
    Getter getter{};
    Setter setter{};
    const char* function = nullptr;  // the OnOff feature this one belongs to
    WhenOff whenOff = WhenOff::Write;
};

// Every feature, in the order `get` prints them and profiles list them.
std::span<const Feature> Table();
// nullptr for an unknown name (ASCII letters in any case).
const Feature* Find(std::string_view name);
// The OnOff feature `feature` belongs to; nullptr when it stands alone.
const Feature* FunctionOf(const Feature& feature);
// The largest value that can be written: 1 for OnOff, the range's top for a
// Number, the last writable choice.
unsigned int MaxValue(const Feature& feature);

// A value as text: "on"/"off", a decimal number, or a choice name
// ("unknown" for a code no name stands for).
std::string FormatValue(const Feature& feature, unsigned int value);

// Parses a value to write: on/off (also 1/0, true/false), a decimal number or
// 0x-prefixed hex within range, a writable choice name; letters in any case.
// False with a one-line error naming the feature.
bool ParseValue(const Feature& feature, std::string_view text, unsigned int& value, std::string& error);
// As ParseValue, but also accepts the values that can only be read ("tiny",
// "custom", "unknown"), as a profile saved from the chip may hold them.
bool ParseReadValue(const Feature& feature, std::string_view text, unsigned int& value, std::string& error);

// A feature with a value: one to write, or one read from the chip or a file.
struct Assignment {
    const Feature* feature = nullptr;
    unsigned int value = 0;
};
// Checks one "name=value": known name, writable feature, value in range.
bool ParseAssignment(std::string_view text, Assignment& out, std::string& error);
bool CheckAssignment(std::string_view name, std::string_view value, Assignment& out, std::string& error);

// Reads the feature from the chip through its getter; false when the
// transaction failed (the register layer has logged why).
bool Read(unsigned long device, const Feature& feature, unsigned int& value);
// Reads the features of `list` one after the other, 1 ms apart, `values[i]`
// for `list[i]`; false at the first read that failed, `failed` its index.
bool ReadEach(unsigned long device, std::span<const Feature* const> list, std::vector<unsigned int>& values,
              size_t& failed);
// Reads several features with one call of the getter they share (in one
// transaction), `values[i]` for `group[i]`; the getter logs each of them.
// false when the read failed or the features do not share a getter.
bool ReadTogether(unsigned long device, std::span<const Feature* const> group, unsigned int* values);

// How a write reads the register before it replaces the feature's field.
struct WriteOptions {
    bool logCurrent = true;  // also ask the getter for the feature's value, which it then logs
    bool traceRaw = false;   // put the raw value on the debug trace
};
// Writes the feature as a read-modify-write: the getter's raw value, a 1 ms
// pause, then the setter that replaces only the feature's field. A feature
// whose setter writes whole registers is written without a read.
bool Write(unsigned long device, const Assignment& assignment, WriteOptions options = {});
// Switches the OnOff feature `function` on when the chip reads it off: its
// read-modify-write, then a 1 ms pause before whatever the caller writes
// next. false only when that write failed; a failed read changes nothing.
bool SwitchOn(unsigned long device, const Feature& function);

}  // namespace features
