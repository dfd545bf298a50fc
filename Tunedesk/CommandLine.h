// The programs' command-line options as records. The parser and the help
// both read them, so what a program accepts and what its --help lists are
// one list. The panel and tunedesk-cli share this parser.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cmdline {

struct Option {
    std::string_view name = {};   // "--device", or a short one such as "-o"
    std::string_view alias = {};  // a second spelling ("-q"), or ""
    std::string_view value = {};  // the value's placeholder ("N", "FILE"); "" for a flag
    std::string_view help = {};   // the help line
    // What a missing, empty or refused value lacks: "NAME needs NEEDS".
    std::string_view needs = "a value";
    // A check beyond "not empty"; nullptr takes any value.
    bool (*check)(const std::string& value) = nullptr;
};

struct Match {
    const Option* option = nullptr;
    std::string value;           // "" for a flag
    std::size_t restBefore = 0;  // words left to `rest` before this option
};

struct Parsed {
    std::vector<Match> options;     // in command-line order
    std::vector<std::string> rest;  // every other word in order, "--" and all after it included
    std::string error;              // the first bad option; `options` holds those before it

    bool Has(std::string_view name) const;
    // The words of `rest` that are arguments: those before "--" that do not
    // look like an option ('-' and more), and every word after it.
    std::vector<std::string> Operands() const;
    // The words before "--" that look like an option but are none of the table.
    std::vector<std::string> Unknown() const;
};

// Reads `args` against `table`: "NAME VALUE" or "NAME=VALUE" for an option
// with a value, NAME alone for a flag, and "--" ends the options. A missing
// or empty value, or one its check refuses, stops the parse with
// "NAME needs NEEDS" in `out.error`; false then.
bool Parse(std::span<const std::string> args, std::span<const Option> table, Parsed& out);

// As the help and the man pages spell an option: "--device N", "--quiet, -q".
std::string Spelling(const Option& option);
// As a command's usage line shows it: "[--seq a|b]".
std::string Usage(const Option& option);
// One line per option, "  SPELLING  HELP", the help lines aligned in one
// column for all `tables`.
std::string HelpLines(std::initializer_list<std::span<const Option>> tables);

}  // namespace cmdline
