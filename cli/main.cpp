// tunedesk-cli: global options, opening the bridge, output and help.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "Cli.h"
#include "IniFile.h"
#include "LogStamp.h"
#include "SPIUtil.h"
#include "SpiSettingFile.h"
#include "StartOptions.h"
#include "TunedeskVersion.h"
#include "spilink.h"

namespace cli {
namespace {

struct Help {
    const char* command;
    const char* text;
};

const Help kHelp[] = {
    {"",
     "usage: tunedesk-cli [OPTIONS] COMMAND [ARGS]\n"
     "\n"
     "Commands:\n"
     "  list                          bridges, and those found but not usable\n"
     "  get [FEATURE...]              read features (all readable ones by default)\n"
     "  set FEATURE=VALUE...          check all, then write each\n"
     "  reg read ADDR...              read registers\n"
     "  reg write ADDR=VALUE...       write registers\n"
     "  reg dump                      every register of the picture-quality map\n"
     "  edid read [--seq a|b] [-o FILE]\n"
     "  edid write FILE [--fix-checksums] [--force] [--verify]\n"
     "  edid check FILE               header, checksums and a short decoding\n"
     "  profile save FILE             readable features into an INI file\n"
     "  profile apply FILE [--verify] check all, then write\n"
     "  profile diff FILE [FILE2]     the file against the chip, or two files\n"
     "  paths                         where the settings file and the logs are\n"
     "\n"
     "Options:\n"
     "  --device N          bridge N as `list` shows it (default: the first listed)\n"
     "  --backend auto|usb|sim\n"
     "  --sim-image FILE    keep the simulated chip's state in FILE\n"
     "  --json              results as one JSON object\n"
     "  --quiet             print nothing for commands that only write\n"
     "  --trace             library trace lines to standard error\n"
     "  --log FILE          append the transaction log lines to FILE\n"
     "  --version, --help   (COMMAND --help for one command)\n"
     "\n"
     "Exit codes: 0 success, 1 a transaction failed or a verification or diff found a\n"
     "difference, 2 usage or input error (nothing written), 3 no usable bridge.\n"},
    {"list",
     "usage: tunedesk-cli list\n"
     "One line \"N# DESCRIPTION\" per bridge, as the panel lists them, then\n"
     "\"unusable: REASON\" for each bridge found but not openable. Exit 3 when none is listed.\n"},
    {"get",
     "usage: tunedesk-cli get [FEATURE...]\n"
     "Prints NAME=VALUE for the named features (all readable ones when none is named),\n"
     "in table order. Features: vivid, vivid.range, vivid.intensity, sharpening,\n"
     "sharpening.intensity, contrast, contrast.auto-brightness, contrast.adaptive,\n"
     "contrast.brightness, contrast.threshold, color-correction,\n"
     "color-correction.intensity, noise-remove, noise-remove.sensitivity, area, through.\n"},
    {"set",
     "usage: tunedesk-cli set FEATURE=VALUE...\n"
     "Checks every assignment first (unknown name, value out of range, read-only\n"
     "feature: exit 2, nothing written), then writes each as a read-modify-write.\n"
     "Values: on/off; numbers (decimal or 0x hex); vivid.range and sharpening.size\n"
     "large/medium/small; area all/center/left/right.\n"},
    {"reg",
     "usage: tunedesk-cli reg read ADDR... [--cmd READ/WRITE]\n"
     "       tunedesk-cli reg write ADDR=VALUE... [--cmd READ/WRITE] [--verify]\n"
     "       tunedesk-cli reg dump [--cmd READ/WRITE]\n"
     "Addresses and values are hexadecimal (0x optional), as in the register console.\n"
     "--cmd picks the command pair (default 0x0400/0x4000). --verify reads each\n"
     "register back and reports every mismatch (exit 1).\n"},
    {"edid",
     "usage: tunedesk-cli edid read [--seq a|b] [-o FILE]\n"
     "       tunedesk-cli edid write FILE [--fix-checksums] [--force] [--verify]\n"
     "       tunedesk-cli edid check FILE\n"
     "read: sixteen lines of sixteen hex bytes, or with -o the 256 bytes in binary.\n"
     "write: FILE is 256 bytes of binary or the console's text; refused (exit 2) when\n"
     "it is not 256 bytes, the header is wrong or a checksum is wrong, unless\n"
     "--fix-checksums corrects the checksums or --force writes anyway. --verify reads\n"
     "back through sequence A and compares.\n"
     "check: exit 0 when the EDID is sound, 1 otherwise.\n"},
    {"profile",
     "usage: tunedesk-cli profile save FILE\n"
     "       tunedesk-cli profile apply FILE [--verify]\n"
     "       tunedesk-cli profile diff FILE [FILE2]\n"
     "Profiles are INI files with a [Picture] section of NAME=VALUE lines.\n"
     "diff prints \"NAME LEFT RIGHT\" for each difference (\"-\" where a side lacks\n"
     "the feature) and exits 1 when there is one.\n"},
    {"paths",
     "usage: tunedesk-cli paths\n"
     "Prints settings=PATH (the settings file) and logs=PATH (the log folder).\n"},
};

std::FILE* g_log = nullptr;

// The register layer's lines, stamped as the panel's log view stamps them.
void WriteLogLine(const std::u16string& text) {
    if (g_log == nullptr) return;
    std::string line;
    if (!text.empty()) {
        char16_t stamp[32];
        const int n = FormatLogTime(std::chrono::system_clock::now(), stamp, 32);
        std::u16string wide(1, u'[');
        wide.append(stamp, static_cast<size_t>(n)).append(u"] ").append(text);
        while (!wide.empty() && (wide.back() == u'\n' || wide.back() == u'\r')) wide.pop_back();
        line = ini::ToUtf8(wide);
    }
    line += '\n';
    // A text ending in a line feed is followed by an empty line, as in the panel.
    if (text.size() > 1 && text.back() == u'\n') line += '\n';
    std::fwrite(line.data(), 1, line.size(), g_log);
}

// The bridge index at the start of a list entry "N# ...", or -1.
long EntryIndex(const std::u16string& name) {
    long n = 0;
    size_t i = 0;
    for (; i < name.size() && name[i] >= u'0' && name[i] <= u'9' && i < 3; ++i) n = n * 10 + (name[i] - u'0');
    return i > 0 && i < name.size() && name[i] == u'#' ? n : -1;
}

bool ParseDevice(const std::string& text, long& out) {
    if (text.empty() || text.size() > 2) return false;
    long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (n > 15) return false;
    out = n;
    return true;
}

}  // namespace

void Error(const Context& ctx, const std::string& text) {
    if (ctx.command.empty())
        std::fprintf(stderr, "tunedesk-cli: %s\n", text.c_str());
    else
        std::fprintf(stderr, "tunedesk-cli: %s: %s\n", ctx.command.c_str(), text.c_str());
}

int OpenDevice(Context& ctx) {
    std::list<std::u16string> names;
    libComm_EnumDevice(names);
    long chosen = -1;
    for (const std::u16string& name : names) {
        const long index = EntryIndex(name);
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

void Output::Member(const std::string& name, const std::string& jsonValue, const std::string& textValue) {
    if (json_)
        members_.emplace_back(name, jsonValue);
    else
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
    members_.clear();
    json_ = false;  // printed once
}

// ---- Options --------------------------------------------------------------------

bool TakeFlag(const std::vector<std::string>& args, size_t& i, const char* name) { return args[i] == name; }

int TakeValue(const std::vector<std::string>& args, size_t& i, const char* name, std::string& value) {
    const std::string& arg = args[i];
    const size_t n = std::strlen(name);
    if (arg == name) {
        if (i + 1 >= args.size()) return -1;
        value = args[++i];
        return 1;
    }
    if (arg.size() > n && arg.compare(0, n, name) == 0 && arg[n] == '=') {
        value = arg.substr(n + 1);
        return 1;
    }
    return 0;
}

bool Subcommand(Context& ctx, const std::vector<std::string>& all, const std::vector<std::string>& known,
                std::string& sub) {
    std::string names;
    for (const std::string& k : known) names += (names.empty() ? "" : ", ") + k;
    if (all.empty()) {
        Error(ctx, "needs one of " + names);
        return false;
    }
    if (std::find(known.begin(), known.end(), all[0]) == known.end()) {
        Error(ctx, "unknown subcommand \"" + all[0] + "\" (" + names + ")");
        return false;
    }
    sub = all[0];
    ctx.command += " " + sub;
    return true;
}

bool PrintHelp(const std::string& command, std::FILE* out) {
    for (const Help& h : kHelp) {
        if (command == h.command) {
            std::fputs(h.text, out);
            return true;
        }
    }
    return false;
}

}  // namespace cli

int main(int argc, char** argv) {
    using namespace cli;
    Context ctx;
    StartOptions options;
    std::string logPath;
    std::vector<std::string> rest;
    bool help = false, version = false;
    for (int i = 1; i < argc; ++i) {
        std::string error;
        const int taken = TakeStartOption(argc, argv, i, options, error);
        if (taken < 0) {
            Error(ctx, error);
            return kUsage;
        }
        if (taken > 0) {
            i += taken - 1;
            continue;
        }
        std::vector<std::string> one(argv + i, argv + std::min(argc, i + 2));
        size_t k = 0;
        std::string value;
        const std::string arg = argv[i];
        if (arg == "--json")
            ctx.json = true;
        else if (arg == "--quiet" || arg == "-q")
            ctx.quiet = true;
        else if (arg == "--version")
            version = true;
        else if ((arg == "--help" || arg == "-h") && rest.empty())
            help = true;
        else if (int d = TakeValue(one, k, "--device", value); d != 0) {
            if (d < 0 || !ParseDevice(value, ctx.deviceArg)) {
                Error(ctx, "--device needs a bridge number 0-15");
                return kUsage;
            }
            i += static_cast<int>(k);
        } else if (int l = TakeValue(one, k, "--log", value); l != 0) {
            if (l < 0) {
                Error(ctx, "--log needs a file");
                return kUsage;
            }
            logPath = value;
            i += static_cast<int>(k);
        } else
            rest.push_back(arg);
    }
    if (version) {
        std::printf("tunedesk-cli %s\n", kTunedeskVersion);
        return kOk;
    }
    if (help || rest.empty()) {
        PrintHelp("", help ? stdout : stderr);
        return help ? kOk : kUsage;
    }

    struct Command {
        const char* name;
        int (*run)(Context&, const std::vector<std::string>&);
        bool device;  // needs an open bridge (edid/profile decide for themselves)
    };
    static const Command kCommands[] = {
        {"list", CmdList, false}, {"get", CmdGet, true},          {"set", CmdSet, true},      {"reg", CmdReg, true},
        {"edid", CmdEdid, false}, {"profile", CmdProfile, false}, {"paths", CmdPaths, false},
    };
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (rest[0] == c.name) command = &c;
    if (command == nullptr) {
        Error(ctx, "unknown command \"" + rest[0] + "\" (see tunedesk-cli --help)");
        return kUsage;
    }
    ctx.command = command->name;
    const std::vector<std::string> args(rest.begin() + 1, rest.end());
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            PrintHelp(command->name, stdout);
            return kOk;
        }
    }

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> log(nullptr, std::fclose);
    if (!logPath.empty()) {
        log.reset(std::fopen(logPath.c_str(), "a"));
        if (!log) {
            Error(ctx, "cannot open the log file " + logPath + ": " + std::strerror(errno));
            return kUsage;
        }
        g_log = log.get();
        SetLogSink(WriteLogLine);
    }

    std::string error;
    if (!ApplyStartOptions(options, error)) {
        Error(ctx, error);
        // A backend that exists but cannot serve leaves no bridge to work with.
        const bool noBridge = error.compare(0, 8, "backend ") == 0;
        return noBridge ? kNoBridge : kUsage;
    }

    int result = command->device ? OpenDevice(ctx) : kOk;
    if (result == kOk) result = command->run(ctx, args);
    std::fflush(stdout);
    if (ctx.open) libComm_CloseDevice(ctx.device);
    if (!FinishStartOptions(&error)) {
        Error(ctx, error);
        if (result == kOk) result = kFailed;
    }
    SetLogSink(nullptr);
    g_log = nullptr;
    return result;
}
