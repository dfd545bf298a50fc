// tunedesk-cli: the chip's picture settings, registers, EDID and profiles
// from the command line, on the panel's core (no Qt).
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// Exit codes.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;    // a transaction failed, a verification or diff found a difference
inline constexpr int kUsage = 2;     // usage or input error; nothing was written
inline constexpr int kNoBridge = 3;  // no bridge, or the chosen one cannot be opened

// What the global options asked for, and the open device.
struct Context {
    bool json = false;
    bool quiet = false;
    long deviceArg = -1;  // --device N; -1: the first listed bridge
    unsigned long device = 0;
    bool open = false;
    std::string command;  // for error lines: "set", "reg write", ...
};

// One error line "tunedesk-cli: COMMAND: TEXT" on standard error.
void Error(const Context& ctx, const std::string& text);

// Finds and opens the bridge (--device or the first listed); kOk or kNoBridge.
int OpenDevice(Context& ctx);

// Results as "name=value" lines, or with --json one object printed by Flush.
class Output {
public:
    explicit Output(const Context& ctx) : json_(ctx.json) {}
    ~Output() { Flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void String(const std::string& name, const std::string& value);
    void Number(const std::string& name, unsigned long long value);
    void Bool(const std::string& name, bool value, const char* text);
    // Text mode: "name=a b ..."; JSON: "name": ["a", "b", ...].
    void List(const std::string& name, const std::vector<std::string>& values);
    // A line as it stands (text mode only).
    void Line(const std::string& line);
    bool Json() const { return json_; }
    void Flush();
    // Drops what JSON mode has collected: a failed command prints no object.
    void Discard() {
        members_.clear();
        json_ = false;
    }

private:
    void Member(const std::string& name, const std::string& jsonValue, const std::string& textValue);
    bool json_;
    std::vector<std::pair<std::string, std::string>> members_;
};

std::string JsonString(const std::string& text);
// "0x%08X"
std::string Hex32(unsigned int value);

// Option helpers for the commands' own options. Takes args[i] as "--name" or
// "--name VALUE"/"--name=VALUE" (value != nullptr); advances i over a value.
bool TakeFlag(const std::vector<std::string>& args, size_t& i, const char* name);
int TakeValue(const std::vector<std::string>& args, size_t& i, const char* name, std::string& value);

// The subcommand in all[0], one of `known` ("read", "write", ...); sets
// ctx.command to "COMMAND SUB". False after an error line when it is missing
// or unknown.
bool Subcommand(Context& ctx, const std::vector<std::string>& all, const std::vector<std::string>& known,
                std::string& sub);

// Commands: args are those after the command word(s).
int CmdList(Context& ctx, const std::vector<std::string>& args);
int CmdGet(Context& ctx, const std::vector<std::string>& args);
int CmdSet(Context& ctx, const std::vector<std::string>& args);
int CmdReg(Context& ctx, const std::vector<std::string>& args);
int CmdEdid(Context& ctx, const std::vector<std::string>& args);
int CmdProfile(Context& ctx, const std::vector<std::string>& args);
int CmdPaths(Context& ctx, const std::vector<std::string>& args);

// Help of one command ("" for the overview); false when there is none.
bool PrintHelp(const std::string& command, std::FILE* out);

}  // namespace cli
