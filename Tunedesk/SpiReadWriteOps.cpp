#include "SpiReadWriteOps.h"

#include "SPIUtil.h"
#include "trace.h"
#include "Convert.h"
#include "StrFormat.h"
#include "TextParse.h"
#include "TimeUtil.h"

namespace spirw {

const CmdPair kCmdPairs[kCmdPairCount] = {
    {u"0x0400/0x4000", 0x0400, 0x4000},
    {u"0x0200/0x2000", 0x0200, 0x2000},
    {u"0x0600/0x6000", 0x0600, 0x6000},
    {u"0x0700/0x7000", 0x0700, 0x7000},
};

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }

void Show(const Notify& notify, const std::u16string& text) {
    if (notify) notify(text);
}

}  // namespace

std::u16string TrimLower(const std::u16string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    std::u16string out = text.substr(begin, end - begin);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return out;
}

bool IsHexText(const std::u16string& text) {
    unsigned int value = 0;
    return parse::Hex32(text, value) != parse::Hex::NotHex;
}

bool ParseHexField(const std::u16string& text, unsigned int& value, const Notify& notify) {
    if (parse::Hex32(text, value) == parse::Hex::TooLong) {
        Show(notify, msg::kTooLong);
        return false;
    }
    TD_TRACEF("%08X \r\n", value);
    return true;
}

bool ParseHexList(const std::u16string& text, Field field, std::list<unsigned int>& out, const Notify& notify) {
    const char16_t* emptyMsg = msg::kAddrEmpty;
    const char16_t* formatMsg = msg::kAddrFormat;
    if (field == Field::Data) {
        emptyMsg = msg::kDataEmpty;
        formatMsg = msg::kDataFormat;
    } else if (field == Field::Cmd) {
        emptyMsg = msg::kCmdEmpty;
        formatMsg = msg::kCmdFormat;
    }

    const std::u16string cleaned = TrimLower(text);
    if (cleaned.empty()) {
        Show(notify, emptyMsg);
        return false;
    }
    std::vector<std::u16string> fields;
    Spilt(cleaned, u",", fields, true);
    for (const std::u16string& f : fields) {
        if (!IsHexText(f)) {
            Show(notify, StrFormat(formatMsg, f.c_str()));
            return false;
        }
        unsigned int value = 0;
        if (!ParseHexField(f, value, notify)) return false;
        out.push_back(value);
    }
    return true;
}

bool ParseCmdValues(const std::u16string& text, std::list<unsigned short>& out, const Notify& notify) {
    std::list<unsigned int> words;
    if (!ParseHexList(text, Field::Cmd, words, notify)) return false;
    for (unsigned int w : words) out.push_back(static_cast<unsigned short>(w & 0xFFFF));
    return !words.empty();
}

bool GetCmdValue(const CmdChoice& choice, bool read, unsigned short& cmd, const Notify& notify) {
    if (choice.index >= 0 && choice.index < kCmdPairCount) {
        cmd = read ? kCmdPairs[choice.index].read : kCmdPairs[choice.index].write;
        return true;
    }
    std::list<unsigned short> words;
    if (!ParseCmdValues(choice.otherText, words, notify)) return false;
    if (choice.readBack) {
        // With "Read back" the edit holds the write word, then the read word.
        if (read) {
            if (words.size() < 2) {
                Show(notify, msg::kNoReadCmd);
                return false;
            }
            cmd = *std::next(words.begin());
        } else {
            cmd = words.front();
        }
    } else {
        cmd = words.front();
    }
    return true;
}

bool ParseEdidData(const std::u16string& text, std::vector<unsigned char>& bytes, unsigned int& count,
                   const Notify& notify) {
    const std::u16string cleaned = TrimLower(text);
    if (cleaned.empty()) return false;
    std::vector<std::u16string> fields;
    Spilt(cleaned, u" ", fields, true);
    count = static_cast<unsigned int>(fields.size());
    bytes.assign(fields.size(), 0);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!IsHexText(fields[i])) {
            Show(notify, StrFormat(msg::kEdidFormat, fields[i].c_str()));
            return false;
        }
        unsigned int value = 0;
        if (!ParseHexField(fields[i], value, notify)) return false;
        bytes[i] = static_cast<unsigned char>(value & 0xFF);
    }
    return true;
}

std::u16string FormatEdidText(const unsigned int* values, unsigned int count) {
    std::u16string text;
    text.reserve(count * 3 + count / 8 + 2);
    for (unsigned int i = 0; i < count; ++i) {
        text += StrFormat(u"%02X ", values[i]);
        if (i % 16 == 15) text += u"\r\n";
    }
    return text;
}

