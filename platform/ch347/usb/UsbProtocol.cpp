#include "UsbProtocol.h"

#include <cstring>

namespace ch347 {
namespace {

void PutLe16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t GetLe16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }

// Field offsets inside the 26-byte payload (the frame offset minus the header).
constexpr std::size_t kDirection = 0, kMode = 2, kDataSize = 4, kPolarity = 6, kPhase = 8, kNssManagement = 10,
                      kDivider = 12, kFirstBit = 14, kCrcPolynomial = 16, kInterval = 18, kOutDefault = 20,
                      kCsPolarity = 21;

constexpr std::uint16_t kMasterMode = 0x0104;
constexpr std::uint16_t kSixteenBitWords = 0x0800;
constexpr std::uint16_t kIdleHigh = 2;
constexpr std::uint16_t kSecondEdge = 1;
constexpr std::uint16_t kSoftwareChipSelect = 0x0200;
constexpr std::uint16_t kLsbFirst = 0x80;
constexpr std::uint16_t kUnusedCrcPolynomial = 7;
constexpr std::uint16_t kDividerStep = 8;

// Chip-select control byte: apply this line, level (0 assert, 1 release).
constexpr std::uint8_t kCsApply = 0x80;
constexpr std::uint8_t kCsLevelHigh = 0x40;

}  // namespace

bool KindOfProduct(std::uint16_t productId, BridgeKind& kind) {
    switch (productId) {
    case kPidCh347tMode1: kind = {"CH347T", 1, 2, 0}; return true;
    case kPidCh347tMode3: kind = {"CH347T", 3, -1, 0}; return true;
    case kPidCh347f: kind = {"CH347F", 1, 4, 1}; return true;
    default: return false;
    }
}

Frame EncodeFrame(std::uint8_t command, const std::uint8_t* payload, std::size_t length) {
    if (length > kMaxDataPerFrame || (length > 0 && !payload)) return {};
    Frame frame(kHeaderBytes + length);
    frame[0] = command;
    PutLe16(&frame[1], static_cast<std::uint16_t>(length));
    if (length > 0) std::memcpy(&frame[kHeaderBytes], payload, length);
    return frame;
}

std::uint8_t ClockOptionFor(std::uint32_t hz, std::uint8_t configured) {
    if (hz == 0) return configured;
    for (std::uint8_t option = 0; option < kSlowestClockOption; ++option) {
        if ((kBaseClockHz >> option) <= hz) return option;
    }
    return kSlowestClockOption;
}

std::uint8_t ChipSelectPolarityBits(std::uint8_t cs1Polarity, std::uint8_t cs2Polarity) {
    return static_cast<std::uint8_t>((cs1Polarity ? kCs1ActiveHighBit : 0) | (cs2Polarity ? kCs2ActiveHighBit : 0));
}

bool BuildSpiInitPayload(const mSpiCfgS& config, std::uint8_t clockOption, bool sixteenBitWords,
                         SpiInitPayload& payload) {
    if (config.iMode > 3 || clockOption > kSlowestClockOption || config.iByteOrder > 1) return false;
    SpiInitPayload p{};
    PutLe16(&p[kDirection], 0);  // full duplex
    PutLe16(&p[kMode], kMasterMode);
    PutLe16(&p[kDataSize], sixteenBitWords ? kSixteenBitWords : 0);
    PutLe16(&p[kPolarity], (config.iMode >> 1) ? kIdleHigh : 0);
    PutLe16(&p[kPhase], (config.iMode & 1) ? kSecondEdge : 0);
    // The host drives chip select itself (0xC1), with the delays it was given.
    PutLe16(&p[kNssManagement], kSoftwareChipSelect);
    PutLe16(&p[kDivider], static_cast<std::uint16_t>(kDividerStep * clockOption));
    PutLe16(&p[kFirstBit], config.iByteOrder == 1 ? 0 : kLsbFirst);
    PutLe16(&p[kCrcPolynomial], kUnusedCrcPolynomial);
    PutLe16(&p[kInterval], config.iSpiWriteReadInterval);
    p[kOutDefault] = config.iSpiOutDefaultData;
    p[kCsPolarity] = ChipSelectPolarityBits(config.CS1Polarity, config.CS2Polarity);
    payload = p;
    return true;
}

