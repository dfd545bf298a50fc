// tunedesk-cli: the chip's picture settings, registers, EDID and profiles
// from the command line, on the panel's core (no Qt).
#pragma once

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CommandLine.h"
#include "StartOptions.h"

namespace features {
struct Feature;
struct Assignment;
}  // namespace features

namespace cli {

// Exit codes.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;    // a transaction failed, a verification or diff found a difference
inline constexpr int kUsage = 2;     // usage or input error; nothing was written
inline constexpr int kNoBridge = 3;  // no bridge, or the chosen one cannot be opened
inline constexpr int kInUse = 4;     // the simulator image stayed locked by another program

// The exit codes with their meaning, as the help and the man page list them.
struct ExitCode {
    int code;
    std::string_view meaning;
};
std::span<const ExitCode> ExitCodes();

// The chip a command works on: the bridge this program opened, or the one a
// panel on the session bus holds, reached through the panel so that its
// controls and its other clients see every change. Each call is false when
// it failed; Refusal() then says what stood in the way when it was not the
// chip (the panel refused or went away), and RefusalExit() the exit code
// that calls for.
class Chip {
public:
    using Edid = std::array<unsigned char, 256>;
    virtual ~Chip() = default;
    // The bridge this program opened, -1 through the panel.
    virtual long Device() const = 0;
    // `values[i]` for `list[i]`; `failed` is the index whose read failed.
    virtual bool ReadFeatures(std::span<const features::Feature* const> list, std::vector<unsigned int>& values,
                              size_t& failed) = 0;
    bool ReadFeature(const features::Feature& feature, unsigned int& value);
    virtual bool WriteFeature(const features::Assignment& assignment) = 0;
    virtual bool ReadRegister(unsigned int address, unsigned int& value, unsigned short readCmd) = 0;
    // `values[i]` for `addresses[i]`; `failed` is the index whose read failed.
    virtual bool ReadRegisters(std::span<const unsigned int> addresses, std::vector<unsigned int>& values,
                               size_t& failed, unsigned short readCmd);
    virtual bool WriteRegister(unsigned int address, unsigned int value, unsigned short writeCmd) = 0;
    // The 256 bytes through register sequence A or B.
    virtual bool ReadEdid(bool sequenceB, Edid& edid) = 0;
    virtual bool WriteEdid(const Edid& edid) = 0;

