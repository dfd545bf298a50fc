#include "PanelClient.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include <systemd/sd-bus.h>

#include "Features.h"
#include "SPIUtil.h"

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

// A chip call the panel answered with an error: a failed transaction leaves
// the words to the command; anything else is what stood in the way.
void Refused(const CallError& failure, std::string& refusal, int& exit) {
    const std::string_view name = failure.name;
    refusal.clear();
    exit = kFailed;
    if (name.ends_with(".TransactionFailed")) return;
    refusal = "the panel: " + failure.message;
    if (name.ends_with(".InvalidArgument")) exit = kUsage;
    if (name.ends_with(".NotOpen")) exit = kNoBridge;
    if (!name.starts_with(kInterface)) refusal = "the panel did not answer: " + failure.message;
}

static_assert(sizeof(unsigned int) == sizeof(uint32_t), "register values go to the bus as they are");

class PanelChip : public Chip {
public:
    explicit PanelChip(Bus bus) : bus_(std::move(bus)) {}
    sd_bus* BusOf() const { return bus_.get(); }
    long Device() const override { return -1; }

    bool ReadFeatures(std::span<const features::Feature* const> list, std::vector<unsigned int>& values,
                      size_t& failed) override {
        values.assign(list.size(), 0);
        failed = 0;
        if (list.empty()) return true;  // an empty list would ask the panel for every feature
        Message call = NewCall(bus_.get(), "GetFeatures");
        if (call) {
            sd_bus_message_open_container(call.get(), 'a', "s");
            for (const features::Feature* f : list) sd_bus_message_append_basic(call.get(), 's', f->name);
            sd_bus_message_close_container(call.get());
        }
        Message reply;
        if (!Run(call, reply)) {
            // "reading NAME failed": the command names the feature itself.
            for (size_t i = list.size(); i-- > 0;)
                if (lastMessage_.starts_with(std::string("reading ") + list[i]->name + " ")) failed = i;
            return false;
        }
        if (sd_bus_message_enter_container(reply.get(), 'a', "(ss)") < 0) return Odd("GetFeatures");
        const char* name = nullptr;
        const char* text = nullptr;
        size_t i = 0;
        for (; sd_bus_message_read(reply.get(), "(ss)", &name, &text) > 0; ++i) {
            std::string error;
            if (i >= list.size() || std::string_view(name) != list[i]->name ||
                !features::ParseReadValue(*list[i], text, values[i], error))
                return Odd(std::string("GetFeatures ") + name + "=" + text);
        }
        return i == list.size() || Odd("GetFeatures (too few values)");
    }

    bool WriteFeature(const features::Assignment& a) override {
        Message call = NewCall(bus_.get(), "SetFeatures");
        if (call) {
            sd_bus_message_open_container(call.get(), 'a', "(ss)");
            sd_bus_message_append(call.get(), "(ss)", a.feature->name,
                                  features::FormatValue(*a.feature, a.value).c_str());
            sd_bus_message_close_container(call.get());
        }
        Message reply;
        return Run(call, reply);
    }

    bool ReadRegister(unsigned int address, unsigned int& value, unsigned short readCmd) override {
        std::vector<unsigned int> values;
        size_t failed = 0;
        if (!ReadRegisters({&address, 1}, values, failed, readCmd)) return false;
        value = values.front();
        return true;
    }

    bool ReadRegisters(std::span<const unsigned int> addresses, std::vector<unsigned int>& values, size_t& failed,
                       unsigned short readCmd) override {
        values.assign(addresses.size(), 0);
        failed = 0;
        if (readCmd != kReadCommand) return OnlyDefaultCommands();
        // The panel takes at most kMostPerCall addresses a call.
        for (size_t at = 0; at < addresses.size(); at += kMostPerCall) {
            const size_t n = std::min(kMostPerCall, addresses.size() - at);
            if (!ReadSome(addresses.subspan(at, n), values.data() + at, failed)) {
                failed += at;
                return false;
            }
        }
        return true;
    }

