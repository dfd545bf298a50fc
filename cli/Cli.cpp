// tunedesk-cli: the command table, global options, opening the bridge,
// output and help.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "Cli.h"
#include "Ch347Sim.h"
#include "PanelClient.h"
#include "Convert.h"
#include "Features.h"
#include "LogStamp.h"
#include "SPIUtil.h"
#include "SpiReadWriteOps.h"
#include "SpiSettingFile.h"
#include "StartOptions.h"
#include "TextParse.h"
#include "TunedeskVersion.h"
#include "spilink.h"

#include <fcntl.h>
#include <unistd.h>

namespace cli {
namespace {

bool IsBridgeNumber(const std::string& text) {
    unsigned long long n = 0;
    return parse::Decimal(text, 15, n, 2);
}

bool IsSequence(const std::string& text) { return text == "a" || text == "b"; }

// Seconds, whole or with a fraction, at most an hour.
bool IsSeconds(const std::string& text) {
    const size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot), fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    unsigned long long n = 0, f = 0;
    if (!parse::Decimal(whole, 3600, n, 4)) return false;
    return dot == std::string::npos || (parse::Decimal(fraction, 999, f, 3) && (n < 3600 || f == 0));
}

std::chrono::milliseconds Milliseconds(const std::string& text) {
    const size_t dot = text.find('.');
    unsigned long long n = 0, f = 0;
    parse::Decimal(text.substr(0, dot), 3600, n, 4);
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    fraction.resize(3, '0');
    parse::Decimal(fraction, 999, f, 3);
    return std::chrono::milliseconds(n * 1000 + f);
}

const cmdline::Option kGlobalOptions[] = {
    {.name = "--device",
     .value = "N",
     .help = "bridge N as `list` shows it (default: the first listed)",
     .needs = "a bridge number 0-15",
     .check = IsBridgeNumber},
    {.name = "--direct", .help = "open the bridge here, even while a panel on the session bus holds one"},
    {.name = "--json", .help = "results as one JSON object"},
    {.name = "--quiet", .alias = "-q", .help = "print nothing for commands that only write"},
    {.name = "--log", .value = "FILE", .help = "append the transaction log lines to FILE", .needs = "a file"},
    {.name = "--lock-timeout",
     .value = "SECONDS",
     .help = "wait this long for a simulator image in use (default 10)",
     .needs = "seconds, at most 3600",
     .check = IsSeconds},
    {.name = "--version", .help = "the version"},
    {.name = "--help", .alias = "-h", .help = "this help (COMMAND --help for one command)"},
};

// Every option of the command line before and around the command: the
// program's own and the start options it shares with the panel.
const std::vector<cmdline::Option>& AllGlobalOptions() {
    static const std::vector<cmdline::Option> all = [] {
        std::vector<cmdline::Option> v(std::begin(kGlobalOptions), std::begin(kGlobalOptions) + 1);
        v.insert(v.end(), StartOptionTable().begin(), StartOptionTable().end());
        v.insert(v.end(), std::begin(kGlobalOptions) + 1, std::end(kGlobalOptions));
        return v;
    }();
    return all;
}

const cmdline::Option kCmdOption = {.name = "--cmd",
                                    .value = "READ/WRITE",
                                    .help = "the command pair (default 0x0400/0x4000)",
                                    .needs = "READ/WRITE, for example 0x0600/0x6000"};
const cmdline::Option kDryRunOption = {.name = "--dry-run",
                                       .help = "check everything and print what would be written; write nothing"};
const cmdline::Option kRegReadOptions[] = {
    kCmdOption, {.name = "--decode", .help = "each register of the map with its name and fields"}};
const cmdline::Option kRegWriteOptions[] = {
    kCmdOption, {.name = "--verify", .help = "read each register back; a mismatch exits 1"}, kDryRunOption};
const cmdline::Option kSetOptions[] = {{.name = "--verify", .help = "read each feature back; a mismatch exits 1"},
                                       kDryRunOption};

bool IsInterval(const std::string& text) {
    std::chrono::milliseconds interval{};
    return ParseInterval(text, interval);
}

bool IsCount(const std::string& text) {
    unsigned long long n = 0;
    return parse::Decimal(text, 1000000000, n, 10) && n > 0;
}

const cmdline::Option kWatchOptions[] = {
    {.name = "--interval",
     .value = "SECONDS",
     .help = "read every SECONDS (default 1; decimals allowed)",
     .needs = "a number of seconds from 0.01 to 86400",
     .check = IsInterval},
    {.name = "--count",
     .value = "N",
     .help = "end after N reads (default: until Ctrl-C)",
     .needs = "a number of reads, 1 or more",
     .check = IsCount},
};
const cmdline::Option kEdidReadOptions[] = {
    {.name = "--seq",
     .value = "a|b",
     .help = "register sequence A (default) or B",
     .needs = "a or b",
     .check = IsSequence},
    {.name = "-o",
     .value = "FILE",
     .help = "the 256 bytes in binary into FILE (- for standard output)",
     .needs = "a file"},
};
const cmdline::Option kEdidWriteOptions[] = {
    {.name = "--fix-checksums", .help = "correct both checksum bytes first"},
    {.name = "--force", .help = "write even when the header or a checksum is wrong"},
    {.name = "--verify", .help = "read back through sequence A and compare"},
};
const cmdline::Option kProfileApplyOptions[] = {{.name = "--verify", .help = "read the features back and compare"},
                                                kDryRunOption};

std::string GetNotes() {
    return "Prints NAME=VALUE for the named features (all readable ones when none is named),\n"
           "in table order. A name also stands for the features below it: contrast gives\n"
           "contrast and every contrast.* feature. Features:\n" +
           FeatureList(true, 2);
}

// The names of a choice feature's values that can be written.
std::string WritableChoices(const features::Feature& f) {
    std::string names;
    for (unsigned int value = 0; value < 32; ++value) {
        const std::string name = features::FormatValue(f, value);
        if (name == "unknown") break;
        unsigned int parsed = 0;
        std::string error;
        if (features::ParseValue(f, name, parsed, error)) names += (names.empty() ? "" : "/") + name;
    }
    return names;
}

std::string SetNotes() {
    std::string text =
        "Checks every assignment first (unknown name, value out of range, read-only\n"
        "feature: exit 2, nothing written), then writes each as a read-modify-write.\n"
        "Values: on/off; numbers (decimal or 0x hex)";
    for (const features::Feature& f : features::Table())
        if (f.kind == features::Kind::Choice) text += std::string(";\n  ") + f.name + " " + WritableChoices(f);
    return text + ".\n";
}

const Command kCommands[] = {
    {.name = "list",
     .description = "bridges, and those found but not usable",
     .notes = "One line \"N# DESCRIPTION\" per bridge, as the panel lists them, then\n"
              "\"unusable: REASON\" for each bridge found but not openable. Exit 3 when none is listed.\n",
     .run = CmdList},
    {.name = "get",
     .operands = "[FEATURE...]",
     .description = "read features (all readable ones by default)",
     .moreNotes = GetNotes,
     .run = CmdGet,
     .device = true},
    {.name = "set",
     .operands = "FEATURE=VALUE...",
     .options = kSetOptions,
     .description = "check all, then write each",
     .moreNotes = SetNotes,
     .run = CmdSet,
     .device = true},
    {.name = "watch",
     .operands = "[FEATURE...]",
     .options = kWatchOptions,
     .description = "print the features that changed, every interval",
     .notes = "Reads the features (all readable ones by default; groups as for get) every\n"
              "interval and prints \"TIME NAME=VALUE\" for each value that changed, every value\n"
              "the first time; with --json one object per line. Ctrl-C ends it (exit 0).\n",
     .run = CmdWatch,
     .device = true},
    {.name = "reg read",
     .operands = "ADDR...",
     .options = kRegReadOptions,
     .description = "read registers",
     .notes = "Addresses and values are hexadecimal (0x optional), as in the register console.\n"
              "ADDR+N reads N registers from ADDR on (N decimal): 4 bytes apart, 1 in the\n"
              "8-bit EDID spaces of --cmd 0x0600 and 0x0700.\n",
     .run = CmdRegRead,
     .device = true},
    {.name = "reg write",
     .operands = "ADDR=VALUE...",
     .options = kRegWriteOptions,
     .description = "write registers",
     .run = CmdRegWrite,
     .device = true},
    {.name = "reg dump",
     .options = kRegReadOptions,
     .description = "every register of the picture-quality map",
     .run = CmdRegDump,
     .device = true},
    {.name = "edid read",
     .options = kEdidReadOptions,
     .description = "the 256 EDID bytes, as text or into a file",
     .notes = "read: sixteen lines of sixteen hex bytes, or with -o the 256 bytes in binary.\n",
     .run = CmdEdidRead},
    {.name = "edid write",
     .operands = "FILE",
     .options = kEdidWriteOptions,
     .description = "write an EDID file, checked first",
     .notes = "write: FILE is 256 bytes of binary or the console's text; refused (exit 2) when\n"
              "it is not 256 bytes, the header is wrong or a checksum is wrong.\n",
     .run = CmdEdidWrite},
    {.name = "edid check",
     .operands = "FILE",
     .description = "header, checksums and a short decoding",
     .notes = "check: exit 0 when the EDID is sound, 1 otherwise.\n",
     .run = CmdEdidCheck},
    {.name = "profile save",
     .operands = "FILE",
     .description = "readable features into an INI file",
     .notes = "Profiles are INI files with a [Picture] section of NAME=VALUE lines.\n",
     .run = CmdProfileSave},
    {.name = "profile apply",
     .operands = "FILE",
     .options = kProfileApplyOptions,
     .description = "check all, then write",
     .run = CmdProfileApply},
    {.name = "profile diff",
     .operands = "FILE [FILE2]",
     .description = "the file against the chip, or two files",
     .notes = "diff prints \"NAME LEFT RIGHT\" for each difference (\"-\" where a side lacks\n"
              "the feature) and exits 1 when there is one.\n",
     .run = CmdProfileDiff},
    {.name = "paths",
     .description = "where the settings file and the logs are",
     .notes = "Prints settings=PATH (the settings file) and logs=PATH (the log folder).\n",
     .run = CmdPaths},
};

std::string_view WordOf(const Command& c) { return c.name.substr(0, c.name.find(' ')); }

std::string_view SubOf(const Command& c) {
    const size_t blank = c.name.find(' ');
    return blank == std::string_view::npos ? std::string_view() : c.name.substr(blank + 1);
}

// Takes the first word of `words`; a "--" before it stays in front, so that
// the words after it stay arguments for the command's own parse.
bool TakeWord(std::vector<std::string>& words, std::string& word) {
    const size_t at = !words.empty() && words[0] == "--" ? 1 : 0;
    if (at >= words.size()) return false;
    word = words[at];
    words.erase(words.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

int g_log = -1;
int g_logError = 0;  // the errno of the first failed write to the log
volatile std::sig_atomic_t g_signal = 0;
std::string g_jsonError;  // the first error line's text, for the JSON error object
bool g_objectPrinted = false;

void OnSignal(int sig) { g_signal = sig; }

// A line is written whole when it happens: a kill loses no line before it,
// and a full disk is noticed.
void WriteLog(const std::string& text) {
    std::string_view rest = text;
    while (!rest.empty() && g_logError == 0) {
        const ssize_t n = ::write(g_log, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            g_logError = n < 0 ? errno : EIO;
            break;
        }
        rest.remove_prefix(static_cast<size_t>(n));
    }
}

void OnImageWait(const std::string& text) { std::fprintf(stderr, "tunedesk-cli: %s\n", text.c_str()); }

// The register layer's lines, framed as the panel's log view frames them.
void WriteLogLine(const std::u16string& text) {
    if (g_log < 0) return;
    char16_t stamp[32];
    const int n = text.empty() ? 0 : FormatLogTime(std::chrono::system_clock::now(), stamp, 32);
    std::u16string line = FrameLogLine(std::u16string_view(stamp, static_cast<size_t>(n)), text);
    // A line of the file ends in one line feed: the text's own line end gives way to it.
    while (!line.empty() && (line.back() == u'\n' || line.back() == u'\r')) line.pop_back();
    std::string out = Utf16ToUtf8(line) + '\n';
    if (BlankLineAfter(text)) out += '\n';
    WriteLog(out);
}

// The bridge this program opened.
class DirectChip : public Chip {
public:
    explicit DirectChip(unsigned long device) : device_(device) {}
    long Device() const override { return static_cast<long>(device_); }
    bool ReadFeatures(std::span<const features::Feature* const> list, std::vector<unsigned int>& values,
                      size_t& failed) override {
        return features::ReadEach(device_, list, values, failed);
    }
    bool WriteFeature(const features::Assignment& assignment) override { return features::Write(device_, assignment); }
    bool ReadRegister(unsigned int address, unsigned int& value, unsigned short readCmd) override {
        return ::ReadRegister(device_, address, value, readCmd);
    }
    bool WriteRegister(unsigned int address, unsigned int value, unsigned short writeCmd) override {
        return ::WriteRegister(device_, address, value, writeCmd);
    }
    // Sequence A writes with 0x6000 and reads with 0x0600; sequence B reads
    // the EDID window with 0x0700 after writes with 0x7000.
    static constexpr unsigned short kSeqAWrite = 0x6000, kSeqARead = 0x0600;
    static constexpr unsigned short kSeqBWrite = 0x7000, kSeqBRead = 0x0700;

    bool ReadEdid(bool sequenceB, Edid& edid) override {
        unsigned int values[spirw::kEdidSize] = {};
        const bool ok = sequenceB ? spirw::RunSequenceBRead(device_, kSeqBWrite, kSeqBRead, values)
                                  : spirw::RunSequenceARead(device_, kSeqAWrite, kSeqARead, values);
        for (size_t i = 0; i < edid.size(); ++i) edid[i] = static_cast<unsigned char>(values[i]);
        return ok;
    }
    bool WriteEdid(const Edid& edid) override { return spirw::RunSequenceAWrite(device_, kSeqAWrite, edid.data()); }

private:
    unsigned long device_;
};

}  // namespace

bool Chip::ReadFeature(const features::Feature& feature, unsigned int& value) {
    const features::Feature* one[] = {&feature};
    std::vector<unsigned int> values;
    size_t failed = 0;
    if (!ReadFeatures(one, values, failed)) return false;
    value = values.front();
    return true;
}

bool Chip::ReadRegisters(std::span<const unsigned int> addresses, std::vector<unsigned int>& values, size_t& failed,
                         unsigned short readCmd) {
    values.assign(addresses.size(), 0);
    for (failed = 0; failed < addresses.size(); ++failed)
        if (!ReadRegister(addresses[failed], values[failed], readCmd)) return false;
    return true;
}

std::string ChipWhy(const Context& ctx) {
    return ctx.chip && !ctx.chip->Refusal().empty() ? " (" + ctx.chip->Refusal() + ")" : std::string();
}

int ChipExit(const Context& ctx) {
    return ctx.chip && !ctx.chip->Refusal().empty() ? ctx.chip->RefusalExit() : kFailed;
}

bool Interrupted() { return g_signal != 0; }

bool HexList(const Context& ctx, const std::string& text, const char* what, std::size_t maxDigits,
             std::vector<unsigned int>& out) {
    size_t begin = 0;
    for (;;) {
        const size_t comma = text.find(',', begin);
        std::string item = text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.erase(0, 1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.pop_back();
        unsigned int value = 0;
        const std::string quoted = std::string(what) + " \"" + item + "\"";
        const std::string tail = ctx.command == "reg write" ? "; nothing written" : "";
        switch (parse::StrictHex(item, maxDigits, value)) {
        case parse::Hex::Ok: out.push_back(value); break;
        case parse::Hex::Empty: Error(ctx, quoted + " has no hex digits" + tail); return false;
        case parse::Hex::NotHex: Error(ctx, quoted + " is not hexadecimal" + tail); return false;
        case parse::Hex::TooLong:
            Error(ctx, quoted + " has more than " + std::to_string(maxDigits) + " hex digits" + tail);
            return false;
        }
        if (comma == std::string::npos) return true;
        begin = comma + 1;
    }
}

void Error(const Context& ctx, const std::string& text) {
    if (ctx.json && g_jsonError.empty()) g_jsonError = text;
    if (ctx.command.empty())
        std::fprintf(stderr, "tunedesk-cli: %s\n", text.c_str());
    else
        std::fprintf(stderr, "tunedesk-cli: %s: %s\n", ctx.command.c_str(), text.c_str());
}

int Prepare(Context& ctx) {
    if (ctx.prepared) return kOk;
    ctx.prepared = true;
    std::string error;
    if (!ApplyStartOptions(ctx.start, error)) {
        Error(ctx, error);
        if (sim::LastImageFailure() == sim::ImageFailure::InUse) return kInUse;
        // A backend that exists but cannot serve leaves no bridge to work with.
        return error.compare(0, 8, "backend ") == 0 ? kNoBridge : kUsage;
    }
    // A note, not an error: the command goes on (and under --json its object
    // stays the command's own).
    if (!StartOptionsNote().empty()) std::fprintf(stderr, "tunedesk-cli: %s\n", StartOptionsNote().c_str());
    return kOk;
}

int OpenDevice(Context& ctx) {
    if (ctx.chip) return kOk;
    if (const int r = Prepare(ctx); r != kOk) return r;
    std::list<std::u16string> names;
    libComm_EnumDevice(names);
    long chosen = -1;
    for (const std::u16string& name : names) {
        const long index = parse::DeviceEntryNumber(name);
        if (index < 0) continue;
        if (ctx.deviceArg < 0 || index == ctx.deviceArg) {
            chosen = index;
            break;
        }
    }
    if (chosen < 0) {
        Error(ctx, names.empty()
                       ? std::string("no bridge found")
                       : "bridge " + std::to_string(ctx.deviceArg) + " is not listed (see tunedesk-cli list)");
        return kNoBridge;
    }
    _UI_SPI_CONFIG config;
    LoadSpiConfig(config);
    ctx.device = static_cast<unsigned long>(chosen);
    if (libComm_OpenDevice(ctx.device, config) == 0) {
        WriteLogLine(u"Failed to open the selected device!");
        Error(ctx, "bridge " + std::to_string(chosen) + " cannot be opened");
        return kNoBridge;
    }
    WriteLogLine(u"The selected device opened successfully!");
    ctx.open = true;
    ctx.chip = std::make_unique<DirectChip>(ctx.device);
    return kOk;
}

// ---- Output -------------------------------------------------------------------

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Hex32(unsigned int value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", value);
    return buf;
}

std::string FeatureJson(const features::Feature& feature, unsigned int value) {
    switch (feature.kind) {
    case features::Kind::OnOff: return value != 0 ? "true" : "false";
    case features::Kind::Number: return std::to_string(value);
    case features::Kind::Choice: break;
    }
    return JsonString(features::FormatValue(feature, value));
}

void Output::Member(const std::string& name, const std::string& jsonValue, const std::string& textValue) {
    // A name given twice is one key, with the last value: a JSON object
    // with a repeated key means different things to different parsers.
    if (json_) {
        std::erase_if(members_, [&](const auto& m) { return m.first == name; });
        members_.emplace_back(name, jsonValue);
    } else
        std::printf("%s=%s\n", name.c_str(), textValue.c_str());
}

void Output::String(const std::string& name, const std::string& value) { Member(name, JsonString(value), value); }

void Output::Number(const std::string& name, unsigned long long value) {
    Member(name, std::to_string(value), std::to_string(value));
}

void Output::Bool(const std::string& name, bool value, const char* text) {
    Member(name, value ? "true" : "false", text);
}

void Output::List(const std::string& name, const std::vector<std::string>& values) {
    std::string json = "[", text;
    for (const std::string& v : values) {
        json += (json.size() > 1 ? ", " : "") + JsonString(v);
        text += (text.empty() ? "" : " ") + v;
    }
    Member(name, json + "]", text);
}

void Output::Numbers(const std::string& name, const std::vector<unsigned int>& values) {
    if (!json_) return;
    std::string json = "[";
    for (size_t i = 0; i < values.size(); ++i) json += (i ? ", " : "") + std::to_string(values[i]);
    members_.emplace_back(name, json + "]");
}

void Output::Line(const std::string& line) {
    if (!json_) std::printf("%s\n", line.c_str());
}

void Output::Flush() {
    if (!json_) return;
    std::string out = "{";
    for (size_t i = 0; i < members_.size(); ++i)
        out += (i ? ", " : "") + JsonString(members_[i].first) + ": " + members_[i].second;
    out += "}\n";
    std::fputs(out.c_str(), stdout);
    g_objectPrinted = true;
    members_.clear();
    json_ = false;  // printed once
}

// ---- Commands and help -------------------------------------------------------

std::span<const Command> Commands() { return kCommands; }

std::span<const ExitCode> ExitCodes() {
    static const ExitCode codes[] = {
        {kOk, "success"},
        {kFailed, "a transaction failed, or a verification or diff found a difference"},
        {kUsage, "usage or input error (nothing written)"},
        {kNoBridge, "no usable bridge"},
        {kInUse, "the simulator image stayed in use by another program"},
    };
    return codes;
}

std::span<const cmdline::Option> GlobalOptions() { return AllGlobalOptions(); }

std::string Synopsis(const Command& command) {
    std::string text(command.name);
    if (!command.operands.empty()) text.append(" ").append(command.operands);
    for (const cmdline::Option& option : command.options) text.append(" ").append(cmdline::Usage(option));
    return text;
}

std::string FeatureList(bool readableOnly, size_t indent) {
    std::string text, line(indent, ' ');
    for (const features::Feature& f : features::Table()) {
        if (readableOnly && !f.readable) continue;
        const std::string item = std::string(f.name) + ",";
        if (line.size() > indent && line.size() + 1 + item.size() > 80) {
            text += line + "\n";
            line.assign(indent, ' ');
        }
        line += (line.size() > indent ? " " : "") + item;
    }
    if (line.size() > indent) line.pop_back();  // the last comma
    return text + line + "\n";
}

bool PrintHelp(std::string_view word, std::FILE* out) {
    std::string text;
    if (word.empty()) {
        text = "usage: tunedesk-cli [OPTIONS] COMMAND [ARGS]\n\nCommands:\n";
        for (const Command& c : kCommands) {
            std::string left = std::string(c.name) + (c.operands.empty() ? "" : " ") + std::string(c.operands);
            left.resize(std::max<size_t>(left.size() + 1, 30), ' ');
            text += "  " + left + std::string(c.description) + "\n";
        }
        text += "\nOptions:\n" + cmdline::HelpLines({GlobalOptions()}) +
                "A \"--\" ends the options: the words after it are arguments.\n"
                "\nFeatures:\n" +
                FeatureList(false, 2) + "\nExit codes:\n";
        for (const ExitCode& e : ExitCodes())
            text += "  " + std::to_string(e.code) + "  " + std::string(e.meaning) + "\n";
        text += "  128+N  ended by signal N (SIGINT, SIGTERM) after the transaction in flight\n";
        std::fputs(text.c_str(), out);
        return true;
    }
    std::vector<const Command*> group;
    for (const Command& c : kCommands)
        if (WordOf(c) == word) group.push_back(&c);
    if (group.empty()) return false;
    std::vector<cmdline::Option> options;
    for (const Command* c : group) {
        text += (text.empty() ? "usage: " : "       ") + std::string("tunedesk-cli ") + Synopsis(*c) + "\n";
        for (const cmdline::Option& o : c->options)
            if (std::none_of(options.begin(), options.end(),
                             [&](const cmdline::Option& k) { return k.name == o.name; }))
                options.push_back(o);
    }
    for (const Command* c : group) {
        text += std::string(c->notes);
        if (c->moreNotes != nullptr) text += c->moreNotes();
    }
    if (!options.empty()) text += cmdline::HelpLines({options});
    std::fputs(text.c_str(), out);
    return true;
}

// ---- The program ---------------------------------------------------------------

int Main(int argc, char** argv) {
    Context ctx;
    const std::vector<std::string> argsIn(argv + std::min(argc, 1), argv + argc);
    cmdline::Parsed global;
    cmdline::Parse(argsIn, GlobalOptions(), global);
    StartOptions& options = ctx.start;
    std::string logPath;
    bool help = false, helpOfCommand = false, version = false, direct = false;
    for (const cmdline::Match& m : global.options) {
        const std::string_view name = m.option->name;
        if (TakeStartOption(m, options)) continue;
        if (name == "--json")
            ctx.json = true;
        else if (name == "--quiet")
            ctx.quiet = true;
        else if (name == "--direct")
            direct = true;
        else if (name == "--version")
            version = true;
        else if (name == "--help")
            (m.restBefore == 0 ? help : helpOfCommand) = true;
        else if (name == "--device") {
            unsigned long long n = 0;
            parse::Decimal(m.value, 15, n, 2);
            ctx.deviceArg = static_cast<long>(n);
        } else if (name == "--log") {
            logPath = m.value;
        } else if (name == "--lock-timeout") {
            sim::SetImageLockWait(Milliseconds(m.value), OnImageWait);
        }
    }
    if (!global.error.empty()) {
        Error(ctx, global.error);
        return kUsage;
    }
    if (version) {
        std::printf("tunedesk-cli %s\n", kTunedeskVersion);
        return kOk;
    }
    std::vector<std::string> rest = global.rest;
    std::string word;
    if (help || !TakeWord(rest, word)) {
        PrintHelp("", help ? stdout : stderr);
        return help ? kOk : kUsage;
    }
    std::vector<const Command*> group;
    for (const Command& c : kCommands)
        if (WordOf(c) == word) group.push_back(&c);
    if (group.empty()) {
        Error(ctx, "unknown command \"" + word + "\" (see tunedesk-cli --help)");
        return kUsage;
    }
    ctx.command = word;
    if (helpOfCommand) {
        PrintHelp(word, stdout);
        return kOk;
    }

    if (!logPath.empty()) {
        g_log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
        if (g_log < 0) {
            Error(ctx, "cannot open the log file " + logPath + ": " + std::strerror(errno));
            return kUsage;
        }
        SetLogSink(WriteLogLine);
    }
    // A reader that went away is reported as a failed output, and Ctrl-C or
    // a kill ends the command after the transaction in flight: the image is
    // stored either way. A second signal ends the program at once.
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction stop {};
    stop.sa_handler = OnSignal;
    stop.sa_flags = SA_RESETHAND;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);

    // While a panel holds the bridge, the chip is the panel's: go through it
    // unless the command line asks for another way. Injected faults are for
    // this program's own transactions, so they ask for one too.
    if (!direct && options.backend.empty() && options.simImage.empty() && !options.freshChip && options.faults.empty())
        ctx.chip = panel::Connect(ctx, word == "list");
    std::string error;

    int result = group.front()->device ? OpenDevice(ctx) : kOk;
    const Command* command = group.size() == 1 && SubOf(*group.front()).empty() ? group.front() : nullptr;
    if (result == kOk && command == nullptr) {
        std::string names, sub;
        for (const Command* c : group) names += (names.empty() ? "" : ", ") + std::string(SubOf(*c));
        if (!TakeWord(rest, sub)) {
            Error(ctx, "needs one of " + names);
            result = kUsage;
        } else {
            for (const Command* c : group)
                if (SubOf(*c) == sub) command = c;
            if (command == nullptr) {
                Error(ctx, "unknown subcommand \"" + sub + "\" (" + names + ")");
                result = kUsage;
            } else {
                ctx.command = command->name;
            }
        }
    }
    if (result == kOk) {
        cmdline::Parsed args;
        if (!cmdline::Parse(rest, command->options, args)) {
            Error(ctx, args.error);
            result = kUsage;
        } else {
            result = command->run(ctx, args);
        }
    }
    ctx.chip.reset();
    if (ctx.open) libComm_CloseDevice(ctx.device);
    if (!FinishStartOptions(&error)) {
        Error(ctx, error);
        if (result == kOk) result = kFailed;
    }
    SetLogSink(nullptr);
    if (g_log >= 0) {
        if (::close(g_log) != 0 && g_logError == 0) g_logError = errno;
        g_log = -1;
        if (g_logError != 0) {
            Error(ctx, "the log file " + logPath + ": " + std::strerror(g_logError));
            if (result == kOk) result = kFailed;
        }
    }
    if (ctx.json && result != kOk && !g_objectPrinted && !g_jsonError.empty()) {
        std::string object = "{\"error\": " + JsonString(g_jsonError);
        if (ctx.writes) {
            object += ", \"written\": {";
            for (size_t i = 0; i < ctx.written.size(); ++i)
                object += (i ? ", " : "") + JsonString(ctx.written[i].first) + ": " + ctx.written[i].second;
            object += "}";
        }
        std::fputs((object + "}\n").c_str(), stdout);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        ctx.json = false;
        Error(ctx, std::string("standard output: ") + std::strerror(errno));
        if (result == kOk) result = kFailed;
    }
    if (g_signal != 0) {
        Error(ctx, g_signal == SIGINT ? "interrupted" : "terminated");
        result = 128 + g_signal;
    }
    return result;
}

}  // namespace cli
