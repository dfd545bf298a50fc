// tunedesk-cli commands: list, get, set, reg, profile, paths.
#include <algorithm>
#include <list>
#include <string>
#include <vector>

#include "AppPaths.h"
#include "BridgeProblems.h"
#include "Cli.h"
#include "Convert.h"
#include "Features.h"
#include "IniFile.h"
#include "PanelClient.h"
#include "Profile.h"
#include "SafeFile.h"
#include "SPIUtil.h"
#include "SpiReadWriteOps.h"
#include "TextParse.h"
#include "TimeUtil.h"
#include "spilink.h"

namespace cli {
namespace {

std::string Narrow(const std::u16string& text) { return Utf16ToUtf8(text); }

void PrintFeature(Output& out, const features::Feature& f, unsigned int value) {
    switch (f.kind) {
    case features::Kind::OnOff: out.Bool(f.name, value != 0, value != 0 ? "on" : "off"); break;
    case features::Kind::Number: out.Number(f.name, value); break;
    case features::Kind::Choice: out.String(f.name, features::FormatValue(f, value)); break;
    }
}

// "; written before: a=1, b=2" (or that nothing was), for the error line of
// a command that stopped part-way.
std::string WrittenBefore(const std::string& done) {
    return done.empty() ? "; nothing written" : "; written before: " + done;
}

// Words that look like options but are none of the command's.
bool NoOptionsLeft(const Context& ctx, const cmdline::Parsed& args) {
    const std::vector<std::string> unknown = args.Unknown();
    if (unknown.empty()) return true;
    Error(ctx, "unknown option " + unknown.front());
    return false;
}

}  // namespace

int CmdList(Context& ctx, const cmdline::Parsed& args) {
    if (!NoOptionsLeft(ctx, args)) return kUsage;
    if (!args.Operands().empty()) {
        Error(ctx, "takes no arguments");
        return kUsage;
    }
    if (ctx.chip) return panel::List(ctx);
    if (const int r = Prepare(ctx); r != kOk) return r;
    std::list<std::u16string> names;
    libComm_EnumDevice(names);
    const std::vector<std::string> problems = BridgeProblemLines();
    if (names.empty()) Error(ctx, "no bridge found");
    Output out(ctx);
    std::vector<std::string> bridges;
    for (const std::u16string& name : names) {
        bridges.push_back(Narrow(name));
        out.Line(bridges.back());
    }
    for (const std::string& p : problems) out.Line("unusable: " + p);
    if (out.Json()) {
        out.List("bridges", bridges);
        out.List("unusable", problems);
    }
    return names.empty() ? kNoBridge : kOk;
}

int CmdGet(Context& ctx, const cmdline::Parsed& args) {
    if (!NoOptionsLeft(ctx, args)) return kUsage;
    std::vector<const features::Feature*> selected;
    if (!SelectReadable(ctx, args.Operands(), selected)) return kUsage;
    Output out(ctx);
    std::vector<unsigned int> values;
    size_t failed = 0;
    if (!ctx.chip->ReadFeatures(selected, values, failed)) {
        Error(ctx, std::string("reading ") + selected[failed]->name + " failed" + ChipWhy(ctx));
        out.Discard();
        return ChipExit(ctx);
    }
    for (size_t i = 0; i < selected.size(); ++i) PrintFeature(out, *selected[i], values[i]);
    return kOk;
}

bool ParseAssignments(const Context& ctx, const std::vector<std::string>& texts,
                      std::vector<features::Assignment>& out) {
    if (texts.empty()) {
        Error(ctx, "nothing to set (FEATURE=VALUE...)");
        return false;
    }
    for (const std::string& a : texts) {
        features::Assignment assignment;
        std::string error;
        if (!features::ParseAssignment(a, assignment, error)) {
            Error(ctx, error + "; nothing written");
            return false;
        }
        out.push_back(assignment);
    }
    return true;
}

int CmdSet(Context& ctx, const cmdline::Parsed& args) {
    if (!NoOptionsLeft(ctx, args)) return kUsage;
    const std::vector<std::string> texts = args.Operands();
    std::vector<features::Assignment> assignments;
    if (!ParseAssignments(ctx, texts, assignments)) return kUsage;
    Output out(ctx);
    if (args.Has("--dry-run")) {
        for (const features::Assignment& a : assignments) PrintFeature(out, *a.feature, a.value);
        return kOk;
    }
    ctx.writes = true;
    std::string done;  // "name=value, ..." written so far
    const bool verify = args.Has("--verify");
    int result = kOk;
    bool first = true;
    for (const features::Assignment& a : assignments) {
        if (!first) WexSleep(1);
        first = false;
        const std::string value = features::FormatValue(*a.feature, a.value);
        if (Interrupted() || !ctx.chip->WriteFeature(a)) {
            Error(ctx, std::string(Interrupted() ? "stopped before " : "writing ") + a.feature->name +
                           (Interrupted() ? "" : " failed" + ChipWhy(ctx)) + WrittenBefore(done));
            out.Discard();
            return Interrupted() ? kFailed : ChipExit(ctx);
        }
        done += (done.empty() ? "" : ", ") + std::string(a.feature->name) + "=" + value;
        std::erase_if(ctx.written, [&](const auto& w) { return w.first == a.feature->name; });
        ctx.written.emplace_back(a.feature->name, FeatureJson(*a.feature, a.value));
        if (!ctx.quiet) PrintFeature(out, *a.feature, a.value);
        if (!verify) continue;
        WexSleep(1);
        const ReadBack back = VerifyAssignment(ctx, a);
        if (back == ReadBack::Failed) {
            out.Discard();
            return ChipExit(ctx);
        }
        if (back == ReadBack::Differs) result = kFailed;
    }
    return result;
}

// ---- reg ----------------------------------------------------------------------

namespace {

// A usage error found after the output began: nothing is printed, not even
// an empty JSON object a script could take for a result.
int Refused(Output& out) {
    out.Discard();
    return kUsage;
}

// The --cmd options given, in order, as the console's READ/WRITE words; false
// after the error lines for one that is not two words.
bool CmdWords(const Context& ctx, const cmdline::Parsed& args, unsigned short& readCmd, unsigned short& writeCmd) {
    readCmd = kReadCommand;
    writeCmd = kWriteCommand;
    for (const cmdline::Match& m : args.options) {
        if (m.option->name != "--cmd") continue;
        // READ/WRITE as the console's "0x0400/0x4000" choices spell them; each
        // a 16-bit word, none empty.
        const size_t slash = m.value.find('/');
        unsigned int words[2] = {};
        const std::string parts[2] = {m.value.substr(0, slash),
                                      slash == std::string::npos ? std::string() : m.value.substr(slash + 1)};
        for (int i = 0; i < 2; ++i) {
            if (slash == std::string::npos || parts[i].find('/') != std::string::npos ||
                parse::StrictHex(parts[i], 4, words[i]) != parse::Hex::Ok) {
                Error(ctx, "--cmd needs READ/WRITE, two words of 1 to 4 hex digits, for example 0x0600/0x6000");
                return false;
            }
        }
        readCmd = static_cast<unsigned short>(words[0]);
        writeCmd = static_cast<unsigned short>(words[1]);
    }
    return true;
}

// Reads one register; false after the error line (and no output).
bool ReadOne(const Context& ctx, Output& out, unsigned int address, unsigned int& value, unsigned short readCmd) {
    if (ctx.chip->ReadRegister(address, value, readCmd)) return true;
    Error(ctx, "reading " + Hex32(address) + " failed" + ChipWhy(ctx));
    out.Discard();
    return false;
}

// The registers' values in order, or with --decode their fields by name.
int PrintRegisters(const Context& ctx, const cmdline::Parsed& args, Output& out,
                   const std::vector<unsigned int>& addresses, unsigned short readCmd) {
    if (args.Has("--decode")) return PrintDecoded(ctx, out, addresses, readCmd);
    std::vector<unsigned int> values;
    size_t failed = 0;
    if (!ctx.chip->ReadRegisters(addresses, values, failed, readCmd)) {
        Error(ctx, "reading " + Hex32(addresses[failed]) + " failed" + ChipWhy(ctx));
        out.Discard();
        return ChipExit(ctx);
    }
    for (size_t i = 0; i < addresses.size(); ++i) out.String(Hex32(addresses[i]), Hex32(values[i]));
    return kOk;
}

}  // namespace

int CmdRegRead(Context& ctx, const cmdline::Parsed& args) {
    unsigned short readCmd = 0, writeCmd = 0;
    if (!CmdWords(ctx, args, readCmd, writeCmd) || !NoOptionsLeft(ctx, args)) return kUsage;
    Output out(ctx);
    const std::vector<std::string> texts = args.Operands();
    if (texts.empty()) {
        Error(ctx, "needs ADDR...");
        return Refused(out);
    }
    std::vector<unsigned int> addresses;
    for (const std::string& a : texts)
        if (!ParseRegisterOperand(ctx, a, readCmd, addresses)) return Refused(out);
    return PrintRegisters(ctx, args, out, addresses, readCmd);
}

int CmdRegDump(Context& ctx, const cmdline::Parsed& args) {
    unsigned short readCmd = 0, writeCmd = 0;
    if (!CmdWords(ctx, args, readCmd, writeCmd) || !NoOptionsLeft(ctx, args)) return kUsage;
    Output out(ctx);
    if (!args.Operands().empty()) {
        Error(ctx, "takes no arguments");
        return Refused(out);
    }
    const std::vector<unsigned int> addresses = PictureQualityMap();
    return PrintRegisters(ctx, args, out, addresses, readCmd);
}

int CmdRegWrite(Context& ctx, const cmdline::Parsed& args) {
    unsigned short readCmd = 0, writeCmd = 0;
    if (!CmdWords(ctx, args, readCmd, writeCmd) || !NoOptionsLeft(ctx, args)) return kUsage;
    const bool verify = args.Has("--verify");
    Output out(ctx);
    const std::vector<std::string> texts = args.Operands();
    if (texts.empty()) {
        Error(ctx, "needs ADDR=VALUE...");
        return Refused(out);
    }
    std::vector<std::pair<unsigned int, unsigned int>> writes;
    for (const std::string& a : texts) {
        const size_t eq = a.find('=');
        std::vector<unsigned int> address, data;
        if (eq == std::string::npos) {
            Error(ctx, "\"" + a + "\" is not ADDR=VALUE; nothing written");
            return Refused(out);
        }
        if (!HexList(ctx, a.substr(0, eq), "address", 8, address) || !HexList(ctx, a.substr(eq + 1), "value", 8, data))
            return Refused(out);
        if (address.size() != 1 || data.size() != 1) {
            Error(ctx, "\"" + a + "\" is not one ADDR=VALUE; nothing written");
            return Refused(out);
        }
        writes.emplace_back(address.front(), data.front());
    }
    if (args.Has("--dry-run")) {
        for (const auto& [address, value] : writes) out.String(Hex32(address), Hex32(value));
        return kOk;
    }
    int result = kOk;
    ctx.writes = true;
    std::string done;
    for (const auto& [address, value] : writes) {
        if (Interrupted() || !ctx.chip->WriteRegister(address, value, writeCmd)) {
            Error(ctx, (Interrupted() ? "stopped before " + Hex32(address)
                                      : "writing " + Hex32(address) + " failed" + ChipWhy(ctx)) +
                           WrittenBefore(done));
            out.Discard();
            return Interrupted() ? kFailed : ChipExit(ctx);
        }
        done += (done.empty() ? "" : ", ") + Hex32(address) + "=" + Hex32(value);
        std::erase_if(ctx.written, [&](const auto& w) { return w.first == Hex32(address); });
        ctx.written.emplace_back(Hex32(address), JsonString(Hex32(value)));
        if (!ctx.quiet) out.String(Hex32(address), Hex32(value));
        if (!verify) continue;
        unsigned int back = 0;
        if (!ReadOne(ctx, out, address, back, readCmd)) return ChipExit(ctx);
        if (back != value) {
            Error(ctx, Hex32(address) + ": wrote " + Hex32(value) + ", read back " + Hex32(back));
            result = kFailed;
        }
    }
    return result;
}

// ---- profile ------------------------------------------------------------------

namespace {

int FromResult(profile::Result r) {
    switch (r) {
    case profile::Result::Ok: return kOk;
    case profile::Result::Failed: return kFailed;
    case profile::Result::Invalid: return kUsage;
    }
    return kFailed;
}

// The chip of the command, as the profile functions reach it.
profile::ChipAccess Access(Context& ctx) {
    Chip* chip = ctx.chip.get();
    return {[chip](std::span<const features::Feature* const> list, std::vector<unsigned int>& values, size_t& failed) {
                return chip->ReadFeatures(list, values, failed);
            },
            [chip](const features::Assignment& a) { return chip->WriteFeature(a); }};
}

// A profile function's error line, and the exit code for it.
int ProfileFailed(const Context& ctx, profile::Result r, const std::string& error, const std::string& tail = {}) {
    const bool chip = r == profile::Result::Failed;
    Error(ctx, error + (chip ? ChipWhy(ctx) : std::string()) + tail);
    return chip ? ChipExit(ctx) : FromResult(r);
}

std::string SideText(const features::Feature& f, const std::optional<unsigned int>& v) {
    return v ? features::FormatValue(f, *v) : "-";
}

constexpr std::size_t kMaxProfileBytes = 1 << 20;

// A profile file ("-": standard input), by its name as the system passes it.
profile::Result LoadProfile(const std::string& path, std::vector<profile::Value>& out, std::string& error) {
    std::string text;
    if (!files::ReadCapped(path, kMaxProfileBytes, text, error)) return profile::Result::Invalid;
    return profile::LoadText(text, files::IsStdStream(path) ? "standard input" : path, out, error);
}

// The profile commands' files; false after the error line.
bool Files(const Context& ctx, const cmdline::Parsed& args, size_t most, std::vector<std::string>& files) {
    if (!NoOptionsLeft(ctx, args)) return false;
    files = args.Operands();
    if (files.empty() || files.size() > most) {
        Error(ctx, most == 2 ? "needs FILE [FILE2]" : "needs one FILE");
        return false;
    }
    return true;
}

}  // namespace

int CmdProfileDiff(Context& ctx, const cmdline::Parsed& args) {
    std::vector<std::string> files;
    if (!Files(ctx, args, 2, files)) return kUsage;
    if (files.size() == 2 && files::IsStdStream(files[0]) && files::IsStdStream(files[1])) {
        Error(ctx, "standard input can be read only once");
        return kUsage;
    }
    std::string error;
    std::vector<profile::Value> left, right;
    // Files are checked before the bridge is touched.
    profile::Result r = LoadProfile(files[0], left, error);
    if (r == profile::Result::Ok && files.size() == 2) r = LoadProfile(files[1], right, error);
    if (r != profile::Result::Ok) {
        Error(ctx, error);
        return FromResult(r);
    }
    if (files.size() == 1) {
        // Against the chip: only what the file holds and the chip can report.
        std::erase_if(left, [](const profile::Value& v) { return !v.feature->readable; });
        if (const int open = OpenDevice(ctx); open != kOk) return open;
        r = profile::ReadChip(Access(ctx), right, error, &left);
        if (r != profile::Result::Ok) return ProfileFailed(ctx, r, error);
    }
    const std::vector<profile::Difference> diffs = profile::Diff(left, right);
    Output out(ctx);
    for (const profile::Difference& d : diffs) {
        const std::string l = SideText(*d.feature, d.left), rt = SideText(*d.feature, d.right);
        if (out.Json())
            out.List(d.feature->name, {l, rt});
        else
            out.Line(std::string(d.feature->name) + " " + l + " " + rt);
    }
    return diffs.empty() ? kOk : kFailed;
}

int CmdProfileSave(Context& ctx, const cmdline::Parsed& args) {
    std::vector<std::string> files;
    if (!Files(ctx, args, 1, files)) return kUsage;
    if (ctx.json && files::IsStdStream(files[0])) {
        Error(ctx, "the profile goes to standard output: --json has no room there");
        return kUsage;
    }
    if (const int open = OpenDevice(ctx); open != kOk) return open;
    std::string error;
    std::vector<std::string> skipped;
    std::vector<std::pair<std::string, std::string>> entries;
    profile::Result r = profile::ReadForSave(Access(ctx), entries, error, &skipped);
    if (r != profile::Result::Ok) return ProfileFailed(ctx, r, error);
    if ((r = profile::Store(files[0], entries, error)) != profile::Result::Ok) {
        Error(ctx, error);
        return FromResult(r);
    }
    // Not hidden by --quiet: the file lacks what the chip holds.
    for (const std::string& entry : skipped)
        std::fprintf(stderr, "tunedesk-cli: profile save: %s left out: it can be read but not written\n",
                     entry.c_str());
    Output out(ctx);
    if (out.Json()) {
        for (const auto& [name, value] : entries) {
            const features::Feature* f = features::Find(name);
            unsigned int v = 0;
            std::string ignored;
            if (f != nullptr && features::ParseReadValue(*f, value, v, ignored)) PrintFeature(out, *f, v);
        }
        out.List("left out", skipped);
    }
    return kOk;
}

int CmdProfileApply(Context& ctx, const cmdline::Parsed& args) {
    std::vector<std::string> files;
    if (!Files(ctx, args, 1, files)) return kUsage;
    const std::string& path = files[0];
    const bool verify = args.Has("--verify");
    std::string error, text;
    std::vector<profile::Value> left, right;
    // Read once: standard input cannot be read again for the check or the
    // verification.
    if (!files::ReadCapped(path, kMaxProfileBytes, text, error)) {
        Error(ctx, error);
        return kUsage;
    }
    const std::string name = files::IsStdStream(path) ? "standard input" : path;
    // A file that does not check out never reaches the bridge.
    if (profile::Result r = profile::LoadText(text, name, left, error); r != profile::Result::Ok) {
        Error(ctx, error);
        return FromResult(r);
    }
    if (const int open = OpenDevice(ctx); open != kOk) return open;
    if (args.Has("--dry-run")) {
        std::vector<features::Assignment> checked;
        if (profile::Result r = profile::CheckText(text, name, checked, error); r != profile::Result::Ok) {
            Error(ctx, error);
            return FromResult(r);
        }
        Output out(ctx);
        for (const features::Assignment& a : checked) PrintFeature(out, *a.feature, a.value);
        return kOk;
    }
    ctx.writes = true;
    std::vector<features::Assignment> applied;
    profile::Result r = profile::ApplyText(Access(ctx), text, name, error, &applied);
    std::string done;
    for (const features::Assignment& a : applied) {
        done += (done.empty() ? "" : ", ") + std::string(a.feature->name) + "=" +
                features::FormatValue(*a.feature, a.value);
        ctx.written.emplace_back(a.feature->name, FeatureJson(*a.feature, a.value));
    }
    if (r != profile::Result::Ok) return ProfileFailed(ctx, r, error, WrittenBefore(done));
    {
        Output out(ctx);
        if (!ctx.quiet)
            for (const features::Assignment& a : applied) PrintFeature(out, *a.feature, a.value);
    }
    if (!verify) return kOk;
    std::erase_if(left, [](const profile::Value& v) { return !v.feature->readable; });
    WexSleep(1);
    if ((r = profile::ReadChip(Access(ctx), right, error, &left)) != profile::Result::Ok)
        return ProfileFailed(ctx, r, error);
    const std::vector<profile::Difference> diffs = profile::Diff(left, right);
    for (const profile::Difference& d : diffs)
        Error(ctx, std::string(d.feature->name) + ": wrote " + SideText(*d.feature, d.left) + ", read back " +
                       SideText(*d.feature, d.right));
    return diffs.empty() ? kOk : kFailed;
}

int CmdPaths(Context& ctx, const cmdline::Parsed& args) {
    if (!args.rest.empty()) {
        Error(ctx, "takes no arguments");
        return kUsage;
    }
    Output out(ctx);
    out.String("settings", Narrow(SettingsFilePath()));
    out.String("logs", Narrow(OutputLogDir()));
    return kOk;
}

}  // namespace cli
