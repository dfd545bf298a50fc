// tunedesk-cli commands: list, get, set, reg, profile, paths.
#include <algorithm>
#include <list>
#include <string>
#include <vector>

#include "AppPaths.h"
#include "BridgeProblems.h"
#include "Cli.h"
#include "Features.h"
#include "Profile.h"
#include "SPIUtil.h"
#include "SpiReadWriteOps.h"
#include "TimeUtil.h"
#include "platform/ini/IniFile.h"
#include "spilink.h"

namespace cli {
namespace {

std::u16string Wide(const std::string& text) { return ini::FromUtf8(text); }
std::string Narrow(const std::u16string& text) { return ini::ToUtf8(text); }

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

// Arguments that are not options of the command.
bool NoOptionsLeft(const Context& ctx, const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a.size() > 1 && a[0] == '-') {
            Error(ctx, "unknown option " + a);
            return false;
        }
    }
    return true;
}

}  // namespace

int CmdList(Context& ctx, const std::vector<std::string>& args) {
    if (!NoOptionsLeft(ctx, args)) return kUsage;
    if (!args.empty()) {
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

int CmdGet(Context& ctx, const std::vector<std::string>& args) {
    if (!NoOptionsLeft(ctx, args)) return kUsage;
    std::vector<bool> wanted(features::Table().size(), args.empty());
    for (const std::string& name : args) {
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

int CmdSet(Context& ctx, const std::vector<std::string>& args) {
    if (!NoOptionsLeft(ctx, args)) return kUsage;
    if (args.empty()) {
        Error(ctx, "nothing to set (FEATURE=VALUE...)");
        return kUsage;
    }
    std::vector<features::Assignment> assignments;
    for (const std::string& a : args) {
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

// A usage error found after the output began: nothing is printed, not even
// an empty JSON object a script could take for a result.
int Refused(Output& out) {
    out.Discard();
    return kUsage;
}

int CmdReg(Context& ctx, const std::vector<std::string>& all) {
    std::string sub;
    if (!Subcommand(ctx, all, {"read", "write", "dump"}, sub)) return kUsage;
    unsigned short readCmd = kReadCommand, writeCmd = kWriteCommand;
    bool verify = false;
    std::vector<std::string> args;
    for (size_t i = 1; i < all.size(); ++i) {
        std::string value;
        if (const int c = TakeValue(all, i, "--cmd", value); c != 0) {
            // The console's CMD words: READ/WRITE as its "0x0400/0x4000" choices spell them.
            std::replace(value.begin(), value.end(), '/', ',');
            std::list<unsigned short> words;
            if (c < 0 || !spirw::ParseCmdValues(Wide(value), words, ErrorsTo(ctx)) || words.size() != 2) {
                Error(ctx, "--cmd needs READ/WRITE, for example 0x0600/0x6000");
                return kUsage;
            }
            readCmd = words.front();
            writeCmd = words.back();
        } else if (sub == "write" && TakeFlag(all, i, "--verify")) {
            verify = true;
        } else {
            args.push_back(all[i]);
        }
    }
    if (!NoOptionsLeft(ctx, args)) return kUsage;

    Output out(ctx);
    auto readOne = [&](unsigned int address, unsigned int& value) {
        if (ReadRegister(ctx.device, address, value, readCmd)) return true;
        Error(ctx, "reading " + Hex32(address) + " failed");
        out.Discard();
        return false;
    };

    if (sub == "dump") {
        if (!args.empty()) {
            Error(ctx, "takes no arguments");
            return Refused(out);
        }
        std::vector<unsigned int> addresses(std::begin(kPictureQualityRegisters), std::end(kPictureQualityRegisters));
        for (unsigned int i = 0; i < kSharpeningKernelSize; ++i) addresses.push_back(kRegSharpeningKernel + 4 * i);
        for (const unsigned int address : addresses) {
            unsigned int value = 0;
            if (!readOne(address, value)) return kFailed;
            out.String(Hex32(address), Hex32(value));
        }
        return kOk;
    }
    if (args.empty()) {
        Error(ctx, sub == "read" ? "needs ADDR..." : "needs ADDR=VALUE...");
        return Refused(out);
    }

    if (sub == "read") {
        std::list<unsigned int> addresses;
        for (const std::string& a : args)
            if (!spirw::ParseHexList(Wide(a), spirw::Field::Address, addresses, ErrorsTo(ctx))) return Refused(out);
        for (const unsigned int address : addresses) {
            unsigned int value = 0;
            if (!readOne(address, value)) return kFailed;
            out.String(Hex32(address), Hex32(value));
        }
        return kOk;
    }

    std::vector<std::pair<unsigned int, unsigned int>> writes;
    for (const std::string& a : args) {
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
        if (!readOne(address, back)) return kFailed;
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

}  // namespace

int CmdProfile(Context& ctx, const std::vector<std::string>& all) {
    std::string sub;
    if (!Subcommand(ctx, all, {"save", "apply", "diff"}, sub)) return kUsage;
    bool verify = false;
    std::vector<std::string> files;
    for (size_t i = 1; i < all.size(); ++i) {
        if (sub == "apply" && TakeFlag(all, i, "--verify"))
            verify = true;
        else
            files.push_back(all[i]);
    }
    if (!NoOptionsLeft(ctx, files)) return kUsage;
    const size_t maxFiles = sub == "diff" ? 2 : 1;
    if (files.empty() || files.size() > maxFiles) {
        Error(ctx, sub == "diff" ? "needs FILE [FILE2]" : "needs one FILE");
        return kUsage;
    }

    std::string error;
    std::vector<profile::Value> left, right;
    if (sub == "diff") {
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

    const std::u16string path = Wide(files[0]);
    if (sub == "apply") {
        // A file that does not check out never reaches the bridge.
        std::vector<profile::Value> wanted;
        if (profile::Result r = profile::Load(path, wanted, error); r != profile::Result::Ok) {
            Error(ctx, error);
            return FromResult(r);
        }
    }
    if (const int open = OpenDevice(ctx); open != kOk) return open;
    if (sub == "save") {
        std::vector<std::string> skipped;
        const profile::Result r = profile::Save(ctx.device, path, error, &skipped);
        if (r != profile::Result::Ok) Error(ctx, error);
        for (const std::string& entry : skipped) {
            if (!ctx.quiet)
                std::fprintf(stderr, "tunedesk-cli: profile save: %s left out: it can be read but not written\n",
                             entry.c_str());
        }
        return FromResult(r);
    }

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

int CmdPaths(Context& ctx, const std::vector<std::string>& args) {
    if (!args.empty()) {
        Error(ctx, "takes no arguments");
        return kUsage;
    }
    Output out(ctx);
    out.String("settings", Narrow(SettingsFilePath()));
    out.String("logs", Narrow(OutputLogDir()));
    return kOk;
}

}  // namespace cli
