// The CH347's protocol on its bulk endpoints: command frames, the answers to
// them, and the SPI set-up payload built from the vendor's 20-byte
// configuration. Nothing here touches USB, so the byte layouts can be tested
// and fuzzed on their own; UsbBackend sends what these functions build.
//
// Every frame is one command byte, a 16-bit little-endian payload length and
// the payload. The bridge takes at most 510 bytes per transfer, so a write
// frame carries at most 507 data bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "CH347DLL.h"

namespace ch347 {

inline constexpr std::uint16_t kVendorId = 0x1A86;
inline constexpr std::uint16_t kPidCh347tMode0 = 0x55DA;  // two serial ports, no SPI
inline constexpr std::uint16_t kPidCh347tMode1 = 0x55DB;  // serial + SPI + I2C
inline constexpr std::uint16_t kPidCh347tMode2 = 0x55DC;  // HID: not served here
inline constexpr std::uint16_t kPidCh347tMode3 = 0x55DD;  // serial + JTAG + I2C
inline constexpr std::uint16_t kPidCh347f = 0x55DE;       // every function at once

// What a product ID tells about a bridge we list.
struct BridgeKind {
    const char* chipName;   // "CH347T" / "CH347F"
    int chipMode;           // the device information record's chip mode
    int spiInterface;       // vendor interface carrying SPI; -1: none (mode 3)
    std::uint8_t chipType;  // what CH347GetVersion reports: 0 CH347T, 1 CH347F
};
// False for product IDs we do not list (other modes, other chips).
bool KindOfProduct(std::uint16_t productId, BridgeKind& kind);

inline constexpr std::uint8_t kCmdSpiInit = 0xC0;
inline constexpr std::uint8_t kCmdChipSelect = 0xC1;
inline constexpr std::uint8_t kCmdSpiRead = 0xC3;
inline constexpr std::uint8_t kCmdSpiWrite = 0xC4;
inline constexpr std::uint8_t kCmdInfo = 0xCA;
inline constexpr std::uint8_t kInfoSpiConfig = 0x01;

inline constexpr std::size_t kHeaderBytes = 3;
inline constexpr std::size_t kMaxFrameBytes = 510;
inline constexpr std::size_t kMaxDataPerFrame = kMaxFrameBytes - kHeaderBytes;  // 507
inline constexpr std::size_t kSpiInitPayloadBytes = 26;
inline constexpr std::size_t kChipSelectPayloadBytes = 10;

using Frame = std::vector<std::uint8_t>;

// One frame: command, LE16 length, payload (length <= 507 here; more is the
// caller's fault and gives an empty frame).
Frame EncodeFrame(std::uint8_t command, const std::uint8_t* payload, std::size_t length);

// ---- SPI clock --------------------------------------------------------------

inline constexpr std::uint32_t kBaseClockHz = 60000000;
inline constexpr std::uint8_t kSlowestClockOption = 7;  // 468.75 kHz
// The clock option (divider 2^n of the 60 MHz base) for a frequency: the
// fastest not above `hz`, the slowest when even that is above it. 0 Hz keeps
// `configured`, the iClock of the configuration.
std::uint8_t ClockOptionFor(std::uint32_t hz, std::uint8_t configured);

// ---- SPI set-up (0xC0) and configuration read-back (0xCA 01) ----------------

// Sources disagree on which of bits 7 and 6 of the polarity byte belongs to
// which chip select; this is the one place that decides (chip select 1 on
// bit 7, chip select 2 on bit 6). Firmware that applies chip select 1's flag
// to both lines needs CS1Polarity = CS2Polarity in the settings.
inline constexpr std::uint8_t kCs1ActiveHighBit = 0x80;
inline constexpr std::uint8_t kCs2ActiveHighBit = 0x40;
std::uint8_t ChipSelectPolarityBits(std::uint8_t cs1Polarity, std::uint8_t cs2Polarity);

using SpiInitPayload = std::array<std::uint8_t, kSpiInitPayloadBytes>;

// The 26-byte payload of 0xC0: polarity and phase from iMode, the divider of
// `clockOption`, the first bit from iByteOrder (1 = most significant first),
// the interval, the read filler and the chip-select polarity bits. The other
// fields of the configuration are the host's (chip select through 0xC1).
// False (payload untouched) when iMode, clockOption or iByteOrder is out of range.
bool BuildSpiInitPayload(const mSpiCfgS& config, std::uint8_t clockOption, bool sixteenBitWords,
                         SpiInitPayload& payload);

// The device's fields of a configuration from the 26 bytes the bridge
// reports (same layout as 0xC0); the host's fields of `config` stay. False
// when the bytes name no mode, divider or bit order we know.
bool ParseSpiConfigPayload(const std::uint8_t* payload, std::size_t length, mSpiCfgS& config, bool* sixteenBitWords);

// ---- Chip select (0xC1) -----------------------------------------------------

// Assert (level 0) or release (level 1) one chip select (0: CS1, 1: CS2).
// Both delay fields of that line are filled: the bridge waits `activeDelay`
// microseconds around asserting and `deactiveDelay` after releasing.
Frame ChipSelectFrame(int chipSelect, bool assert, std::uint16_t activeDelay, std::uint16_t deactiveDelay);

// ---- Data -------------------------------------------------------------------

// 0xC4 with 1..507 data bytes (a zero-length write hangs the firmware).
Frame WriteFrame(const std::uint8_t* data, std::size_t length);
// 0xC3: read `count` bytes; the bridge answers with 0xC3 frames of <= 507.
Frame ReadRequestFrame(std::uint32_t count);
// 0xCA with one byte (kInfoSpiConfig: the current SPI configuration).
Frame InfoRequestFrame(std::uint8_t what);

// ---- Answers ----------------------------------------------------------------

enum class AnswerStatus {
    Complete,      // one whole frame: payload/payloadBytes/frameBytes are set
    NeedMore,      // the bytes so far are a good start of the frame
    WrongCommand,  // the first byte is not the command asked
    BadLength,     // the length field is outside [minPayload, maxPayload]
};

struct Answer {
    AnswerStatus status = AnswerStatus::NeedMore;
    const std::uint8_t* payload = nullptr;  // points into the decoded bytes
    std::size_t payloadBytes = 0;
    std::size_t frameBytes = 0;  // header + payload: what to drop before the next frame
};

// Decodes the frame at the start of `data`, which must answer `command` with
// a payload of minPayload..maxPayload bytes. Reads nothing past data + size.
Answer DecodeAnswer(const std::uint8_t* data, std::size_t size, std::uint8_t command, std::size_t minPayload,
                    std::size_t maxPayload);

}  // namespace ch347
