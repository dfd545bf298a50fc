// Register access to the video-processing chip: one transaction per register
// operation (request framed by regframe, written over SPI, reply read back into
// the same buffer, CRC and status checked), and the picture-quality register
// map built on it. Every step is reported as a line to the log sink.
//
// The link settings ByteOrder, CSEnable and SPIRWDelay are read from the
// settings file each time they are used, so a change saved in the settings
// dialog applies from the next transaction on.
//
// Threads: any thread may run transactions. Each transaction holds a lock of
// its device index, so exchanges from different threads never interleave on
// one device, and its TX line, reply lines and verdict line stand together in
// the log. A read-modify-write (getter, then setter) spans two transactions
// and is not atomic as a whole.
#pragma once

#include <functional>
#include <string>

// Receives one finished log line; called on the thread that runs the
// transaction, so it must be safe to call from any thread.
using SpiLogSink = std::function<void(const std::u16string&)>;

// Command words of the feature operations; a valid reply carries command + 1.
inline constexpr unsigned short kReadCommand = 0x0400;
inline constexpr unsigned short kWriteCommand = 0x4000;

// Installs the log sink (an empty function: lines are dropped).
void SetLogSink(SpiLogSink sink);

// Told of every picture-quality register value that a transaction read
// (command 0x0400) or wrote (command 0x4000) successfully, whoever ran it, so a
// listener learns of every change of the chip's settings. Called on the
// transaction's thread with the device's lock held: it must only hand the
// value on, never start a transaction itself.
using RegisterObserver = std::function<void(unsigned long device, unsigned int address, unsigned int value)>;
void SetRegisterObserver(RegisterObserver observer);

// ---- Register transaction layer ----------------------------------------

// true when the value was read; `value` is written only then.
bool ReadRegister(unsigned long device, unsigned int address, unsigned int& value, unsigned short command);
// true when the chip acknowledged the write. Logs nothing of its own on success.
bool UpdateRegister(unsigned long device, unsigned int address, unsigned int value, unsigned short command);
// As UpdateRegister, and logs "Write Register: ..." on success.
bool WriteRegister(unsigned long device, unsigned int address, unsigned int value, unsigned short command);
// Writes `count` consecutive registers from `address` in one block write
// (command 0x4000). At most kMaxBlockValues values; more are refused without
// bus traffic.
inline constexpr unsigned int kMaxBlockValues = 125;
bool UpdateRegisterBlock(unsigned long device, unsigned int address, const unsigned int* values, unsigned int count);
// One request/reply exchange: logs and writes `requestLength` bytes of
// `buffer`, waits, reads `replyLength` bytes into `buffer` from offset 0 and
// checks the reply's CRC (stored high byte first in either byte order).
// `buffer` must hold at least kExchangeBufferBytes and replyLength bytes.
// Lengths outside 1..kExchangeBufferBytes (request) or 2..kExchangeBufferBytes
// (reply) are refused without bus traffic.
inline constexpr unsigned int kExchangeBufferBytes = 260;
inline constexpr unsigned int kBlockBufferBytes = 512;
bool ExchangePacket(unsigned long device, unsigned char* buffer, int requestLength, unsigned int replyLength);
// Busy-waits SPIRWDelay loop iterations (0: no wait).
void RwDelay();

// ---- Picture-quality register map --------------------------------------

inline constexpr unsigned int kRegVividRange = 0x4008000C;
inline constexpr unsigned int kRegSharpeningOnOff = 0x40080014;
inline constexpr unsigned int kRegThroughDisplay = 0x40080018;
inline constexpr unsigned int kRegAreaHOffset = 0x4008001C;
inline constexpr unsigned int kRegAreaWidth = 0x40080020;
inline constexpr unsigned int kRegAreaVOffset = 0x40080024;
inline constexpr unsigned int kRegAreaHeight = 0x40080028;
inline constexpr unsigned int kRegExtendedContrast = 0x40080034;
inline constexpr unsigned int kRegBrightnessThreshold = 0x40080038;
inline constexpr unsigned int kRegVividOnOff = 0x4008003C;
inline constexpr unsigned int kRegVividIntensity = 0x40080040;
inline constexpr unsigned int kRegColorCorrectionIntensity = 0x40080048;
inline constexpr unsigned int kRegNoiseRemoveSensitivity = 0x40080050;
inline constexpr unsigned int kRegSharpeningIntensity = 0x40080060;
inline constexpr unsigned int kRegSharpeningKernel = 0x40088000;  // 121 coefficients, 11 x 11, row by row
inline constexpr unsigned int kSharpeningKernelSize = 121;
// The registers above other than the kernel, in address order.
inline constexpr unsigned int kPictureQualityRegisters[] = {kRegVividRange,
                                                            kRegSharpeningOnOff,
                                                            kRegThroughDisplay,
                                                            kRegAreaHOffset,
                                                            kRegAreaWidth,
                                                            kRegAreaVOffset,
                                                            kRegAreaHeight,
                                                            kRegExtendedContrast,
                                                            kRegBrightnessThreshold,
                                                            kRegVividOnOff,
                                                            kRegVividIntensity,
                                                            kRegColorCorrectionIntensity,
                                                            kRegNoiseRemoveSensitivity,
                                                            kRegSharpeningIntensity};

