#include "CommandLine.h"

#include <algorithm>

namespace cmdline {
namespace {

bool LooksLikeOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

bool Named(const Option& option, std::string_view word) {
    return word == option.name || (!option.alias.empty() && word == option.alias);
}

// The option `word` names, alone or as "NAME=VALUE" (then `inlineValue`).
const Option* Find(std::span<const Option> table, const std::string& word, bool& inlineValue) {
    for (const Option& option : table) {
        if (Named(option, word)) {
            inlineValue = false;
            return &option;
        }
        // A flag given a value is not that flag.
        if (option.value.empty()) continue;
        const size_t eq = word.find('=');
        if (eq != std::string::npos && Named(option, std::string_view(word).substr(0, eq))) {
            inlineValue = true;
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

bool Parsed::Has(std::string_view name) const {
    return std::any_of(options.begin(), options.end(), [&](const Match& m) { return m.option->name == name; });
}

std::vector<std::string> Parsed::Operands() const {
    std::vector<std::string> out;
    bool literal = false;
    for (const std::string& word : rest) {
        if (!literal && word == "--")
            literal = true;
        else if (literal || !LooksLikeOption(word))
            out.push_back(word);
    }
    return out;
}

std::vector<std::string> Parsed::Unknown() const {
    std::vector<std::string> out;
    for (const std::string& word : rest) {
        if (word == "--") break;
        if (LooksLikeOption(word)) out.push_back(word);
    }
    return out;
}

bool Parse(std::span<const std::string> args, std::span<const Option> table, Parsed& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--") {
            out.rest.insert(out.rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            return true;
        }
        bool inlineValue = false;
        const Option* option = Find(table, word, inlineValue);
        if (option == nullptr) {
            out.rest.push_back(word);
            continue;
        }
        Match match{option, {}, out.rest.size()};
        if (!option->value.empty()) {
            if (inlineValue)
                match.value = word.substr(word.find('=') + 1);
            else if (i + 1 < args.size())
                match.value = args[++i];
            // An empty value would quietly fall back to the environment or a default.
            if (match.value.empty() || (option->check != nullptr && !option->check(match.value))) {
                out.error = std::string(option->name) + " needs " + std::string(option->needs);
                return false;
            }
        }
        out.options.push_back(std::move(match));
    }
    return true;
}

std::string Spelling(const Option& option) {
    std::string text(option.name);
    if (!option.alias.empty()) text.append(", ").append(option.alias);
    if (!option.value.empty()) text.append(" ").append(option.value);
    return text;
}

std::string Usage(const Option& option) {
    std::string text = std::string("[").append(option.name);
    if (!option.value.empty()) text.append(" ").append(option.value);
    return text + "]";
}

std::string HelpLines(std::initializer_list<std::span<const Option>> tables) {
    size_t width = 0;
    for (const auto& table : tables)
        for (const Option& option : table) width = std::max(width, Spelling(option).size());
    std::string text;
    for (const auto& table : tables) {
        for (const Option& option : table) {
            const std::string spelling = Spelling(option);
            text.append("  ").append(spelling).append(width + 2 - spelling.size(), ' ');
            text.append(option.help).append("\n");
        }
    }
    return text;
}

}  // namespace cmdline