bool ParseSpiConfigPayload(const std::uint8_t* payload, std::size_t length, mSpiCfgS& config, bool* sixteenBitWords) {
    if (!payload || length != kSpiInitPayloadBytes) return false;
    const std::uint16_t divider = GetLe16(&payload[kDivider]);
    const std::uint16_t firstBit = GetLe16(&payload[kFirstBit]);
    const std::uint16_t dataSize = GetLe16(&payload[kDataSize]);
    if (divider % kDividerStep != 0 || divider / kDividerStep > kSlowestClockOption) return false;
    if (firstBit != 0 && firstBit != kLsbFirst) return false;
    if (dataSize != 0 && dataSize != kSixteenBitWords) return false;
    const bool idleHigh = GetLe16(&payload[kPolarity]) != 0;
    const bool secondEdge = GetLe16(&payload[kPhase]) != 0;
    config.iMode = static_cast<std::uint8_t>((idleHigh ? 2 : 0) | (secondEdge ? 1 : 0));
    config.iClock = static_cast<std::uint8_t>(divider / kDividerStep);
    config.iByteOrder = firstBit == 0 ? 1 : 0;
    config.iSpiWriteReadInterval = GetLe16(&payload[kInterval]);
    config.iSpiOutDefaultData = payload[kOutDefault];
    config.CS1Polarity = (payload[kCsPolarity] & kCs1ActiveHighBit) ? 1 : 0;
    config.CS2Polarity = (payload[kCsPolarity] & kCs2ActiveHighBit) ? 1 : 0;
    if (sixteenBitWords) *sixteenBitWords = dataSize == kSixteenBitWords;
    return true;
}

Frame ChipSelectFrame(int chipSelect, bool assert, std::uint16_t activeDelay, std::uint16_t deactiveDelay) {
    std::uint8_t payload[kChipSelectPayloadBytes] = {};
    // Chip select 1 owns payload bytes 0-4, chip select 2 bytes 5-9; a zero
    // control byte leaves the other line alone.
    std::uint8_t* line = payload + (chipSelect == 1 ? 5 : 0);
    line[0] = static_cast<std::uint8_t>(kCsApply | (assert ? 0 : kCsLevelHigh));
    PutLe16(&line[1], activeDelay);
    PutLe16(&line[3], deactiveDelay);
    return EncodeFrame(kCmdChipSelect, payload, sizeof payload);
}

Frame WriteFrame(const std::uint8_t* data, std::size_t length) {
    if (length == 0) return {};
    return EncodeFrame(kCmdSpiWrite, data, length);
}

Frame ReadRequestFrame(std::uint32_t count) {
    const std::uint8_t payload[4] = {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
                                     static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 24)};
    return EncodeFrame(kCmdSpiRead, payload, sizeof payload);
}

Frame InfoRequestFrame(std::uint8_t what) { return EncodeFrame(kCmdInfo, &what, 1); }

Answer DecodeAnswer(const std::uint8_t* data, std::size_t size, std::uint8_t command, std::size_t minPayload,
                    std::size_t maxPayload) {
    Answer answer;
    if (size == 0 || !data) return answer;
    if (data[0] != command) {
        answer.status = AnswerStatus::WrongCommand;
        return answer;
    }
    if (size < kHeaderBytes) return answer;
    const std::size_t length = GetLe16(&data[1]);
    if (length < minPayload || length > maxPayload) {
        answer.status = AnswerStatus::BadLength;
        return answer;
    }
    if (size - kHeaderBytes < length) return answer;
    answer.status = AnswerStatus::Complete;
    answer.payload = data + kHeaderBytes;
    answer.payloadBytes = length;
    answer.frameBytes = kHeaderBytes + length;
    return answer;
}

}  // namespace ch347