// Vivid range as exchanged with the panel.
inline constexpr unsigned int kVividRangeLarge = 0, kVividRangeMedium = 1, kVividRangeSmall = 2, kVividRangeTiny = 3,
                              kVividRangeUnknown = 255;
// Processing area as exchanged with the panel; kAreaOther for any other geometry.
inline constexpr unsigned int kAreaAll = 0, kAreaCenter = 1, kAreaLeft = 2, kAreaRight = 3, kAreaOther = 4;
// Sharpening process size.
inline constexpr unsigned int kSharpenLarge = 0, kSharpenMedium = 1, kSharpenSmall = 2;

struct ProcessingAreaPreset {
    unsigned int hOffset, vOffset, width, height;
};
// Presets of a 1920 x 1080 picture, indexed by area 0-3.
inline constexpr ProcessingAreaPreset kProcessingAreaPresets[4] = {
    {0, 0, 1920, 1080}, {480, 270, 960, 540}, {0, 0, 960, 1080}, {960, 0, 960, 1080}};

// The 121 coefficients (11 x 11 grid, row by row) that SetSharpeningProcessSize
// writes for `size`: 32768 at the centre minus a binomial blur of side 7, 5 or
// 3, zero outside it. false (and `out` untouched) for a size other than 0-2.
bool BuildSharpeningKernel(unsigned int size, int (&out)[kSharpeningKernelSize]);

// Getters: read the register (command 0x0400), log the decoded fields that are
// asked for and store them; a null pointer skips that output. On failure no
// output is written. `raw` receives the whole register value.
bool GetBrightnessAndThreshold(unsigned long device, unsigned int* brightness, unsigned int* threshold,
                               unsigned int* raw);
bool GetColorCorrectionIntensity(unsigned long device, unsigned int* intensity, unsigned int* raw);
bool GetExtendedContrastParameters(unsigned long device, unsigned int* extendedContrast, unsigned int* autoBrightness,
                                   unsigned int* adaptiveContrast, unsigned int* raw);
bool GetNavoThroughDisplayOnOffState(unsigned long device, unsigned int* state, unsigned int* raw);
bool GetRemoveNoiseSensitivity(unsigned long device, unsigned int* sensitivity, unsigned int* raw);
bool GetSharpeningIntensity(unsigned long device, unsigned int* intensity, unsigned int* raw);
// `state` is required: null returns false without bus traffic.
bool GetSharpeningOnOffState(unsigned long device, unsigned int* state, unsigned int* raw);
bool GetVividOnOffState(unsigned long device, unsigned int* vivid, unsigned int* colorCorrection,
                        unsigned int* noiseRemove, unsigned int* raw);
bool GetVividRange(unsigned long device, unsigned int* range, unsigned int* raw);
bool GetVividIntensity(unsigned long device, unsigned int* intensity, unsigned int* raw);
// Reads the four area registers with 1 ms pauses; `area` (required) is 0-3 for
// a preset, 4 for any other geometry.
bool GetVideoProcessingArea(unsigned long device, unsigned int* area);

// Setters: replace the setting's field in `current` (the getter's raw value),
// write the register (command 0x4000) and log the outcome.
bool SetAutoBrightnessOnOff(unsigned long device, unsigned int current, unsigned int on);
bool SetExtendedContrastOnOff(unsigned long device, unsigned int current, unsigned int on);
bool SetAdaptiveContrast(unsigned long device, unsigned int current, unsigned int value);
bool SetBrightness(unsigned long device, unsigned int current, unsigned int value);
bool SetThreshold(unsigned long device, unsigned int current, unsigned int value);
bool SetColorCorrectionOnOff(unsigned long device, unsigned int current, unsigned int on);
bool SetNoiseRemoveOnOff(unsigned long device, unsigned int current, unsigned int on);
bool SetVividiOnOff(unsigned long device, unsigned int current, unsigned int on);
bool SetColorCorrectionIntensity(unsigned long device, unsigned int current, unsigned int value);
bool SetNoiseRemoveSensitivity(unsigned long device, unsigned int current, unsigned int value);
bool SetSharpeningOnOff(unsigned long device, unsigned int current, unsigned int on);
bool SetSharpeningIntensity(unsigned long device, unsigned int current, unsigned int value);
bool SetNavoThroughDisplay(unsigned long device, unsigned int current, unsigned int on);
bool SetVividIntensity(unsigned long device, unsigned int current, unsigned int value);
// range 0 Large, 1 Medium, 2 Small; any other returns false, writes and logs nothing.
bool SetVividRange(unsigned long device, unsigned int current, unsigned int range);
// Writes the whole 121-coefficient kernel of size 0-2 in one block write; any
// other size returns false, writes and logs nothing.
bool SetSharpeningProcessSize(unsigned long device, unsigned int size);
// Read-modify-writes bits 0-11 of the four area registers in the order
// horizontal offset, vertical offset, width, height, with 1 ms pauses; stops
// at the first failure (later registers untouched). true when all four were written.
bool SetVideoProcessingArea(unsigned long device, unsigned int hOffset, unsigned int vOffset, unsigned int width,
                            unsigned int height);
// SetVideoProcessingArea with the preset `area` (0-3, kProcessingAreaPresets);
// any other area returns false, writes and logs nothing.
bool SetVideoProcessingAreaPreset(unsigned long device, unsigned int area);