// Sequence A talks to the chip's EDID memory through a small register window:
// FF selects the register page (E0 window, E1 port control), 58/5A strobe the
// engine, 5B..5D carry the memory address (5D the block offset), 59 takes write
// data and 5F yields read data, one byte per read.
bool RunSequenceARead(unsigned long device, unsigned short writeCmd, unsigned short readCmd, unsigned int* values) {
    bool ok = true;
    auto w = [&](unsigned int reg, unsigned int v) { ok = WriteRegister(device, reg, v, writeCmd) && ok; };
    w(0xFF, 0xE0);
    w(0xEE, 0x01);
    w(0x5E, 0xDF);
    w(0x58, 0x00);
    w(0x59, 0x50);
    w(0x5A, 0x10);
    w(0x5A, 0x00);
    w(0x58, 0x21);
    for (unsigned int b = 0; b < kEdidSize / kEdidBlock; ++b) {
        w(0xFF, 0xE1);
        w(0x03, 0xBF);
        w(0x03, 0xFF);
        w(0xFF, 0xE0);
        w(0x5E, 0x5F);
        w(0x5A, 0x20);
        w(0x5A, 0x00);
        w(0x5B, 0x00);
        w(0x5C, 0x80);
        w(0x5D, b * kEdidBlock);
        w(0x5A, 0x10);
        w(0x5A, 0x00);
        w(0x58, 0x21);
        w(0xFF, 0xE0);
        for (unsigned int i = 0; i < kEdidBlock; ++i) {
            ok = ReadRegister(device, 0x5F, values[b * kEdidBlock + i], readCmd) && ok;
        }
        WexSleep(1);
    }
    w(0x5A, 0x08);
    w(0x5A, 0x00);
    w(0x58, 0x00);
    return ok;
}

bool RunSequenceAWrite(unsigned long device, unsigned short writeCmd, const unsigned char* bytes) {
    bool ok = true;
    auto w = [&](unsigned int reg, unsigned int v) { ok = WriteRegister(device, reg, v, writeCmd) && ok; };
    w(0xFF, 0xE0);
    w(0xEE, 0x01);
    w(0x5E, 0xDF);
    w(0x58, 0x00);
    w(0x59, 0x50);
    w(0x5A, 0x10);
    w(0x5A, 0x00);
    w(0x58, 0x21);
    w(0x5A, 0x04);
    w(0x5A, 0x00);
    w(0x5B, 0x00);
    w(0x5C, 0x80);
    w(0x5D, 0x00);
    w(0x5A, 0x01);
    w(0x5A, 0x00);
    // The chip erases its EDID memory after the 01 strobe; it takes this long.
    WexSleep(600);
    for (unsigned int b = 0; b < kEdidSize / kEdidBlock; ++b) {
        w(0xFF, 0xE1);
        w(0x03, 0xBF);
        w(0x03, 0xFF);
        w(0xFF, 0xE0);
        w(0x5A, 0x04);
        w(0x5A, 0x00);
        w(0x5E, 0xDF);
        w(0x5A, 0x20);
        w(0x5A, 0x00);
        w(0x58, 0x21);
        for (unsigned int i = 0; i < kEdidBlock; ++i) w(0x59, bytes[b * kEdidBlock + i]);
        w(0x5B, 0x00);
        w(0x5C, 0x80);
        w(0x5D, b * kEdidBlock);
        w(0x5A, 0x10);
        w(0x5A, 0x00);
    }
    w(0x5A, 0x08);
    w(0x5A, 0x00);
    w(0x58, 0x00);
    return ok;
}

// Sequence B unlocks the block port with four code bytes before every block and
// then reads the 32 bytes of the block from 8A..A9.
bool RunSequenceBRead(unsigned long device, unsigned short writeCmd, unsigned short readCmd, unsigned int* values) {
    bool ok = true;
    auto w = [&](unsigned int reg, unsigned int v) { ok = WriteRegister(device, reg, v, writeCmd) && ok; };
    for (unsigned int b = 0; b < kEdidSize / kEdidBlock; ++b) {
        w(0xFF, 0xE0);
        w(0xDE, 0x01);
        w(0xB0, 0x57);
        w(0xB1, 0x4B);
        w(0xB2, 0x36);
        w(0xB3, 0x3B);
        w(0xB4, b);
        w(0xDE, 0x02);
        w(0x85, 0x25);
        for (unsigned int i = 0; i < kEdidBlock; ++i) {
            ok = ReadRegister(device, 0x8A + i, values[b * kEdidBlock + i], readCmd) && ok;
        }
    }
    return ok;
}

int ReadEdidData(int device, const CmdChoice& choice, const Notify& notify, std::u16string& text) {
    unsigned short writeCmd = 0;
    unsigned short readCmd = 0;
    if (!GetCmdValue(choice, false, writeCmd, notify)) return 0;
    if (!GetCmdValue(choice, true, readCmd, notify)) return 0;

    // A byte whose read fails keeps this 0 rather than whatever was on the stack.
    unsigned int values[kEdidSize] = {};
    const unsigned long dev = static_cast<unsigned long>(device);
    if (writeCmd == 0x6000) {
        RunSequenceARead(dev, writeCmd, readCmd, values);
    } else if (writeCmd == 0x7000) {
        RunSequenceBRead(dev, writeCmd, readCmd, values);
    } else {
        Show(notify, msg::kCmdErr);
        return 0;
    }
    text = FormatEdidText(values);
    return 1;
}

int WriteEdidData(int device, const CmdChoice& choice, const std::u16string& edidText, const Notify& notify) {
    std::vector<unsigned char> bytes;
    unsigned int count = 0;
    if (!ParseEdidData(edidText, bytes, count, notify)) return 0;

    unsigned short writeCmd = 0;
    unsigned short readCmd = 0;
    if (!GetCmdValue(choice, false, writeCmd, notify)) return 0;
    // Not used by the sequence, but a CMD choice without one is refused as for reading.
    if (!GetCmdValue(choice, true, readCmd, notify)) return 0;

    if (count != kEdidSize || writeCmd != 0x6000) {
        Show(notify, msg::kCmdOrLenErr);
        return 0;
    }
    RunSequenceAWrite(static_cast<unsigned long>(device), writeCmd, bytes.data());
    return 1;
}

}  // namespace spirw
