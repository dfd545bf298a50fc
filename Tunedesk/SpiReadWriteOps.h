// The register console's work without widgets: parsing what the user typed into
// the address, data, CMD and EDID fields, choosing the command word, and the two
// fixed EDID register sequences of the chip. The console window (SpiReadWrite)
// takes a snapshot of its fields on the GUI thread and hands it to these
// functions, so the EDID workers never touch a widget.
#pragma once

#include <functional>
#include <list>
#include <string>
#include <vector>

namespace spirw {

// Shows one message to the user (a modal box with OK in the console).
using Notify = std::function<void(const std::u16string&)>;

// One entry of the CMD list: the command words a read and a write are sent with.
struct CmdPair {
    const char16_t* name;
    unsigned short read;
    unsigned short write;
};
inline constexpr int kCmdPairCount = 4;
extern const CmdPair kCmdPairs[kCmdPairCount];
inline constexpr const char16_t* kCmdOther = u"Other";
inline constexpr int kCmdOtherIndex = 4;

// The CMD choice as the user left it: list index (-1 none), the CMD edit's
// text and the "Read back" tick.
struct CmdChoice {
    int index = 0;
    std::u16string otherText;
    bool readBack = false;
};

// Which field is parsed; selects the field's messages.
enum class Field { Address, Data, Cmd };

// Messages of the console, also used by the tests.
namespace msg {
inline constexpr const char16_t* kAddrEmpty = u"Register address can't be empty!";
inline constexpr const char16_t* kAddrFormat = u"The format of register address:%s is illegal!";
inline constexpr const char16_t* kDataEmpty = u"Register data can't be empty!";
inline constexpr const char16_t* kDataFormat = u"The format of register data:%s is illegal!";
inline constexpr const char16_t* kCmdEmpty = u"CMD values can't be empty!";
inline constexpr const char16_t* kCmdFormat = u"The format of cmd value:%s is illegal!";
inline constexpr const char16_t* kTooLong = u"The length of register address exceeds 8 characters!";
inline constexpr const char16_t* kNoReadCmd = u"Failed to obtain read command!";
inline constexpr const char16_t* kCountMismatch =
    u"The number of register addresses does not match the number of register data!";
inline constexpr const char16_t* kReadNoDevice = u"Failed to read, please open the spi device first!";
inline constexpr const char16_t* kWriteNoDevice = u"Failed to write, please open the spi device first!";
inline constexpr const char16_t* kReadFailed = u"Read register 0x%08x failed!";
inline constexpr const char16_t* kReadBackFailed = u"Read register 0x%08X failed!";
inline constexpr const char16_t* kWriteFailed = u"Write register:0x%08X, Data:0x%08X failed!";
inline constexpr const char16_t* kEdidFormat = u"The format of read/write data:%s is illegal!";
inline constexpr const char16_t* kCmdErr = u"CMD err!";
inline constexpr const char16_t* kCmdOrLenErr = u"CMD or datalen err!";
}  // namespace msg

// Blanks, tabs and line ends cut from both ends, ASCII letters lowered.
std::u16string TrimLower(const std::u16string& text);

// Lower-case hex digits after an optional "0x"; "" and "0x" pass.
bool IsHexText(const std::u16string& text);

// Hex text (optional "0x", at most 8 digits) to a value; the caller zeroes the
// value first, so an empty field gives 0. More than 8 digits: message, false.
bool ParseHexField(const std::u16string& text, unsigned int& value, const Notify& notify);

// A comma-separated field of hex values, appended to `out` in the order typed.
bool ParseHexList(const std::u16string& text, Field field, std::list<unsigned int>& out, const Notify& notify);

// The CMD edit's words (low 16 bits each); true when at least one was given.
bool ParseCmdValues(const std::u16string& text, std::list<unsigned short>& out, const Notify& notify);

// The read (read = true) or write command word of the CMD choice.
bool GetCmdValue(const CmdChoice& choice, bool read, unsigned short& cmd, const Notify& notify);

// The EDID field as bytes (low 8 bits of each blank-separated hex value).
// An empty field gives false without a message.
bool ParseEdidData(const std::u16string& text, std::vector<unsigned char>& bytes, unsigned int& count,
                   const Notify& notify);

inline constexpr unsigned int kEdidSize = 256;
inline constexpr unsigned int kEdidBlock = 32;

// Sixteen lines of sixteen "%02X " values, each line ending in "\r\n".
std::u16string FormatEdidText(const unsigned int* values, unsigned int count = kEdidSize);

// The chip's EDID register sequences. A failed transaction does not stop a
// sequence: the failure is in the log and the sequence goes on, so a byte
// whose read failed keeps the value it had in `values` (callers pass zeroes).
// The result tells whether every transaction of the sequence succeeded.
bool RunSequenceARead(unsigned long device, unsigned short writeCmd, unsigned short readCmd, unsigned int* values);
bool RunSequenceAWrite(unsigned long device, unsigned short writeCmd, const unsigned char* bytes);
bool RunSequenceBRead(unsigned long device, unsigned short writeCmd, unsigned short readCmd, unsigned int* values);

// EDID Read: picks the sequence by the write command word and builds the
// field's new text. Returns 1 when `text` was built, 0 when stopped.
int ReadEdidData(int device, const CmdChoice& choice, const Notify& notify, std::u16string& text);

// EDID Write of the field's text. Returns 1 when the sequence ran, 0 when stopped.
int WriteEdidData(int device, const CmdChoice& choice, const std::u16string& edidText, const Notify& notify);

}  // namespace spirw
