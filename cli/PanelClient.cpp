#include "PanelClient.h"

#include <memory>
#include <string_view>
#include <utility>

#include <systemd/sd-bus.h>

#include "Features.h"

namespace cli::panel {
namespace {

constexpr char kService[] = "io.github.tunedesk.Tunedesk";
constexpr char kPath[] = "/io/github/tunedesk/Tunedesk";
constexpr char kInterface[] = "io.github.tunedesk.Panel1";
constexpr uint64_t kCallTimeoutUs = 120ULL * 1000 * 1000;  // an EDID write with its erase takes seconds

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

// A failed call: the panel's error name and its one-line message.
struct CallError {
    std::string name, message;
};

class ReplyError {
public:
    ReplyError() = default;
    ~ReplyError() { sd_bus_error_free(&error_); }
    ReplyError(const ReplyError&) = delete;
    ReplyError& operator=(const ReplyError&) = delete;
    sd_bus_error* get() { return &error_; }
    CallError Take(int r) const {
        if (sd_bus_error_is_set(&error_)) return {error_.name, error_.message ? error_.message : ""};
        return {"", "the panel did not answer (" + std::to_string(-r) + ")"};
    }

private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

// The panel's bridge, or -1 when no panel runs or it holds none.
int HeldBridge(sd_bus* bus) {
    ReplyError error;
    int32_t bridge = -1;
    if (sd_bus_get_property_trivial(bus, kService, kPath, kInterface, "Bridge", error.get(), 'i', &bridge) < 0)
        return -1;
    return bridge;
}

Message NewCall(sd_bus* bus, const char* member) {
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(bus, &m, kService, kPath, kInterface, member) < 0) return Message();
    return Message(m);
}

bool Call(sd_bus* bus, const Message& call, Message& reply, CallError& failure) {
    ReplyError error;
    sd_bus_message* answer = nullptr;
    const int r = call ? sd_bus_call(bus, call.get(), kCallTimeoutUs, error.get(), &answer) : -EINVAL;
    if (r < 0) {
        failure = error.Take(r);
        return false;
    }
    reply.reset(answer);
    return true;
}

// The panel's errors as the exit codes the CLI gives for the same causes.
int ExitCodeOf(const CallError& failure) {
    const std::string_view name = failure.name;
    if (name.ends_with(".InvalidArgument")) return kUsage;
    if (name.ends_with(".NotOpen")) return kNoBridge;
    return kFailed;
}

// "writing X failed; written before: ..." reads as the direct CLI's line.
std::string FirstClause(const std::string& message) { return message.substr(0, message.find(';')); }

void PrintFeature(Output& out, const features::Feature& f, unsigned int value) {
    switch (f.kind) {
    case features::Kind::OnOff: out.Bool(f.name, value != 0, value != 0 ? "on" : "off"); break;
    case features::Kind::Number: out.Number(f.name, value); break;
    case features::Kind::Choice: out.String(f.name, features::FormatValue(f, value)); break;
    }
}

bool AnyOption(const std::vector<std::string>& rest) {
    for (const std::string& w : rest)
        if (!w.empty() && w[0] == '-') return true;
    return false;
}

int Get(Context& ctx, sd_bus* bus, const std::vector<std::string>& names) {
    // As the direct `get`: groups included, table order, each feature once.
    std::vector<const features::Feature*> selected;
    if (!SelectReadable(ctx, names, selected)) return kUsage;
    std::vector<std::string> ordered;
    for (const features::Feature* f : selected) ordered.push_back(f->name);
    Message call = NewCall(bus, "GetFeatures");
    if (call) {
        sd_bus_message_open_container(call.get(), 'a', "s");
        for (const std::string& n : ordered) sd_bus_message_append_basic(call.get(), 's', n.c_str());
        sd_bus_message_close_container(call.get());
    }
    Message reply;
    CallError failure;
    if (!Call(bus, call, reply, failure)) {
        Error(ctx, failure.message);
        return ExitCodeOf(failure);
    }
    Output out(ctx);
    if (sd_bus_message_enter_container(reply.get(), 'a', "(ss)") < 0) return kFailed;
    const char* name = nullptr;
    const char* text = nullptr;
    while (sd_bus_message_read(reply.get(), "(ss)", &name, &text) > 0) {
        const features::Feature* f = features::Find(name);
        unsigned int value = 0;
        std::string error;
        if (f == nullptr || !features::ParseReadValue(*f, text, value, error)) {
            Error(ctx, std::string("the panel answered ") + name + "=" + text);
            out.Discard();
            return kFailed;
        }
        PrintFeature(out, *f, value);
    }
    return kOk;
}

int Set(Context& ctx, sd_bus* bus, const std::vector<std::string>& texts) {
    std::vector<features::Assignment> assignments;
    if (!ParseAssignments(ctx, texts, assignments)) return kUsage;
    Message call = NewCall(bus, "SetFeatures");
    if (call) {
        sd_bus_message_open_container(call.get(), 'a', "(ss)");
        for (const features::Assignment& a : assignments)
            sd_bus_message_append(call.get(), "(ss)", a.feature->name,
                                  features::FormatValue(*a.feature, a.value).c_str());
        sd_bus_message_close_container(call.get());
    }
    Message reply;
    CallError failure;
    if (!Call(bus, call, reply, failure)) {
        Error(ctx, FirstClause(failure.message));
        return ExitCodeOf(failure);
    }
    Output out(ctx);
    if (!ctx.quiet)
        for (const features::Assignment& a : assignments) PrintFeature(out, *a.feature, a.value);
    return kOk;
}

int List(Context& ctx, sd_bus* bus, int held) {
    Message reply;
    CallError failure;
    if (!Call(bus, NewCall(bus, "ListBridges"), reply, failure)) {
        Error(ctx, failure.message);
        return ExitCodeOf(failure);
    }
    Output out(ctx);
    std::vector<std::string> bridges;
    std::string holds;
    if (sd_bus_message_enter_container(reply.get(), 'a', "(is)") < 0) return kFailed;
    int32_t number = 0;
    const char* text = nullptr;
    while (sd_bus_message_read(reply.get(), "(is)", &number, &text) > 0) {
        bridges.emplace_back(text);
        out.Line(bridges.back());
        if (number == held) holds = text;
    }
    out.Line("held by the panel: " + holds);
    if (out.Json()) {
        out.List("bridges", bridges);
        out.String("panel", holds);
    }
    return bridges.empty() ? kNoBridge : kOk;
}

}  // namespace

int RunThroughPanel(Context& ctx, const std::string& word, const std::vector<std::string>& rest) {
    if (word != "get" && word != "set" && word != "list") return -1;
    // Options of the command, even --help, are the direct command's business.
    if (AnyOption(rest)) return -1;
    sd_bus* raw = nullptr;
    if (sd_bus_open_user(&raw) < 0) return -1;
    Bus bus(raw);
    const int held = HeldBridge(bus.get());
    if (held < 0) return -1;
    if (word == "list") {
        if (!rest.empty()) return -1;
        return List(ctx, bus.get(), held);
    }
    // --device N is bridge N of the panel's list, and the panel holds one.
    if (ctx.deviceArg >= 0 && ctx.deviceArg != held) {
        Error(ctx, "the panel holds bridge " + std::to_string(held) + ", not " + std::to_string(ctx.deviceArg) +
                       " (--direct opens a bridge without the panel)");
        return kNoBridge;
    }
    return word == "get" ? Get(ctx, bus.get(), rest) : Set(ctx, bus.get(), rest);
}

}  // namespace cli::panel
