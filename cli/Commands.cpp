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
#include "Profile.h"
#include "SPIUtil.h"
#include "SpiReadWriteOps.h"
#include "TimeUtil.h"
#include "spilink.h"

namespace cli {
namespace {

std::u16string Wide(const std::string& text) { return Utf8ToUtf16(text); }
std::string Narrow(const std::u16string& text) { return Utf16ToUtf8(text); }

// The console's messages (address or value format, CMD words) as error lines.
spirw::Notify ErrorsTo(const Context& ctx) {
    return [&ctx](const std::u16string& text) { Error(ctx, Narrow(text)); };
}

void PrintFeature(Output& out, const features::Feature& f, unsigned int value) {
    switch (f.kind) {
    case features::Kind::OnOff: out.Bool(f.name, value != 0, value != 0 ? "on" : "off"); break;
    case features::Kind::Number: out.Number(f.name, value); break;
    case features::Kind::Choice: out.String(f.name, features::FormatValue(f, value)); break;
    }
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
    std::list<std::u16string> names;
    libComm_EnumDevice(names);
    const std::vector<std::string> problems = BridgeProblemLines();
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
    const std::vector<std::string> names = args.Operands();
    std::vector<bool> wanted(features::Table().size(), names.empty());
    for (const std::string& name : names) {
        const features::Feature* f = features::Find(name);
        if (f == nullptr) {
            Error(ctx, "unknown feature \"" + name + "\"");
            return kUsage;
        }
        if (!f->readable) {
            Error(ctx, name + " is write only");
            return kUsage;
        }
        wanted[static_cast<size_t>(f - features::Table().data())] = true;
    }
    Output out(ctx);
    bool first = true;
    for (const features::Feature& f : features::Table()) {
        if (!f.readable || !wanted[static_cast<size_t>(&f - features::Table().data())]) continue;
        if (!first) WexSleep(1);
        first = false;
        unsigned int value = 0;
        if (!features::Read(ctx.device, f, value)) {
            Error(ctx, std::string("reading ") + f.name + " failed");
            out.Discard();
            return kFailed;
        }
        PrintFeature(out, f, value);
    }
    return kOk;
}

int CmdSet(Context& ctx, const cmdline::Parsed& args) {
    if (!NoOptionsLeft(ctx, args)) return kUsage;
    const std::vector<std::string> texts = args.Operands();
    if (texts.empty()) {
        Error(ctx, "nothing to set (FEATURE=VALUE...)");
        return kUsage;
    }
    std::vector<features::Assignment> assignments;
    for (const std::string& a : texts) {
        features::Assignment assignment;
        std::string error;
        if (!features::ParseAssignment(a, assignment, error)) {
            Error(ctx, error + "; nothing written");
            return kUsage;
        }
        assignments.push_back(assignment);
    }
    Output out(ctx);
    bool first = true;
    for (const features::Assignment& a : assignments) {
        if (!first) WexSleep(1);
        first = false;
        if (!features::Write(ctx.device, a)) {
            Error(ctx, std::string("writing ") + a.feature->name + " failed");
            out.Discard();
            return kFailed;
        }
        if (!ctx.quiet) PrintFeature(out, *a.feature, a.value);
    }
    return kOk;
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
        // The console's CMD words: READ/WRITE as its "0x0400/0x4000" choices spell them.
        std::string value = m.value;
        std::replace(value.begin(), value.end(), '/', ',');
        std::list<unsigned short> words;
        if (!spirw::ParseCmdValues(Wide(value), words, ErrorsTo(ctx)) || words.size() != 2) {
            Error(ctx, "--cmd needs READ/WRITE, for example 0x0600/0x6000");
            return false;
        }
        readCmd = words.front();
        writeCmd = words.back();
    }
    return true;
}

// Reads one register; false after the error line (and no output).
bool ReadOne(const Context& ctx, Output& out, unsigned int address, unsigned int& value, unsigned short readCmd) {
    if (ReadRegister(ctx.device, address, value, readCmd)) return true;
    Error(ctx, "reading " + Hex32(address) + " failed");
    out.Discard();
    return false;
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
    std::list<unsigned int> addresses;
    for (const std::string& a : texts)
        if (!spirw::ParseHexList(Wide(a), spirw::Field::Address, addresses, ErrorsTo(ctx))) return Refused(out);
    for (const unsigned int address : addresses) {
        unsigned int value = 0;
        if (!ReadOne(ctx, out, address, value, readCmd)) return kFailed;
        out.String(Hex32(address), Hex32(value));
    }
    return kOk;
}

int CmdRegDump(Context& ctx, const cmdline::Parsed& args) {
    unsigned short readCmd = 0, writeCmd = 0;
    if (!CmdWords(ctx, args, readCmd, writeCmd) || !NoOptionsLeft(ctx, args)) return kUsage;
    Output out(ctx);
    if (!args.Operands().empty()) {
        Error(ctx, "takes no arguments");
        return Refused(out);
    }
    std::vector<unsigned int> addresses(std::begin(kPictureQualityRegisters), std::end(kPictureQualityRegisters));
    for (unsigned int i = 0; i < kSharpeningKernelSize; ++i) addresses.push_back(kRegSharpeningKernel + 4 * i);
    for (const unsigned int address : addresses) {
        unsigned int value = 0;
        if (!ReadOne(ctx, out, address, value, readCmd)) return kFailed;
        out.String(Hex32(address), Hex32(value));
    }
    return kOk;
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
        std::list<unsigned int> address, data;
        if (eq == std::string::npos) {
            Error(ctx, "\"" + a + "\" is not ADDR=VALUE; nothing written");
            return Refused(out);
        }
        if (!spirw::ParseHexList(Wide(a.substr(0, eq)), spirw::Field::Address, address, ErrorsTo(ctx)) ||
            !spirw::ParseHexList(Wide(a.substr(eq + 1)), spirw::Field::Data, data, ErrorsTo(ctx)))
            return Refused(out);
        if (address.size() != 1 || data.size() != 1) {
            Error(ctx, "\"" + a + "\" is not one ADDR=VALUE; nothing written");
            return Refused(out);
        }
        writes.emplace_back(address.front(), data.front());
    }
    int result = kOk;
    for (const auto& [address, value] : writes) {
        if (!WriteRegister(ctx.device, address, value, writeCmd)) {
            Error(ctx, "writing " + Hex32(address) + " failed");
            out.Discard();
            return kFailed;
        }
        if (!ctx.quiet) out.String(Hex32(address), Hex32(value));
        if (!verify) continue;
        unsigned int back = 0;
        if (!ReadOne(ctx, out, address, back, readCmd)) return kFailed;
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

std::string SideText(const features::Feature& f, const std::optional<unsigned int>& v) {
    return v ? features::FormatValue(f, *v) : "-";
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
    std::string error;
    std::vector<profile::Value> left, right;
    // Files are checked before the bridge is touched.
    profile::Result r = profile::Load(Wide(files[0]), left, error);
    if (r == profile::Result::Ok && files.size() == 2) r = profile::Load(Wide(files[1]), right, error);
    if (r != profile::Result::Ok) {
        Error(ctx, error);
        return FromResult(r);
    }
    if (files.size() == 1) {
        // Against the chip: only what the file holds and the chip can report.
        std::erase_if(left, [](const profile::Value& v) { return !v.feature->readable; });
        if (const int open = OpenDevice(ctx); open != kOk) return open;
        r = profile::ReadChip(ctx.device, right, error, &left);
        if (r != profile::Result::Ok) {
            Error(ctx, error);
            return FromResult(r);
        }
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
    if (const int open = OpenDevice(ctx); open != kOk) return open;
    std::string error;
    std::vector<std::string> skipped;
    const profile::Result r = profile::Save(ctx.device, Wide(files[0]), error, &skipped);
    if (r != profile::Result::Ok) Error(ctx, error);
    for (const std::string& entry : skipped) {
        if (!ctx.quiet)
            std::fprintf(stderr, "tunedesk-cli: profile save: %s left out: it can be read but not written\n",
                         entry.c_str());
    }
    return FromResult(r);
}

int CmdProfileApply(Context& ctx, const cmdline::Parsed& args) {
    std::vector<std::string> files;
    if (!Files(ctx, args, 1, files)) return kUsage;
    const std::u16string path = Wide(files[0]);
    const bool verify = args.Has("--verify");
    std::string error;
    std::vector<profile::Value> left, right;
    // A file that does not check out never reaches the bridge.
    if (profile::Result r = profile::Load(path, left, error); r != profile::Result::Ok) {
        Error(ctx, error);
        return FromResult(r);
    }
    left.clear();
    if (const int open = OpenDevice(ctx); open != kOk) return open;
    std::vector<features::Assignment> applied;
    profile::Result r = profile::Apply(ctx.device, path, error, &applied);
    if (r != profile::Result::Ok) {
        Error(ctx, error + (applied.empty() ? "" : " (written before: " + std::to_string(applied.size()) + ")"));
        return FromResult(r);
    }
    {
        Output out(ctx);
        if (!ctx.quiet)
            for (const features::Assignment& a : applied) PrintFeature(out, *a.feature, a.value);
    }
    if (!verify) return kOk;
    profile::Load(path, left, error);
    std::erase_if(left, [](const profile::Value& v) { return !v.feature->readable; });
    WexSleep(1);
    if ((r = profile::ReadChip(ctx.device, right, error, &left)) != profile::Result::Ok) {
        Error(ctx, error);
        return FromResult(r);
    }
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
