// SPI link library: the seven libComm_ exports over the bridge vendor's calls.
#include "spilink.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>
#include <locale.h>
#include <stdlib.h>
#include <string>
#include <string_view>

#include "CH347DLL.h"
#include "Convert.h"
#include "trace.h"

namespace {

// One flag for the whole library, not per bridge: the panel drives one bridge
// at a time. Atomic because the read-back and EDID threads may ask for it
// while the GUI thread opens or closes.
std::atomic<int> g_deviceOpen{0};

constexpr unsigned long kMaxIndex = kCh347MaxDevices;
constexpr std::uint32_t kWriteStep = 512;
constexpr std::uint8_t kChipSelectOn = 0x80;

// Narrow text of a fixed-size record field; the driver does not promise a NUL.
std::string_view FieldText(const char* field, std::size_t size) {
    return std::string_view(field, strnlen(field, size));
}

// Decimal text as the standard string-to-double conversion reads it (leading
// white space, optional sign, the longest number that follows; no number gives
// 0), in the "C" locale: the panel runs with the user's locale, whose decimal
// separator may be a comma, while the settings file always uses '.'.
double ParseDecimal(const std::u16string& text) {
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
    std::string narrow;
    // The number can only be made of ASCII; the first other character ends it.
    for (char16_t c : text) {
        if (c == 0 || c >= 0x80) break;
        narrow.push_back(static_cast<char>(c));
    }
    if (!cLocale) return 0;
    return strtod_l(narrow.c_str(), nullptr, cLocale);
}

// Hz as the bridge takes them: truncated to 32 bits unsigned. Values the
// bridge cannot take (negative, not a number, beyond 32 bits) are clamped
// instead of wrapping into an arbitrary clock.
std::uint32_t ToHz(double hz) {
    if (!(hz > 0)) return 0;
    if (hz >= 4294967296.0) return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(hz);
}

std::u16string IndexText(unsigned long index) {
    std::string digits = std::to_string(index);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace

unsigned long libComm_EnumDevice(std::list<std::u16string>& names) {
    unsigned long count = 0;
    for (unsigned long index = 0; index < kMaxIndex; ++index) {
        try {
            if (CH347OpenDevice(index) != CH347_INVALID_HANDLE) {
                mDeviceInforS info{};
                CH347GetDeviceInfor(index, &info);
                std::string_view maker = FieldText(info.ManufacturerString, sizeof info.ManufacturerString);
                std::string_view product = FieldText(info.ProductString, sizeof info.ProductString);
                TD_TRACEF("M:%.*s, P:%.*s \r\n", static_cast<int>(maker.size()), maker.data(),
                          static_cast<int>(product.size()), product.data());
                // Chip mode 3 has no SPI port.
                if (info.ChipMode != 3) {
                    std::u16string description = Ansi2CString(FieldText(info.FuncDescStr, sizeof info.FuncDescStr));
                    names.push_back(IndexText(index) + u"# " + description);
                    ++count;
                    std::uint8_t driver = 0, library = 0, release = 0, chip = 0;
                    CH347GetVersion(index, &driver, &library, &release, &chip);
                    TD_TRACEF("DV:%02x  DLLV:%02x BCD:%02x CT:%02x. \r\n", driver, library, release, chip);
                }
            }
        } catch (...) {
            // Out of memory while listing: the bridge is still closed below.
        }
        CH347CloseDevice(index);
    }
    return count;
}

int libComm_OpenDevice(unsigned long index, const _UI_SPI_CONFIG& config) {
    int open = CH347OpenDevice(index) != CH347_INVALID_HANDLE ? 1 : 0;
    g_deviceOpen.store(open);
    if (open) {
        CH347SetTimeout(index, 500, 500);
        try {
            TD_TRACEF(">>Open the device...%s \r\n", "Success");
        } catch (...) {
            // A trace line that cannot be formatted is simply lost.
        }
        // A configuration the bridge refuses leaves the bridge open; only the trace tells.
        libComm_InitSpi(index, config);
    }
    return open;
}

int libComm_InitSpi(unsigned long index, const _UI_SPI_CONFIG& config) {
    try {
        mSpiCfgS cfg{};
        cfg.iMode = static_cast<std::uint8_t>(config.SpiMode);
        cfg.iClock = static_cast<std::uint8_t>(config.SpiClock);
        cfg.iByteOrder = static_cast<std::uint8_t>(config.ByteOrder);
        cfg.iSpiWriteReadInterval = static_cast<std::uint16_t>(config.InOutInterval);
        cfg.iSpiOutDefaultData = 0xFF;
        cfg.iChipSelect = static_cast<std::uint32_t>(config.CSChipIndex) | (config.CSEnable ? kChipSelectOn : 0u);
        cfg.CS1Polarity = static_cast<std::uint8_t>(config.CS1Polarity);
        cfg.CS2Polarity = static_cast<std::uint8_t>(config.CS2Polarity);
        cfg.iIsAutoDeativeCS = static_cast<std::uint16_t>(config.CSActive);
        cfg.iActiveDelay = static_cast<std::uint16_t>(config.ActiveRwDelay);
        cfg.iDelayDeactive = static_cast<std::uint16_t>(config.DeactiveRwDelay);

        std::uint32_t hz = 0;
        if (config.FreqEnable) {
            double frequency = ParseDecimal(config.Frequency);
            TD_TRACEF("SpiFrequency: %.2f \r\n", frequency);
            hz = ToHz(frequency * (config.FreqUnit == 1 ? 1000.0 : 1000000.0));
        }
        CH347SPI_SetFrequency(index, hz);
        CH347SPI_SetDataBits(index, static_cast<std::uint8_t>(config.DataBits));

        int result = CH347SPI_Init(index, &cfg);

        mSpiCfgS applied{};
        CH347SPI_GetCfg(index, &applied);
        TD_TRACEF("iByteOrder:%02x.\r\n", applied.iByteOrder);
        TD_TRACEF("CH347SPI_Init %s \r\n", result ? "succ" : "failure");
        return result;
    } catch (...) {
        return 0;
    }
}

int libComm_WriteSpiData(int index, int chipSelect, int length, unsigned char* buffer) {
    // A negative length would reach the bridge as a 4 GB transfer.
    if (index < 0 || length < 0 || (length > 0 && !buffer)) return 0;
    return CH347SPI_Write(static_cast<unsigned long>(index), chipSelect ? kChipSelectOn : 0u,
                          static_cast<std::uint32_t>(length), kWriteStep, buffer);
}

int libComm_ReadSpiData(int index, int chipSelect, unsigned long length, unsigned char* buffer) {
    if (index < 0 || length > std::numeric_limits<std::uint32_t>::max() || (length > 0 && !buffer)) return 0;
    // The bridge reports the count it read; callers take the requested length as read.
    std::uint32_t count = static_cast<std::uint32_t>(length);
    return CH347SPI_Read(static_cast<unsigned long>(index), chipSelect ? kChipSelectOn : 0u, 0, &count, buffer);
}

int libComm_CloseDevice(unsigned long index) {
    if (!CH347CloseDevice(index)) return 0;
    g_deviceOpen.store(0);
    return 1;
}

int libComm_GetDeviceOpenState() { return g_deviceOpen.load(); }