    const std::string& Refusal() const { return refusal_; }
    int RefusalExit() const { return refusalExit_; }

protected:
    std::string refusal_;
    int refusalExit_ = kFailed;
};

// What the global options asked for, and the open device.
struct Context {
    bool json = false;
    bool quiet = false;
    long deviceArg = -1;  // --device N; -1: the first listed bridge
    unsigned long device = 0;
    bool open = false;           // this program opened bridge `device`
    std::unique_ptr<Chip> chip;  // set once the command has a chip
    std::string command;         // for error lines: "set", "reg write", ...
    StartOptions start;          // applied by Prepare, when a command first needs the bridges
    bool prepared = false;
    // What a writing command has written so far, as JSON members: an error
    // object under --json names them.
    std::vector<std::pair<std::string, std::string>> written;
    bool writes = false;
};

// One error line "tunedesk-cli: COMMAND: TEXT" on standard error.
void Error(const Context& ctx, const std::string& text);

// Applies the start options (backend, faults, simulator image) once; the
// commands that never reach the chip leave them alone. kOk, or the exit code.
int Prepare(Context& ctx);

// Finds and opens the bridge (--device or the first listed); kOk or kNoBridge.
// Through the panel, its bridge is the chip already.
int OpenDevice(Context& ctx);

// For an error line after a chip call failed: "" when the chip failed, else
// " (the panel ...)" with what stood in the way. ChipExit: the exit code.
std::string ChipWhy(const Context& ctx);
int ChipExit(const Context& ctx);

// True once SIGINT or SIGTERM arrived: a command stops after the
// transaction in flight, and the image is still stored.
bool Interrupted();

// Hex numbers as the register commands take them (`what`: "address",
// "value"): comma-separated, each with an optional 0x and 1 to `maxDigits`
// digits. False after the error line.
bool HexList(const Context& ctx, const std::string& text, const char* what, std::size_t maxDigits,
             std::vector<unsigned int>& out);

// Results as "name=value" lines, or with --json one object printed by Flush.
class Output {
public:
    explicit Output(const Context& ctx) : json_(ctx.json) {}
    ~Output() { Flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void String(const std::string& name, const std::string& value);
    // A member given as JSON and as text.
    void Member(const std::string& name, const std::string& jsonValue, const std::string& textValue);
    void Number(const std::string& name, unsigned long long value);
    void Bool(const std::string& name, bool value, const char* text);
    // Text mode: "name=a b ..."; JSON: "name": ["a", "b", ...].
    void List(const std::string& name, const std::vector<std::string>& values);
    // JSON: "name": [1, 2, ...]; text mode prints nothing.
    void Numbers(const std::string& name, const std::vector<unsigned int>& values);
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
    bool json_;
    std::vector<std::pair<std::string, std::string>> members_;
};

std::string JsonString(const std::string& text);
// "0x%08X"
std::string Hex32(unsigned int value);
// A feature's value as JSON: true/false, a number or a name.
std::string FeatureJson(const features::Feature& feature, unsigned int value);

// Every FEATURE=VALUE checked as a write (known, writable, in range); false
// after the error line, when nothing may be written.
bool ParseAssignments(const Context& ctx, const std::vector<std::string>& texts,
                      std::vector<features::Assignment>& out);

// The readable features `names` select, in table order (all of them when
// there are no names). A name selects its feature and, as a group, every
// feature below it: "contrast" is contrast and contrast.*. False after the
// error line for an unknown name or one that can only be written.
bool SelectReadable(const Context& ctx, const std::vector<std::string>& names,
                    std::vector<const features::Feature*>& out);

// Reads the feature just written back and compares; Differs and Failed after
// the error line. sharpening.size, which no getter reads, is compared as the
// kernel registers it writes.
enum class ReadBack { Same, Differs, Failed };
ReadBack VerifyAssignment(const Context& ctx, const features::Assignment& assignment);

// One operand of `reg read`: ADDR, the console's comma list, or ADDR+N for N
// consecutive registers from ADDR (4 bytes apart; 1 in the 8-bit EDID
// spaces of read command 0x0600 and 0x0700). False after the error line.
bool ParseRegisterOperand(const Context& ctx, const std::string& text, unsigned short readCmd,
                          std::vector<unsigned int>& addresses);
// Reads `addresses` as the register map's getters see them and prints each
// with its name and decoded fields; kOk, or kFailed after the error line.
// --decode reads through the getters: a read command other than 0x0400 is a
// usage error (kUsage after the error line).
int PrintDecoded(const Context& ctx, Output& out, const std::vector<unsigned int>& addresses, unsigned short readCmd);
// The registers of the picture-quality map in address order, kernel last.
std::vector<unsigned int> PictureQualityMap();

// --interval's SECONDS: decimal, at most three decimals, 0.01 to 86400.
bool ParseInterval(const std::string& text, std::chrono::milliseconds& interval);

// The bash completion script, made from the command, option and feature tables.
std::string BashCompletion();

// One command: "get", or a command word and its subcommand ("reg read").
// The help, the usage lines, the dispatch and (checked by a test) the man
// page's COMMANDS and OPTIONS come from these records.
struct Command {
    std::string_view name = {};
    std::string_view operands = {};                 // "ADDR=VALUE...", as the usage line shows them
    std::span<const cmdline::Option> options = {};  // the command's own options
    std::string_view description = {};              // one line
    std::string_view notes = {};                    // more help text, "" or whole lines
    std::string (*moreNotes)() = nullptr;           // help text made from the feature table
    int (*run)(Context&, const cmdline::Parsed&) = nullptr;
    bool device = false;  // opens the bridge before it runs (the others decide for themselves)
};

std::span<const Command> Commands();
// The global options, in the order the help lists them.
std::span<const cmdline::Option> GlobalOptions();

// "get [FEATURE...]", "reg read ADDR... [--cmd READ/WRITE]".
std::string Synopsis(const Command& command);
// The overview (`word` "") or the help of one command word; false when
// there is no such word.
bool PrintHelp(std::string_view word, std::FILE* out);
// "vivid, vivid.range, ..." wrapped after `indent` for lines of at most 80.
std::string FeatureList(bool readableOnly, size_t indent);

// Handlers: `args` holds the command's options and the words after the
// command (and subcommand) word.
int CmdList(Context& ctx, const cmdline::Parsed& args);
int CmdGet(Context& ctx, const cmdline::Parsed& args);
int CmdSet(Context& ctx, const cmdline::Parsed& args);
int CmdRegRead(Context& ctx, const cmdline::Parsed& args);
int CmdRegWrite(Context& ctx, const cmdline::Parsed& args);
int CmdRegDump(Context& ctx, const cmdline::Parsed& args);
int CmdEdidRead(Context& ctx, const cmdline::Parsed& args);
int CmdEdidWrite(Context& ctx, const cmdline::Parsed& args);
int CmdEdidCheck(Context& ctx, const cmdline::Parsed& args);
int CmdProfileSave(Context& ctx, const cmdline::Parsed& args);
int CmdProfileApply(Context& ctx, const cmdline::Parsed& args);
int CmdProfileDiff(Context& ctx, const cmdline::Parsed& args);
int CmdPaths(Context& ctx, const cmdline::Parsed& args);
int CmdWatch(Context& ctx, const cmdline::Parsed& args);

// The program: parses the command line, runs one command, returns the exit code.
int Main(int argc, char** argv);

}  // namespace cli