    bool WriteRegister(unsigned int address, unsigned int value, unsigned short writeCmd) override {
        if (writeCmd != kWriteCommand) return OnlyDefaultCommands();
        Message call = NewCall(bus_.get(), "WriteRegisters");
        if (call) sd_bus_message_append(call.get(), "a(uu)", 1, address, value);
        Message reply;
        return Run(call, reply);
    }

    bool ReadEdid(bool sequenceB, Edid& edid) override {
        Message call = NewCall(bus_.get(), "ReadEdid");
        if (call) sd_bus_message_append(call.get(), "s", sequenceB ? "b" : "a");
        Message reply;
        if (!Run(call, reply)) return false;
        const void* bytes = nullptr;
        size_t size = 0;
        if (sd_bus_message_read_array(reply.get(), 'y', &bytes, &size) < 0 || size != edid.size())
            return Odd("ReadEdid");
        std::memcpy(edid.data(), bytes, size);
        return true;
    }

    bool WriteEdid(const Edid& edid) override {
        Message call = NewCall(bus_.get(), "WriteEdid");
        if (call) sd_bus_message_append_array(call.get(), 'y', edid.data(), edid.size());
        Message reply;
        return Run(call, reply);
    }

private:
    static constexpr size_t kMostPerCall = 4096;

    bool ReadSome(std::span<const unsigned int> addresses, unsigned int* values, size_t& failed) {
        Message call = NewCall(bus_.get(), "ReadRegisters");
        if (call) sd_bus_message_append_array(call.get(), 'u', addresses.data(), addresses.size() * sizeof(uint32_t));
        Message reply;
        if (!Run(call, reply)) {
            // "reading register ADDR failed": the command names the address itself.
            // Any other answer stopped the call before its first read.
            const auto named = std::find_if(addresses.begin(), addresses.end(), [&](unsigned int address) {
                return lastMessage_.starts_with("reading register " + Hex32(address) + " ");
            });
            failed = named == addresses.end() ? 0 : static_cast<size_t>(named - addresses.begin());
            return false;
        }
        if (sd_bus_message_enter_container(reply.get(), 'a', "(uu)") < 0) return Odd("ReadRegisters");
        uint32_t at = 0, read = 0;
        size_t i = 0;
        for (; sd_bus_message_read(reply.get(), "(uu)", &at, &read) > 0; ++i) {
            if (i >= addresses.size() || at != addresses[i]) return Odd("ReadRegisters");
            values[i] = read;
        }
        return i == addresses.size() || Odd("ReadRegisters (too few values)");
    }

    bool Run(const Message& call, Message& reply) {
        CallError failure;
        if (Call(bus_.get(), call, reply, failure)) return true;
        lastMessage_ = failure.message;
        Refused(failure, refusal_, refusalExit_);
        return false;
    }
    // An answer that does not fit the interface: nothing of it is used.
    bool Odd(const std::string& what) {
        refusal_ = "the panel answered " + what + " in a form this tunedesk-cli does not know";
        refusalExit_ = kFailed;
        return false;
    }
    bool OnlyDefaultCommands() {
        refusal_ =
            "the panel reads and writes registers with --cmd 0x0400/0x4000 only; with its bridge closed, "
            "--direct uses another pair";
        refusalExit_ = kUsage;
        return false;
    }

    Bus bus_;
    std::string lastMessage_;
};

}  // namespace

std::unique_ptr<Chip> Connect(const Context& ctx, bool forList) {
    sd_bus* raw = nullptr;
    if (sd_bus_open_user(&raw) < 0) return nullptr;
    Bus bus(raw);
    const int held = HeldBridge(bus.get());
    if (held < 0) return nullptr;
    // --device N is bridge N of the panel's list: another one than the
    // panel's is this program's to open.
    if (!forList && ctx.deviceArg >= 0 && ctx.deviceArg != held) return nullptr;
    return std::make_unique<PanelChip>(std::move(bus));
}

int List(Context& ctx) {
    sd_bus* bus = static_cast<PanelChip&>(*ctx.chip).BusOf();
    const int held = HeldBridge(bus);
    Message reply;
    CallError failure;
    if (!Call(bus, NewCall(bus, "ListBridges"), reply, failure)) {
        Error(ctx, "the panel: " + failure.message);
        return kFailed;
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

}  // namespace cli::panel
