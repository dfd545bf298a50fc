#include "regframe.h"

#include <cstddef>

namespace {

constexpr unsigned short kCmdRead = 0x0400;
constexpr unsigned short kCmdWrite = 0x4000;
constexpr unsigned int kRegVividOnOff = 0x4008003C;
constexpr unsigned int kRegVividRange = 0x4008000C;
constexpr unsigned int kRegVividValue = 0x40080040;

// Entry i is the CRC-16 remainder of the nibble i under 0x1021 (i * 0x1021
// carry-less). Four bits per step keeps the table in one cache line.
constexpr unsigned short kNibbleTable[16] = {
    0x0000, 0x1021, 0x2042, 0x3063, 0x4084, 0x50A5, 0x60C6, 0x70E7,
    0x8108, 0x9129, 0xA14A, 0xB16B, 0xC18C, 0xD1AD, 0xE1CE, 0xF1EF,
};

inline unsigned short CrcNibble(unsigned short crc, unsigned nibble) {
    return static_cast<unsigned short>(((crc << 4) & 0xFFFF) ^ kNibbleTable[((crc >> 12) ^ nibble) & 0x0F]);
}

inline unsigned short CrcByte(unsigned short crc, unsigned char b) {
    crc = CrcNibble(crc, b >> 4);
    return CrcNibble(crc, b & 0x0F);
}

// The chip reads the buffer as little-endian 16-bit words and feeds each word
// high byte first, so the bytes of every pair enter the CRC swapped. An odd
// trailing byte (never sent by this system) has no partner and is skipped.
unsigned short Crc(const unsigned char* data, size_t length) {
    unsigned short crc = 0;
    for (size_t i = 0; i + 1 < length; i += 2) {
        crc = CrcByte(crc, data[i + 1]);
        crc = CrcByte(crc, data[i]);
    }
    return crc;
}

// Working area of one request: the words before serialisation.
struct Words {
    unsigned short w[256];
    unsigned int n = 0;
    bool little;

    explicit Words(bool littleEndian) : little(littleEndian) {}
    void Push(unsigned short v) { w[n++] = v; }
    void Push32(unsigned int v) {
        const auto lo = static_cast<unsigned short>(v & 0xFFFF);
        const auto hi = static_cast<unsigned short>(v >> 16);
        if (little) {
            Push(lo);
            Push(hi);
        } else {
            Push(hi);
            Push(lo);
        }
    }
};

inline void PutWord(unsigned char* out, unsigned short v, bool little) {
    if (little) {
        out[0] = static_cast<unsigned char>(v & 0xFF);
        out[1] = static_cast<unsigned char>(v >> 8);
    } else {
        out[0] = static_cast<unsigned char>(v >> 8);
        out[1] = static_cast<unsigned char>(v & 0xFF);
    }
}

int Serialise(const Words& words, unsigned char* buffer) {
    size_t pos = 0;
    for (unsigned int i = 0; i < words.n; ++i, pos += 2) PutWord(buffer + pos, words.w[i], words.little);
    PutWord(buffer + pos, Crc(buffer, pos), words.little);
    return static_cast<int>(pos + 2);
}

int BuildRead(unsigned int address, unsigned short command, unsigned char* buffer, bool little) {
    Words words(little);
    words.Push(3);
    words.Push(command);
    words.Push32(address);
    return Serialise(words, buffer);
}

int BuildWrite(unsigned int address, unsigned int value, unsigned short command, unsigned char* buffer, bool little) {
    Words words(little);
    words.Push(5);
    words.Push(command);
    words.Push32(address);
    words.Push32(value);
    return Serialise(words, buffer);
}

}  // namespace

unsigned short libPro_CalcCrc(unsigned char* data, unsigned short length) {
    if (!data) return 0;
    return Crc(data, length);
}

bool libPro_CheckCrc(unsigned char* data, unsigned short length, unsigned short& calculated, unsigned short& received,
                     bool littleEndian) {
    calculated = 0;
    received = 0;
    if (!data || length < 2) return false;
    calculated = Crc(data, static_cast<size_t>(length - 2));
    const unsigned char a = data[length - 2];
    const unsigned char b = data[length - 1];
    received = littleEndian ? static_cast<unsigned short>(a | (b << 8)) : static_cast<unsigned short>((a << 8) | b);
    return calculated == received;
}

int libPro_GetRegisterValuePack(unsigned int address, unsigned char* buffer, bool littleEndian,
                                unsigned short command) {
    return BuildRead(address, command, buffer, littleEndian);
}

int libPro_SetRegisterValuePack(unsigned int address, unsigned int value, unsigned char* buffer, bool littleEndian,
                                unsigned short command) {
    return BuildWrite(address, value, command, buffer, littleEndian);
}

int libPro_SetRegisterValuePack(unsigned int address, unsigned int* values, unsigned int count, unsigned char* buffer,
                                bool littleEndian) {
    // 2 header words + 2 address words + 2 per value must fit the 256-word area.
    if (count > kRegframeMaxBlockValues || (count > 0 && !values)) return 0;
    Words words(littleEndian);
    words.Push(static_cast<unsigned short>(2 * count + 3));
    words.Push(kCmdWrite);
    words.Push32(address);
    for (unsigned int i = 0; i < count; ++i) words.Push32(values[i]);
    return Serialise(words, buffer);
}

int libPro_GetVividiOnOffStatePack(unsigned char* buffer, bool littleEndian) {
    return BuildRead(kRegVividOnOff, kCmdRead, buffer, littleEndian);
}

int libPro_GetVividiRangePack(unsigned char* buffer, bool littleEndian) {
    return BuildRead(kRegVividRange, kCmdRead, buffer, littleEndian);
}

int libPro_GetVividiValuePack(unsigned char* buffer, bool littleEndian) {
    return BuildRead(kRegVividValue, kCmdRead, buffer, littleEndian);
}

int libPro_VividiOnOffPack(unsigned int current, int on, unsigned char* buffer, bool littleEndian) {
    const unsigned int value = on ? (current | 0x10u) : (current & ~0x10u);
    return BuildWrite(kRegVividOnOff, value, kCmdWrite, buffer, littleEndian);
}

int libPro_SetVividiRangePack(unsigned int current, unsigned int range, unsigned char* buffer, bool littleEndian) {
    unsigned int code;
    switch (range) {
    case 0: code = 0xB; break;
    case 1: code = 0xA; break;
    case 2: code = 0x9; break;
    default: return 0;
    }
    // Bits 24-31 and 16-19 are kept, 20-23 take the code, 0-15 go out as zero.
    const unsigned int value = (current & 0xFF0F0000u) | (code << 20);
    return BuildWrite(kRegVividRange, value, kCmdWrite, buffer, littleEndian);
}

int libPro_SetVividiIntensityPack(int intensity, unsigned char* buffer, bool littleEndian) {
    return BuildWrite(kRegVividValue, static_cast<unsigned int>(intensity) & 0xFFu, kCmdWrite, buffer, littleEndian);
}
