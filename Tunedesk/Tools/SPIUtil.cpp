#include "SPIUtil.h"

#include <array>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <mutex>

#include "Ch347Backend.h"
#include "SpiSettingFile.h"
#include "StrFormat.h"
#include "TimeUtil.h"
#include "regframe.h"
#include "spilink.h"

namespace {

// ------------------------------------------------------------------- log sink

std::mutex g_sinkLock;
std::shared_ptr<const SpiLogSink> g_sink;

std::shared_ptr<const SpiLogSink> CurrentSink() {
    std::lock_guard<std::mutex> lock(g_sinkLock);
    return g_sink;
}

std::mutex g_observerLock;
std::shared_ptr<const RegisterObserver> g_observer;

bool IsPictureRegister(unsigned int address) {
    for (unsigned int r : kPictureQualityRegisters)
        if (r == address) return true;
    return false;
}

void Observe(unsigned long device, unsigned int address, unsigned int value) {
    if (!IsPictureRegister(address)) return;
    std::shared_ptr<const RegisterObserver> observer;
    {
        std::lock_guard<std::mutex> lock(g_observerLock);
        observer = g_observer;
    }
    if (observer && *observer) (*observer)(device, address, value);
}

void Log(const std::u16string& line) {
    if (auto sink = CurrentSink(); sink && *sink) (*sink)(line);
}

void LogF(const char16_t* format, ...) {
    auto sink = CurrentSink();
    if (!sink || !*sink) return;
    va_list args;
    va_start(args, format);
    std::u16string line = StrFormatV(format, args);
    va_end(args);
    (*sink)(line);
}

// "TX[Len=%d]: " followed by "%02X " per byte.
void LogBytes(const char16_t* prefixFormat, const unsigned char* bytes, unsigned int length) {
    auto sink = CurrentSink();
    if (!sink || !*sink) return;
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string line = StrFormat(prefixFormat, static_cast<int>(length));
    line.reserve(line.size() + 3 * length);
    for (unsigned int i = 0; i < length; ++i) {
        line.push_back(kHex[bytes[i] >> 4]);
        line.push_back(kHex[bytes[i] & 0x0F]);
        line.push_back(u' ');
    }
    (*sink)(line);
}

const char16_t* OnOff(unsigned int state) { return state ? u"ON" : u"OFF"; }
const char16_t* Outcome(bool ok) { return ok ? u"OK" : u"failed"; }

// ------------------------------------------------------------ device locking

// One lock per bridge index (the bridge library addresses 16); an index beyond
// that shares a lock, which only costs parallelism on a bus that fails anyway.
std::array<std::mutex, 16> g_deviceLocks;

std::mutex& DeviceLock(unsigned long device) { return g_deviceLocks[device % g_deviceLocks.size()]; }

// ---------------------------------------------------------- reply decoding

unsigned int ReadWord(const unsigned char* p, bool littleEndian) {
    return littleEndian ? (p[0] | (p[1] << 8)) : ((p[0] << 8) | p[1]);
}

unsigned int ReadDword(const unsigned char* p, bool littleEndian) {
    if (littleEndian) return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned int>(p[3]) << 24);
    return (static_cast<unsigned int>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

unsigned short StatusFor(unsigned short command) { return static_cast<unsigned short>(command + 1); }

void PauseOneMs() { WexSleep(1); }

}  // namespace

void SetRegisterObserver(RegisterObserver observer) {
    auto next = observer ? std::make_shared<const RegisterObserver>(std::move(observer)) : nullptr;
    std::lock_guard<std::mutex> lock(g_observerLock);
    g_observer = std::move(next);
}

void SetLogSink(SpiLogSink sink) {
    auto next = sink ? std::make_shared<const SpiLogSink>(std::move(sink)) : nullptr;
    std::lock_guard<std::mutex> lock(g_sinkLock);
    g_sink = std::move(next);
}

// ========================================================= transaction layer

void RwDelay() {
    // An iteration count, not a time: the chip needs the pause between the
    // request and its reply. A negative setting would wrap to billions of
    // iterations and freeze the caller for seconds, so it counts as no wait.
    int setting = LoadSPIRWDelay();
    unsigned int iterations = setting > 0 ? static_cast<unsigned int>(setting) : 0u;
    for (unsigned int i = 0; i < iterations; ++i) {
        // Keeps the optimiser from folding the loop away.
        asm volatile("" : "+r"(i));
    }
}

namespace {

// A bridge that stopped answering fails every transfer at once from then on;
// the user learns it once, with what to do.
void LogBridgeFailure(unsigned long device) {
    if (ch347::TakeBridgeFailureNotice(device)) Log(u"The device stopped answering: close it and open it again!");
}

// The exchange itself; the caller holds the device's lock, so the TX line,
// the reply lines and the caller's verdict line of one transaction stand
// together in the log however many threads use the device.
bool ExchangeLocked(unsigned long device, unsigned char* buffer, int requestLength, unsigned int replyLength) {
    if (!buffer || requestLength <= 0 || static_cast<unsigned int>(requestLength) > kBlockBufferBytes ||
        replyLength < 2 || replyLength > kExchangeBufferBytes)
        return false;
    LogBytes(u"TX[Len=%d]: ", buffer, static_cast<unsigned int>(requestLength));
    if (!libComm_WriteSpiData(static_cast<int>(device), LoadCSEnable(), requestLength, buffer)) {
        Log(u"Write SPI failed!");
        LogBridgeFailure(device);
        return false;
    }
    RwDelay();
    std::memset(buffer, 0, kExchangeBufferBytes);
    if (!libComm_ReadSpiData(static_cast<int>(device), LoadCSEnable(), replyLength, buffer)) {
        Log(u"Read SPI failed!");
        LogBridgeFailure(device);
        return false;
    }
    RwDelay();
    LogBytes(u"RX[Len=%d]: ", buffer, replyLength);

    // The chip stores its reply CRC high byte first in both byte orders.
    unsigned short calculated = 0, received = 0;
    if (!libPro_CheckCrc(buffer, static_cast<unsigned short>(replyLength), calculated, received, false)) {
        LogF(u"CRC Check failed, recved: %04X, calculated: %04X", received, calculated);
        return false;
    }
    return true;
}

bool UpdateRegisterLocked(unsigned long device, unsigned int address, unsigned int value, unsigned short command) {
    const bool littleEndian = LoadByteOrder() == 0;
    unsigned char buffer[kExchangeBufferBytes] = {};
    int length = libPro_SetRegisterValuePack(address, value, buffer, littleEndian, command);
    if (!ExchangeLocked(device, buffer, length, 4)) return false;
    if (ReadWord(buffer, littleEndian) != StatusFor(command)) {
        LogF(u"Update REG: 0x%08X, Value: 0x%08X failed!", address, value);
        return false;
    }
    if (command == kWriteCommand) Observe(device, address, value);
    return true;
}

}  // namespace

bool ExchangePacket(unsigned long device, unsigned char* buffer, int requestLength, unsigned int replyLength) {
    // The write, the chip's turnaround and the read form one exchange on the
    // bus; another thread's request in between would take this reply.
    std::lock_guard<std::mutex> lock(DeviceLock(device));
    return ExchangeLocked(device, buffer, requestLength, replyLength);
}

bool ReadRegister(unsigned long device, unsigned int address, unsigned int& value, unsigned short command) {
    const bool littleEndian = LoadByteOrder() == 0;
    unsigned char buffer[kExchangeBufferBytes] = {};
    int length = libPro_GetRegisterValuePack(address, buffer, littleEndian, command);
    std::lock_guard<std::mutex> lock(DeviceLock(device));
    if (!ExchangeLocked(device, buffer, length, 8)) return false;
    if (ReadWord(buffer, littleEndian) != StatusFor(command)) {
        LogF(u"Read REG: 0x%08X failed!", address);
        return false;
    }
    value = ReadDword(buffer + 2, littleEndian);
    LogF(u"REG: 0x%08X, Value: 0x%08X", address, value);
    if (command == kReadCommand) Observe(device, address, value);
    return true;
}

bool UpdateRegister(unsigned long device, unsigned int address, unsigned int value, unsigned short command) {
    std::lock_guard<std::mutex> lock(DeviceLock(device));
    return UpdateRegisterLocked(device, address, value, command);
}

bool WriteRegister(unsigned long device, unsigned int address, unsigned int value, unsigned short command) {
    std::lock_guard<std::mutex> lock(DeviceLock(device));
    bool ok = UpdateRegisterLocked(device, address, value, command);
    if (ok) LogF(u"Write Register: 0x%08X, Value: 0x%08X OK!", address, value);
    return ok;
}

bool UpdateRegisterBlock(unsigned long device, unsigned int address, const unsigned int* values, unsigned int count) {
    // More values than the buffer holds would run past it; refuse before any
    // bus traffic.
    if (!values || count == 0 || count > kMaxBlockValues) {
        LogF(u"Update REG: %08X failed!", address);
        return false;
    }
    const bool littleEndian = LoadByteOrder() == 0;
    unsigned int copy[kMaxBlockValues];
    std::memcpy(copy, values, count * sizeof(unsigned int));
    unsigned char buffer[kBlockBufferBytes] = {};
    int length = libPro_SetRegisterValuePack(address, copy, count, buffer, littleEndian);
    std::lock_guard<std::mutex> lock(DeviceLock(device));
    if (!ExchangeLocked(device, buffer, length, 4)) return false;
    if (ReadWord(buffer, littleEndian) != StatusFor(kWriteCommand)) {
        LogF(u"Update REG: %08X failed!", address);
        return false;
    }
    return true;
}

// ===================================================== picture-quality map

namespace {

// Reads a feature register; logs `failLine` (when given) on failure.
bool ReadFeature(unsigned long device, unsigned int address, unsigned int& value, const char16_t* failLine) {
    if (ReadRegister(device, address, value, kReadCommand)) return true;
    if (failLine) Log(failLine);
    return false;
}

bool WriteFeature(unsigned long device, unsigned int address, unsigned int value) {
    return UpdateRegister(device, address, value, kWriteCommand);
}

unsigned int WithBit(unsigned int current, unsigned int bit, unsigned int on) {
    return on ? (current | (1u << bit)) : (current & ~(1u << bit));
}

// An on/off setter: "<name> %s %s!" with the state and outcome words.
bool SetStateBit(unsigned long device, unsigned int address, unsigned int bit, unsigned int current, unsigned int on,
                 const char16_t* format) {
    bool ok = WriteFeature(device, address, WithBit(current, bit, on));
    LogF(format, OnOff(on), Outcome(ok));
    return ok;
}

// A value setter: "Set <name> to %d %s!" with the value as passed.
bool SetValue(unsigned long device, unsigned int address, unsigned int newValue, unsigned int setting,
              const char16_t* format) {
    bool ok = WriteFeature(device, address, newValue);
    LogF(format, setting, Outcome(ok));
    return ok;
}

void Store(unsigned int* out, unsigned int value) {
    if (out) *out = value;
}

}  // namespace

bool GetBrightnessAndThreshold(unsigned long device, unsigned int* brightness, unsigned int* threshold,
                               unsigned int* raw) {
    unsigned int v = 0;
    if (!ReadFeature(device, kRegBrightnessThreshold, v, u"Get Brightness & Threshold failed!")) return false;
    Store(raw, v);
    if (brightness) {
        *brightness = v & 0xFF;
        LogF(u"Brightness: %d", *brightness);
    }
    if (threshold) {
        *threshold = (v >> 8) & 0xFF;
        LogF(u"Threshold Value: %d", *threshold);
    }
    return true;
}

bool GetColorCorrectionIntensity(unsigned long device, unsigned int* intensity, unsigned int* raw) {
    unsigned int v = 0;
    if (!ReadFeature(device, kRegColorCorrectionIntensity, v, u"Get Color Correction Intensity failed!")) return false;
    Store(raw, v);
    if (intensity) {
        *intensity = (v & 0xFC00) >> 10;
        LogF(u"Color Correction Intensity: %d", *intensity);
    }
    return true;
}

bool GetExtendedContrastParameters(unsigned long device, unsigned int* extendedContrast, unsigned int* autoBrightness,
                                   unsigned int* adaptiveContrast, unsigned int* raw) {
    unsigned int v = 0;
    if (!ReadFeature(device, kRegExtendedContrast, v, u"Get Extended Contrast parameters failed!")) return false;
    Store(raw, v);
    if (extendedContrast) {
        *extendedContrast = (v >> 2) & 1;
        LogF(u"Extended Contrast On/Off State: %s!", OnOff(*extendedContrast));
    }
    if (autoBrightness) {
        *autoBrightness = (v >> 1) & 1;
        LogF(u"Auto Brightness On/Off State: %s!", OnOff(*autoBrightness));
    }
    if (adaptiveContrast) {
        *adaptiveContrast = (v >> 8) & 0xFF;
        LogF(u"Adaptive Contrast Value: %d", *adaptiveContrast);
    }
    return true;
}

bool GetNavoThroughDisplayOnOffState(unsigned long device, unsigned int* state, unsigned int* raw) {
    unsigned int v = 0;
    if (!ReadFeature(device, kRegThroughDisplay, v, nullptr)) return false;
    Store(raw, v);
    if (state) {
        *state = (v >> 9) & 1;
        LogF(u"Navo Through Display On/Off State: %s!", OnOff(*state));
    }
    return true;
}

bool GetRemoveNoiseSensitivity(unsigned long device, unsigned int* sensitivity, unsigned int* raw) {
    unsigned int v = 0;
    if (!ReadFeature(device, kRegNoiseRemoveSensitivity, v, u"Get Remove Noise Sensitivity failed!")) return false;
    Store(raw, v);
    if (sensitivity) {
        *sensitivity = v & 0xFF;
        LogF(u"Remove Noise Sensitivity: %d", *sensitivity);
    }
    return true;
}

bool GetSharpeningIntensity(unsigned long device, unsigned int* intensity, unsigned int* raw) {
    unsigned int v = 0;
    if (!ReadFeature(device, kRegSharpeningIntensity, v, u"Get Sharpening Intensity failed!")) return false;
    Store(raw, v);
    if (intensity) {
        *intensity = (v & 0x00FFFFFF) >> 8;
        LogF(u"Sharpening Intensity: %d", *intensity);
    }
    return true;
}

bool GetSharpeningOnOffState(unsigned long device, unsigned int* state, unsigned int* raw) {
    if (!state) return false;
    unsigned int v = 0;
    if (!ReadFeature(device, kRegSharpeningOnOff, v, u"Get Sharpening On/Off State failed!")) return false;
    Store(raw, v);
    *state = (v >> 2) & 1;
    LogF(u"Sharpening On/Off State: %s!", OnOff(*state));
    return true;
}

bool GetVividOnOffState(unsigned long device, unsigned int* vivid, unsigned int* colorCorrection,
                        unsigned int* noiseRemove, unsigned int* raw) {
    unsigned int v = 0;
    if (!ReadFeature(device, kRegVividOnOff, v, nullptr)) return false;
    Store(raw, v);
    if (vivid) {
        *vivid = (v >> 4) & 1;
        LogF(u"Vivid On/Off State: %s!", OnOff(*vivid));
    }
    if (colorCorrection) {
        *colorCorrection = (v >> 2) & 1;
        LogF(u"Color Correction On/Off State: %s!", OnOff(*colorCorrection));
    }
    if (noiseRemove) {
        // Two bits: 10 is on, 01 off; the chip treats 00 and 11 as off too.
        *noiseRemove = (v & 3) == 2 ? 1 : 0;
        LogF(u"Noise Remove On/Off State: %s!", OnOff(*noiseRemove));
    }
    return true;
}

bool GetVividRange(unsigned long device, unsigned int* range, unsigned int* raw) {
    unsigned int v = 0;
    if (!ReadFeature(device, kRegVividRange, v, u"Get Vivid Range failed!")) return false;
    Store(raw, v);
    if (range) {
        // Bit 22 is not part of the code: every valid code has it clear.
        switch ((v & 0x00B00000) >> 20) {
        case 0xB:
            *range = kVividRangeLarge;
            Log(u"Vivid Range: Large!");
            break;
        case 0xA:
            *range = kVividRangeMedium;
            Log(u"Vivid Range: Medium!");
            break;
        case 0x9:
            *range = kVividRangeSmall;
            Log(u"Vivid Range: Small!");
            break;
        case 0x8:
            *range = kVividRangeTiny;
            Log(u"Vivid Range: Tiny!");
            break;
        default:
            *range = kVividRangeUnknown;
            Log(u"Vivid Range: Unknown!");
            break;
        }
    }
    return true;
}

bool GetVividIntensity(unsigned long device, unsigned int* intensity, unsigned int* raw) {
    unsigned int v = 0;
    if (!ReadFeature(device, kRegVividIntensity, v, u"Get Vivid Intensity failed!")) return false;
    Store(raw, v);
    if (intensity) {
        *intensity = v & 0xFF;
        LogF(u"Vivid Intensity: %d", *intensity);
    }
    return true;
}

bool GetVideoProcessingArea(unsigned long device, unsigned int* area) {
    if (!area) return false;
    unsigned int h = 0, vo = 0, w = 0, ht = 0;
    if (!ReadFeature(device, kRegAreaHOffset, h, u"Failed to obtain the Horizontal Offset of Video Process Area!"))
        return false;
    PauseOneMs();
    if (!ReadFeature(device, kRegAreaVOffset, vo, u"Failed to obtain the Vertical Offset of Video Process Area!"))
        return false;
    PauseOneMs();
    if (!ReadFeature(device, kRegAreaWidth, w, u"Failed to obtain the width of Video Process Area!")) return false;
    PauseOneMs();
    if (!ReadFeature(device, kRegAreaHeight, ht, u"Failed to obtain the height of Video Process Area!")) return false;

    static constexpr const char16_t* kAreaLines[4] = {u"Video Processing Area: All", u"Video Processing Area: Center",
                                                      u"Video Processing Area: Left", u"Video Processing Area: Right"};
    h &= 0xFFF, vo &= 0xFFF, w &= 0xFFF, ht &= 0xFFF;
    for (unsigned int i = 0; i < 4; ++i) {
        const ProcessingAreaPreset& p = kProcessingAreaPresets[i];
        if (h == p.hOffset && vo == p.vOffset && w == p.width && ht == p.height) {
            *area = i;
            Log(kAreaLines[i]);
            return true;
        }
    }
    *area = kAreaOther;
    return true;
}

// ---------------------------------------------------------------- setters

bool SetAutoBrightnessOnOff(unsigned long device, unsigned int current, unsigned int on) {
    return SetStateBit(device, kRegExtendedContrast, 1, current, on, u"Auto Brightness %s %s!");
}

bool SetExtendedContrastOnOff(unsigned long device, unsigned int current, unsigned int on) {
    return SetStateBit(device, kRegExtendedContrast, 2, current, on, u"Extended Contrast %s %s!");
}

bool SetAdaptiveContrast(unsigned long device, unsigned int current, unsigned int value) {
    return SetValue(device, kRegExtendedContrast, (current & 0xFFFF00FF) | ((value & 0xFF) << 8), value,
                    u"Set Adaptive Contrast to %d %s!");
}

bool SetBrightness(unsigned long device, unsigned int current, unsigned int value) {
    return SetValue(device, kRegBrightnessThreshold, (current & 0xFFFFFF00) | (value & 0xFF), value,
                    u"Set Brightness to %d %s!");
}

bool SetThreshold(unsigned long device, unsigned int current, unsigned int value) {
    return SetValue(device, kRegBrightnessThreshold, (current & 0xFFFF00FF) | ((value & 0xFF) << 8), value,
                    u"Set Threshold to %d %s!");
}

bool SetColorCorrectionOnOff(unsigned long device, unsigned int current, unsigned int on) {
    return SetStateBit(device, kRegVividOnOff, 2, current, on, u"Color Correction %s %s!");
}

bool SetNoiseRemoveOnOff(unsigned long device, unsigned int current, unsigned int on) {
    bool ok = WriteFeature(device, kRegVividOnOff, (current & 0xFFFFFFFC) | (on ? 2u : 1u));
    LogF(u"Noise Remove %s %s!", OnOff(on), Outcome(ok));
    return ok;
}

bool SetVividiOnOff(unsigned long device, unsigned int current, unsigned int on) {
    return SetStateBit(device, kRegVividOnOff, 4, current, on, u"Vividi %s %s!");
}

bool SetColorCorrectionIntensity(unsigned long device, unsigned int current, unsigned int value) {
    // The field is bits 10-15: a setting above 63 must not spill into bits 16-17,
    // which belong to other functions of the register.
    return SetValue(device, kRegColorCorrectionIntensity, (current & 0xFFFF03FF) | ((value & 0x3F) << 10), value,
                    u"Set Color Correction Intensity to %d %s!");
}

bool SetNoiseRemoveSensitivity(unsigned long device, unsigned int current, unsigned int value) {
    return SetValue(device, kRegNoiseRemoveSensitivity, (current & 0xFFFFFF00) | (value & 0xFF), value,
                    u"Set Noise Remove Sensitivity to %d %s!");
}

bool SetSharpeningOnOff(unsigned long device, unsigned int current, unsigned int on) {
    return SetStateBit(device, kRegSharpeningOnOff, 2, current, on, u"Sharpening %s %s!");
}

bool SetSharpeningIntensity(unsigned long device, unsigned int current, unsigned int value) {
    return SetValue(device, kRegSharpeningIntensity, (current & 0xFF000000) | ((value << 8) & 0x00FFFFFF), value,
                    u"Set Sharpening Intensity to %d %s!");
}

bool SetNavoThroughDisplay(unsigned long device, unsigned int current, unsigned int on) {
    return SetStateBit(device, kRegThroughDisplay, 9, current, on, u"Navo Through Display %s %s!");
}

bool SetVividIntensity(unsigned long device, unsigned int current, unsigned int value) {
    return SetValue(device, kRegVividIntensity, (current & 0xFFFFFF00) | (value & 0xFF), value,
                    u"Set Vivid Intensity to %d %s!");
}

bool SetVividRange(unsigned long device, unsigned int current, unsigned int range) {
    static constexpr unsigned int kCodes[3] = {0xB, 0xA, 0x9};
    if (range > 2) return false;
    bool ok = WriteFeature(device, kRegVividRange, (current & 0xFF0F0000) | (kCodes[range] << 20));
    LogF(u"Set Vivid Range %s!", Outcome(ok));
    return ok;
}

bool BuildSharpeningKernel(unsigned int size, int (&out)[kSharpeningKernelSize]) {
    if (size > 2) return false;
    // Side 7, 5 or 3; the binomial row of that length sums to 2^(n-1), so the
    // blur's scale 32768 / (sum)^2 is a whole number for every size.
    const int n = 7 - 2 * static_cast<int>(size);
    int b[7] = {1};
    for (int row = 1; row < n; ++row)
        for (int k = row; k > 0; --k) b[k] += b[k - 1];
    const int sum = 1 << (n - 1);
    const int scale = 32768 / (sum * sum);

    int kernel[kSharpeningKernelSize] = {};
    const int first = 5 - n / 2;  // first row and column of the kernel in the 11 x 11 grid
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) kernel[(first + r) * 11 + first + c] = -scale * b[r] * b[c];
    kernel[60] += 32768;
    std::memcpy(out, kernel, sizeof kernel);
    return true;
}

