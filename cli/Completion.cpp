// The bash completion script, written from the command, option and feature
// tables, so that what it offers is what the program takes.
#include <algorithm>
#include <string>
#include <vector>

#include "Cli.h"
#include "Features.h"

namespace cli {
namespace {

std::string Quoted(std::string_view word) { return std::string(1, '"').append(word).append(1, '"'); }

void AddOnce(std::vector<const cmdline::Option*>& options, const cmdline::Option& o) {
    if (std::none_of(options.begin(), options.end(), [&](const cmdline::Option* k) { return k->name == o.name; }))
        options.push_back(&o);
}

// One case arm per option that takes a value: what its value completes from.
std::string OptionValues() {
    std::vector<const cmdline::Option*> options;
    for (const cmdline::Option& o : GlobalOptions()) AddOnce(options, o);
    for (const Command& c : Commands())
        for (const cmdline::Option& o : c.options) AddOnce(options, o);
    std::string arms;
    for (const cmdline::Option* o : options) {
        if (o->value.empty()) continue;
        std::string what = "typed";
        if (o->value == "FILE") {
            what = "files";
        } else if (o->value.find('|') != std::string_view::npos) {
            what = "words ";
            for (const char c : o->value) what += c == '|' ? ' ' : c;
        }
        arms.append("    ").append(o->name);
        if (!o->alias.empty()) arms.append("|").append(o->alias);
        arms.append(") echo ").append(Quoted(what)).append(" ;;\n");
    }
    return arms;
}

std::string Names(std::span<const cmdline::Option> options) {
    std::string words;
    for (const cmdline::Option& o : options) {
        words.append(words.empty() ? "" : " ").append(o.name);
        if (!o.alias.empty()) words.append(" ").append(o.alias);
    }
    return words;
}

}  // namespace

std::string BashCompletion() {
    std::vector<std::string> words;
    std::string subArms, optionArms, operandArms;
    for (const Command& c : Commands()) {
        const std::string name(c.name);
        const std::string word = name.substr(0, name.find(' '));
        if (std::find(words.begin(), words.end(), word) == words.end()) {
            words.push_back(word);
            std::string subs;
            for (const Command& s : Commands())
                if (s.name.size() > word.size() && s.name.substr(0, word.size() + 1) == word + " ")
                    subs += (subs.empty() ? "" : " ") + std::string(s.name.substr(word.size() + 1));
            if (!subs.empty()) subArms += "    " + word + ") echo " + Quoted(subs) + " ;;\n";
        }
        if (!c.options.empty()) optionArms += "    " + Quoted(name) + ") echo " + Quoted(Names(c.options)) + " ;;\n";
        const std::string_view operands = c.operands;
        const char* kind = operands.find("FEATURE=VALUE") != std::string_view::npos ? "assignments"
                           : operands.find("FEATURE") != std::string_view::npos     ? "features"
                           : operands.find("FILE") != std::string_view::npos        ? "files"
                                                                                    : nullptr;
        if (kind != nullptr) operandArms += "    " + Quoted(name) + ") echo " + kind + " ;;\n";
    }
    std::string commandWords, readable, writable, valueArms;
    for (const std::string& w : words) commandWords += (commandWords.empty() ? "" : " ") + w;
    for (const features::Feature& f : features::Table()) {
        if (f.readable) readable += (readable.empty() ? "" : " ") + std::string(f.name);
        if (!f.writable) continue;
        writable += (writable.empty() ? "" : " ") + std::string(f.name) + "=";
        std::string values;
        if (f.kind == features::Kind::OnOff) values = "on off";
        for (unsigned int v = 0; f.kind == features::Kind::Choice && v < f.writableChoices; ++v)
            values.append(values.empty() ? "" : " ").append(features::FormatValue(f, v));
        if (!values.empty()) valueArms += "    " + std::string(f.name) + ") echo " + Quoted(values) + " ;;\n";
    }

    return "# bash completion for tunedesk-cli: commands, options, feature names and\n"
           "# values. Written from the program's own tables when it is built.\n"
           "\n"
           "# What the value of option $1 completes from: \"files\", \"words W...\" or\n"
           "# \"typed\"; status 1 for an option that takes no value.\n"
           "_tunedesk_cli_value_of() {\n"
           "    case $1 in\n" +
           OptionValues() +
           "    *) return 1 ;;\n"
           "    esac\n"
           "}\n"
           "\n"
           "_tunedesk_cli_subcommands() {\n"
           "    case $1 in\n" +
           subArms +
           "    esac\n"
           "}\n"
           "\n"
           "_tunedesk_cli_options() {\n"
           "    case $1 in\n" +
           optionArms +
           "    esac\n"
           "}\n"
           "\n"
           "_tunedesk_cli_operands() {\n"
           "    case $1 in\n" +
           operandArms +
           "    esac\n"
           "}\n"
           "\n"
           "_tunedesk_cli_feature_values() {\n"
           "    case $1 in\n" +
           valueArms +
           "    esac\n"
           "}\n"
           "\n"
           "# Offers words $1 for the text $2. After NAME= readline replaces only what\n"
           "# follows the '=' when '=' breaks words; otherwise NAME= ($3) leads each word.\n"
           "_tunedesk_cli_reply() {\n"
           "    local prefix=\"\"\n"
           "    [[ -n $3 && $COMP_WORDBREAKS != *=* ]] && prefix=$3\n"
           "    mapfile -t COMPREPLY < <(compgen -P \"$prefix\" -W \"$1\" -- \"$2\")\n"
           "}\n"
           "\n"
           "_tunedesk_cli_files() {\n"
           "    local prefix=\"\"\n"
           "    [[ -n $2 && $COMP_WORDBREAKS != *=* ]] && prefix=$2\n"
           "    compopt -o filenames 2>/dev/null\n"
           "    mapfile -t COMPREPLY < <(compgen -P \"$prefix\" -f -- \"$1\")\n"
           "}\n"
           "\n"
           "# The value $2 of option $1 (NAME= before it in the word: $3).\n"
           "_tunedesk_cli_value() {\n"
           "    local what\n"
           "    what=$(_tunedesk_cli_value_of \"$1\") || return\n"
           "    case $what in\n"
           "    files) _tunedesk_cli_files \"$2\" \"$3\" ;;\n"
           "    words\\ *) _tunedesk_cli_reply \"${what#words }\" \"$2\" \"$3\" ;;\n"
           "    esac\n"
           "}\n"
           "\n"
           "_tunedesk_cli() {\n"
           "    COMPREPLY=()\n"
           "    # Words as the program sees them: split at blanks only, so that\n"
           "    # NAME=VALUE stays one word whatever COMP_WORDBREAKS holds.\n"
           "    local line=${COMP_LINE:0:COMP_POINT} cur=\"\"\n"
           "    local -a words\n"
           "    read -ra words <<<\"$line\"\n"
           "    if [[ $line != *[[:space:]] && ${#words[@]} -gt 1 ]]; then\n"
           "        cur=${words[-1]}\n"
           "        unset 'words[-1]'\n"
           "    fi\n"
           "    local command=\"\" word i value=0 literal=0\n"
           "    for ((i = 1; i < ${#words[@]}; i++)); do\n"
           "        word=${words[i]}\n"
           "        if ((value)); then\n"
           "            value=0\n"
           "        elif ((!literal)) && [[ $word == -- ]]; then\n"
           "            literal=1\n"
           "        elif ((!literal)) && [[ $word == -?* ]]; then\n"
           "            [[ $word != *=* ]] && _tunedesk_cli_value_of \"$word\" >/dev/null && value=1\n"
           "        elif [[ -z $command ]]; then\n"
           "            command=$word\n"
           "        elif [[ $command != *\" \"* && -n $(_tunedesk_cli_subcommands \"$command\") ]]; then\n"
           "            command=\"$command $word\"\n"
           "        fi\n"
           "    done\n"
           "    if ((value)); then\n"
           "        _tunedesk_cli_value \"${words[-1]}\" \"$cur\"\n"
           "        return\n"
           "    fi\n"
           "    if ((!literal)) && [[ $cur == -?*=* ]]; then\n"
           "        _tunedesk_cli_value \"${cur%%=*}\" \"${cur#*=}\" \"${cur%%=*}=\"\n"
           "        return\n"
           "    fi\n"
           "    if ((!literal)) && [[ $cur == -* ]]; then\n"
           "        _tunedesk_cli_reply \"" +
           Names(GlobalOptions()) +
           " $(_tunedesk_cli_options \"$command\")\" \"$cur\"\n"
           "        return\n"
           "    fi\n"
           "    if [[ -z $command ]]; then\n"
           "        _tunedesk_cli_reply \"" +
           commandWords +
           "\" \"$cur\"\n"
           "        return\n"
           "    fi\n"
           "    local subs\n"
           "    subs=$(_tunedesk_cli_subcommands \"$command\")\n"
           "    if [[ -n $subs && $command != *\" \"* ]]; then\n"
           "        _tunedesk_cli_reply \"$subs\" \"$cur\"\n"
           "        return\n"
           "    fi\n"
           "    case $(_tunedesk_cli_operands \"$command\") in\n"
           "    features) _tunedesk_cli_reply \"" +
           readable +
           "\" \"$cur\" ;;\n"
           "    assignments)\n"
           "        if [[ $cur == *=* ]]; then\n"
           "            _tunedesk_cli_reply \"$(_tunedesk_cli_feature_values \"${cur%%=*}\")\" \"${cur#*=}\" "
           "\"${cur%%=*}=\"\n"
           "        else\n"
           "            _tunedesk_cli_reply \"" +
           writable +
           "\" \"$cur\"\n"
           "            compopt -o nospace 2>/dev/null\n"
           "        fi\n"
           "        ;;\n"
           "    files) _tunedesk_cli_files \"$cur\" ;;\n"
           "    esac\n"
           "}\n"
           "\n"
           "complete -F _tunedesk_cli tunedesk-cli\n";
}

}  // namespace cli
