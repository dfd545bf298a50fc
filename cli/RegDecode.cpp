// tunedesk-cli reg: register ranges, and the picture-quality map decoded as
// its getters decode it.
#include <list>
#include <string>
#include <vector>

#include "Cli.h"
#include "Convert.h"
#include "Features.h"
#include "SPIUtil.h"
#include "SpiReadWriteOps.h"
#include "TextParse.h"

namespace cli {
namespace {

// The 8-bit registers of the EDID port and window sit one address apart; the
// 32-bit registers of the other spaces four.
unsigned int AddressStep(unsigned short readCmd) { return readCmd == 0x0600 || readCmd == 0x0700 ? 1 : 4; }

constexpr unsigned int kMostInRange = 4096;

// One register of the map. `read` reads it the way its getter does and hands
// back the raw value and the fields in the order of `fields`. A field named
// after a feature is shown as that feature's value.
struct MapRegister {
    unsigned int address;
    const char* name;
    const char* fields[3];
    bool (*read)(unsigned long device, unsigned int address, unsigned int (&fields)[3], unsigned int& raw);
};

using Fields = unsigned int[3];

// The area registers: the area getter reads all four and takes bits 0-11 of each.
bool ReadAreaRegister(unsigned long device, unsigned int address, Fields& f, unsigned int& raw) {
    if (!ReadRegister(device, address, raw, kReadCommand)) return false;
    f[0] = raw & 0xFFF;
    return true;
}

const MapRegister kMap[] = {
    {kRegVividRange,
     "vivid-range",
     {"vivid.range"},
     [](unsigned long d, unsigned int, Fields& f, unsigned int& raw) { return GetVividRange(d, &f[0], &raw); }},
    {kRegSharpeningOnOff,
     "sharpening-state",
     {"sharpening"},
     [](unsigned long d, unsigned int, Fields& f, unsigned int& raw) {
         return GetSharpeningOnOffState(d, &f[0], &raw);
     }},
    {kRegThroughDisplay,
     "through-display",
     {"through"},
     [](unsigned long d, unsigned int, Fields& f, unsigned int& raw) {
         return GetNavoThroughDisplayOnOffState(d, &f[0], &raw);
     }},
    {kRegAreaHOffset, "area-h-offset", {"pixels"}, ReadAreaRegister},
    {kRegAreaWidth, "area-width", {"pixels"}, ReadAreaRegister},
    {kRegAreaVOffset, "area-v-offset", {"pixels"}, ReadAreaRegister},
    {kRegAreaHeight, "area-height", {"pixels"}, ReadAreaRegister},
    {kRegExtendedContrast,
     "extended-contrast",
     {"contrast", "contrast.auto-brightness", "contrast.adaptive"},
     [](unsigned long d, unsigned int, Fields& f, unsigned int& raw) {
         return GetExtendedContrastParameters(d, &f[0], &f[1], &f[2], &raw);
     }},
    {kRegBrightnessThreshold,
     "brightness-threshold",
     {"contrast.brightness", "contrast.threshold"},
     [](unsigned long d, unsigned int, Fields& f, unsigned int& raw) {
         return GetBrightnessAndThreshold(d, &f[0], &f[1], &raw);
     }},
    {kRegVividOnOff,
     "vivid-state",
     {"vivid", "color-correction", "noise-remove"},
     [](unsigned long d, unsigned int, Fields& f, unsigned int& raw) {
         return GetVividOnOffState(d, &f[0], &f[1], &f[2], &raw);
     }},
    {kRegVividIntensity,
     "vivid-intensity",
     {"vivid.intensity"},
     [](unsigned long d, unsigned int, Fields& f, unsigned int& raw) { return GetVividIntensity(d, &f[0], &raw); }},
    {kRegColorCorrectionIntensity,
     "color-correction-intensity",
     {"color-correction.intensity"},
     [](unsigned long d, unsigned int, Fields& f, unsigned int& raw) {
         return GetColorCorrectionIntensity(d, &f[0], &raw);
     }},
    {kRegNoiseRemoveSensitivity,
     "noise-remove-sensitivity",
     {"noise-remove.sensitivity"},
     [](unsigned long d, unsigned int, Fields& f, unsigned int& raw) {
         return GetRemoveNoiseSensitivity(d, &f[0], &raw);
     }},
    {kRegSharpeningIntensity,
     "sharpening-intensity",
     {"sharpening.intensity"},
     [](unsigned long d, unsigned int, Fields& f, unsigned int& raw) {
         return GetSharpeningIntensity(d, &f[0], &raw);
     }},
};
static_assert(std::size(kMap) == std::size(kPictureQualityRegisters));

// A kernel coefficient is a signed 32-bit number.
bool ReadCoefficient(unsigned long device, unsigned int address, Fields& f, unsigned int& raw) {
    if (!ReadRegister(device, address, raw, kReadCommand)) return false;
    f[0] = raw;
    return true;
}

bool IsCoefficient(unsigned int address, unsigned int& index) {
    if (address < kRegSharpeningKernel || (address - kRegSharpeningKernel) % 4 != 0) return false;
    index = (address - kRegSharpeningKernel) / 4;
    return index < kSharpeningKernelSize;
}

// Through the panel no getter runs here: the raw value is the register's,
// and each field named after a feature is that feature as the panel's
// getters read it. The area's and the kernel's fields are the raw value's.
bool ReadThroughChip(Chip& chip, const MapRegister& reg, Fields& fields, unsigned int& raw) {
    if (!chip.ReadRegister(reg.address, raw, kReadCommand)) return false;
    std::vector<const features::Feature*> named;
    for (size_t i = 0; i < std::size(reg.fields) && reg.fields[i] != nullptr; ++i) {
        const std::string_view field = reg.fields[i];
        fields[i] = field == "pixels" ? raw & 0xFFF : raw;
        if (const features::Feature* f = features::Find(field)) named.push_back(f);
    }
    std::vector<unsigned int> values;
    size_t failed = 0;
    if (!chip.ReadFeatures(named, values, failed)) return false;
    for (size_t i = 0, n = 0; i < std::size(reg.fields) && reg.fields[i] != nullptr; ++i)
        if (features::Find(reg.fields[i]) != nullptr) fields[i] = values[n++];
    return true;
}

// A field's value as JSON and as text.
void FieldValue(const char* field, unsigned int value, std::string& json, std::string& text) {
    if (const features::Feature* f = features::Find(field)) {
        json = FeatureJson(*f, value);
        text = features::FormatValue(*f, value);
    } else if (std::string_view(field) == "coefficient") {
        json = text = std::to_string(static_cast<int>(value));
    } else {
        json = text = std::to_string(value);
    }
}

}  // namespace

std::vector<unsigned int> PictureQualityMap() {
    std::vector<unsigned int> addresses(std::begin(kPictureQualityRegisters), std::end(kPictureQualityRegisters));
    for (unsigned int i = 0; i < kSharpeningKernelSize; ++i) addresses.push_back(kRegSharpeningKernel + 4 * i);
    return addresses;
}

bool ParseRegisterOperand(const Context& ctx, const std::string& text, unsigned short readCmd,
                          std::vector<unsigned int>& addresses) {
    const size_t plus = text.find('+');
    std::vector<unsigned int> parsed;
    if (!HexList(ctx, text.substr(0, plus), "address", 8, parsed)) return false;
    if (plus == std::string::npos) {
        addresses.insert(addresses.end(), parsed.begin(), parsed.end());
        return true;
    }
    unsigned long long count = 0;
    const unsigned int step = AddressStep(readCmd);
    if (parsed.size() != 1 || !parse::Decimal(text.substr(plus + 1), kMostInRange, count) || count == 0) {
        Error(ctx, "\"" + text + "\" is not ADDR+N with N from 1 to " + std::to_string(kMostInRange));
        return false;
    }
    const unsigned long long last = parsed.front() + (count - 1) * step;
    if (last > 0xFFFFFFFFull) {
        Error(ctx, "\"" + text + "\" runs past address 0xFFFFFFFF");
        return false;
    }
    for (unsigned long long i = 0; i < count; ++i)
        addresses.push_back(static_cast<unsigned int>(parsed.front() + i * step));
    return true;
}

int PrintDecoded(const Context& ctx, Output& out, const std::vector<unsigned int>& addresses, unsigned short readCmd) {
    if (readCmd != kReadCommand) {
        Error(ctx, "--decode reads the picture-quality registers as the getters do: --cmd must be 0x0400/0x4000");
        out.Discard();
        return kUsage;
    }
    for (const unsigned int address : addresses) {
        MapRegister reg{address, nullptr, {}, nullptr};
        std::string name;
        unsigned int index = 0;
        for (const MapRegister& m : kMap)
            if (m.address == address) reg = m;
        if (reg.read != nullptr) {
            name = reg.name;
        } else if (IsCoefficient(address, index)) {
            reg = {address, nullptr, {"coefficient"}, ReadCoefficient};
            name = "sharpening-kernel." + std::to_string(index);
        }
        Fields fields{};
        unsigned int raw = 0;
        const long device = ctx.chip->Device();
        const bool ok = device < 0            ? ReadThroughChip(*ctx.chip, reg, fields, raw)
                        : reg.read != nullptr ? reg.read(static_cast<unsigned long>(device), address, fields, raw)
                                              : ctx.chip->ReadRegister(address, raw, kReadCommand);
        if (!ok) {
            Error(ctx, "reading " + Hex32(address) + " failed" + ChipWhy(ctx));
            out.Discard();
            return ChipExit(ctx);
        }
        // Text: "ADDR=VALUE NAME FIELD=VALUE..."; JSON: ADDR: {"register", "value", "fields"}.
        std::string text = Hex32(raw), json = "{";
        if (!name.empty()) {
            text += " " + name;
            json += "\"register\": " + JsonString(name) + ", ";
        }
        json += "\"value\": " + JsonString(Hex32(raw));
        std::string members;
        for (size_t i = 0; i < std::size(reg.fields) && reg.fields[i] != nullptr; ++i) {
            std::string fieldJson, fieldText;
            FieldValue(reg.fields[i], fields[i], fieldJson, fieldText);
            text += std::string(" ") + reg.fields[i] + "=" + fieldText;
            members += (members.empty() ? "" : ", ") + JsonString(reg.fields[i]) + ": " + fieldJson;
        }
        if (!name.empty()) json += ", \"fields\": {" + members + "}";
        out.Member(Hex32(address), json + "}", text);
    }
    return kOk;
}

}  // namespace cli