bool SetSharpeningProcessSize(unsigned long device, unsigned int size) {
    static constexpr const char16_t* kNames[3] = {u"Large", u"Medium", u"Small"};
    int kernel[kSharpeningKernelSize];
    // An unknown size would otherwise write an all-zero kernel, which blanks
    // the sharpening filter on the chip.
    if (!BuildSharpeningKernel(size, kernel)) return false;
    unsigned int words[kSharpeningKernelSize];
    for (unsigned int i = 0; i < kSharpeningKernelSize; ++i) words[i] = static_cast<unsigned int>(kernel[i]);
    bool ok = UpdateRegisterBlock(device, kRegSharpeningKernel, words, kSharpeningKernelSize);
    LogF(u"Set Sharpening Process Size to %s %s!", kNames[size], Outcome(ok));
    return ok;
}

bool SetVideoProcessingArea(unsigned long device, unsigned int hOffset, unsigned int vOffset, unsigned int width,
                            unsigned int height) {
    struct Step {
        unsigned int address, setting;
        const char16_t* line;
    };
    const Step steps[4] = {{kRegAreaHOffset, hOffset, u"Set Horizontal Offset to %d OK!\n"},
                           {kRegAreaVOffset, vOffset, u"Set Vertical Offset to %d OK!\n"},
                           {kRegAreaWidth, width, u"Set Width to %d OK!\n"},
                           {kRegAreaHeight, height, u"Set Height to %d OK!\n"}};
    for (int i = 0; i < 4; ++i) {
        if (i > 0) PauseOneMs();
        unsigned int current = 0;
        if (!ReadRegister(device, steps[i].address, current, kReadCommand)) return false;
        PauseOneMs();
        if (!WriteFeature(device, steps[i].address, (current & 0xFFFFF000) | (steps[i].setting & 0xFFF))) return false;
        LogF(steps[i].line, steps[i].setting);
    }
    return true;
}

bool SetVideoProcessingAreaPreset(unsigned long device, unsigned int area) {
    if (area >= std::size(kProcessingAreaPresets)) return false;
    const ProcessingAreaPreset& a = kProcessingAreaPresets[area];
    return SetVideoProcessingArea(device, a.hOffset, a.vOffset, a.width, a.height);
}
