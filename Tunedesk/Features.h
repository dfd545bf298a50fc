// The picture-quality features by name, as scripts and profile files spell
// them: how each value is written and parsed, its range, and how it is read
// and written through the register map's getters and setters. The panel's
// profile menu and tunedesk-cli share this table.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace features {

enum class Kind { OnOff, Number, Choice };

struct Feature {
    const char* name;
    Kind kind;
    unsigned int max;              // Number: values 0..max
    const char* const* choices;    // Choice: names by value
    unsigned int choiceCount;      // Choice: names known
    unsigned int writableChoices;  // Choice: values below this can be written; the rest are only read
    bool readable;                 // read back by `get` and saved in profiles
    bool writable;
};

// Every feature, in the order `get` prints them and profiles list them.
std::span<const Feature> Table();
// nullptr for an unknown name (ASCII letters in any case).
const Feature* Find(std::string_view name);

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
// Writes the feature as a read-modify-write: the getter's raw value, a 1 ms
// pause, then the setter that replaces only the feature's field.
bool Write(unsigned long device, const Assignment& assignment);

}  // namespace features
