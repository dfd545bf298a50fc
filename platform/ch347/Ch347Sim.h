// Control interface of the simulated bridge and chip, for tests and for
// running the panel without hardware.
//
// What is simulated
// -----------------
// Up to 16 bridges (indexes 0-15), each with a chip behind its SPI port. After
// load and after Reset() there is one bridge at index 0 in chip mode 1 (an SPI
// mode) whose description is kDefaultDescription. A bridge must be opened
// (CH347OpenDevice) before its SPI calls succeed; in chip mode 3 it has no SPI
// port and every SPI call fails.
//
// The chip answers the register protocol: a request written with
// CH347SPI_Write is parsed in the byte order its word count shows (00 03 is
// high byte first, 03 00 low byte first), its word count and CRC are checked,
// and the reply is read with CH347SPI_Read: 8 bytes (status, value, CRC) after
// a read request, 4 bytes (status, CRC) after a write or block write. Status
// and value follow the request's byte order; the CRC is stored high byte first.
// A good request is answered with status = command + 1. A request the chip
// cannot parse (too short, bad word count, unknown command, wrong CRC) is
// answered with status = command + 2 (0xFFFF when even the command is
// missing), with a correct CRC. Bytes read beyond the reply, and reads with no
// reply pending, give 0xFF. A new request replaces an unread reply (counted
// in BridgeRecord::lostReplies).
//
// Register spaces, by command pair (either word of a pair names the space):
//   0x0400/0x4000  picture-quality registers (0x4008xxxx), power-on values:
//                  the whole 1920 x 1080 picture as processing area, Vivid
//                  on, range Medium, intensity 130, Threshold 10, the Medium
//                  sharpening kernel in 0x40088000..; block writes allowed.
//   0x0200/0x2000  a plain register space, all zero at power-on.
//   0x0600/0x6000  8-bit registers of the EDID port (sequence A): reads and
//                  writes the chip's EDID.
//   0x0700/0x7000  8-bit registers of the EDID window (sequence B): reads it.
// Each chip starts with DefaultEdid(): a valid 256-byte EDID (1920x1080
// preferred timing, one extension block, checksums right).
//
// Every function here and every CH347 call is thread-safe: the read-back
// thread, the GUI thread and test threads may use the simulator at once.
// Indexes outside 0-15 are ignored (setters return false, getters give
// empty/zero values).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CH347DLL.h"

namespace sim {

inline constexpr const char* kDefaultDescription = "USB2.0 to SPI bridge (simulated)";
inline constexpr const char* kDefaultProduct = "USB2.0-SPI bridge";
inline constexpr const char* kDefaultManufacturer = "Tunedesk simulator";

// ---- Whole simulator ------------------------------------------------------

// Back to the state after load: one bridge at index 0 (chip mode 1, default
// texts), every bridge closed, no faults, empty records, no transfer delay,
// every chip's registers and EDID at power-on values. Call it at the start of
// each test for isolation.
CH347_API void Reset();

// ---- Bridges --------------------------------------------------------------

struct BridgeInfo {
    int chipMode = 1;                               // 0-3; 3 is not an SPI mode
    std::string description = kDefaultDescription;  // FuncDescStr, at most 63 bytes are kept
    std::string product = kDefaultProduct;          // ProductString
    std::string manufacturer = kDefaultManufacturer;
    std::uint8_t driverVersion = 0x31;
    std::uint8_t libraryVersion = 0x22;
    std::uint8_t deviceRelease = 0x41;
    std::uint8_t chipType = 0x47;
    // Hands out the full 64 bytes of FuncDescStr without a terminating NUL (a
    // misbehaving driver); lets tests check that callers bound their reads.
    bool unterminatedDescription = false;
};

// Plugs in (or replaces) a bridge. Its record and chip are kept.
CH347_API bool AddBridge(unsigned long index, const BridgeInfo& info = {});
CH347_API bool AddBridge(unsigned long index, int chipMode, const std::string& description);
// Unplugs a bridge: it closes, later calls on the index fail.
CH347_API bool RemoveBridge(unsigned long index);
CH347_API void RemoveAllBridges();
CH347_API bool HasBridge(unsigned long index);
CH347_API bool SetChipMode(unsigned long index, int chipMode);

// ---- Faults ---------------------------------------------------------------

enum class Fault {
    OpenRefused,       // CH347OpenDevice returns CH347_INVALID_HANDLE
    CloseRefused,      // CH347CloseDevice returns 0, the bridge stays open
    WriteRefused,      // CH347SPI_Write returns 0, nothing reaches the chip
    ReadRefused,       // CH347SPI_Read returns 0, buffer untouched
    BadReplyCrc,       // the chip's next replies carry a wrong CRC (status and value right)
    WrongReplyStatus,  // the chip's next replies carry status = command + 2 (CRC right)
};

inline constexpr int kAlways = -1;

// Arms a fault for the next `count` calls of its kind on the bridge (count
// kAlways: until cleared; 0: disarm). BadReplyCrc and WrongReplyStatus count
// requests the chip answers. Arming again replaces the count.
CH347_API bool InjectFault(unsigned long index, Fault fault, int count = 1);
CH347_API void ClearFaults(unsigned long index);

// ---- What a bridge was given ----------------------------------------------

// The lists of a record keep the latest kRecordLimit entries each (older ones
// are dropped, so a simulator left running keeps a flat footprint); the
// counters count every call.
inline constexpr std::size_t kRecordLimit = 16384;

struct BridgeRecord {
    bool present = false;
    bool open = false;
    int openCalls = 0;  // CH347OpenDevice calls, including refused ones and absent bridges
    int closeCalls = 0;
    int infoCalls = 0;
    int versionCalls = 0;
    int initCalls = 0;
    int writeCalls = 0;  // CH347SPI_Write calls, including refused ones
    int readCalls = 0;

    bool configured = false;                // CH347SPI_Init was called
    std::array<std::uint8_t, 20> config{};  // the last configuration given to CH347SPI_Init
    bool frequencySet = false;
    std::uint32_t frequencyHz = 0;  // last CH347SPI_SetFrequency
    bool dataBitsSet = false;
    std::uint8_t dataBits = 0;  // last CH347SPI_SetDataBits
    bool timeoutsSet = false;
    std::uint32_t writeTimeout = 0;  // last CH347SetTimeout, milliseconds
    std::uint32_t readTimeout = 0;

    // The latest kRecordLimit entries of each, oldest first:
    std::vector<std::uint8_t>
        chipSelects;  // chip-select byte of every transfer on the open bridge (writes and reads, refused ones too)
    std::vector<std::uint32_t> writeSteps;  // write step of every CH347SPI_Write
    std::vector<std::vector<std::uint8_t>>
        writes;                              // bytes of every accepted CH347SPI_Write (and of a read's send phase)
    std::vector<std::uint32_t> readLengths;  // requested length of every accepted CH347SPI_Read

    int requests = 0;          // requests the chip parsed and answered with command + 1
    int rejectedRequests = 0;  // requests answered with a wrong status because they could not be parsed
    int lostReplies = 0;       // replies replaced by a new request before they were read
};

// A copy of the bridge's record, taken under the simulator's lock.
CH347_API BridgeRecord Inspect(unsigned long index);
// Empties the record's counters and lists; configuration, frequency, data
// bits and time-outs stay.
CH347_API void ClearRecord(unsigned long index);

// Shortcuts into Inspect().
CH347_API mSpiCfgS GetSpiConfig(unsigned long index);
CH347_API std::uint32_t GetFrequency(unsigned long index);
CH347_API std::uint8_t GetDataBits(unsigned long index);
CH347_API std::vector<std::uint8_t> GetChipSelects(unsigned long index);
CH347_API std::vector<std::vector<std::uint8_t>> GetWrites(unsigned long index);
CH347_API bool IsOpen(unsigned long index);

// Every transfer on the bridge first sleeps this long, outside the
// simulator's lock: widens the window in which unsynchronised callers
// would interleave.
CH347_API void SetTransferDelay(unsigned long index, std::chrono::microseconds delay);

// ---- The chip -------------------------------------------------------------

// Register values of the chip behind bridge `index`, in the space of the
// command pair `command` belongs to (0x0400 and 0x4000 both name the
// picture-quality space, and so on). No side effects: reading 0x5F or 0x8A
// does not advance the EDID port. Registers never written read 0. In the
// 0x0600 and 0x0700 spaces values are 8 bits wide. False / 0 for an unknown
// command word or index.
CH347_API bool SetRegister(unsigned long index, unsigned short command, unsigned int address, unsigned int value);
CH347_API unsigned int GetRegister(unsigned long index, unsigned short command, unsigned int address);
CH347_API bool HasRegister(unsigned long index, unsigned short command, unsigned int address);

// The chip's 256-byte EDID.
CH347_API std::array<std::uint8_t, 256> GetEdid(unsigned long index);
CH347_API bool SetEdid(unsigned long index, const std::array<std::uint8_t, 256>& edid);
// The EDID every chip starts with.
CH347_API std::array<std::uint8_t, 256> DefaultEdid();

// The power-on value of a picture-quality register (0 for one not listed).
CH347_API unsigned int PowerOnValue(unsigned int address);

// ---- The chip kept in a file (--sim-image) ---------------------------------
//
// AttachImage locks FILE for this process, then loads the register spaces and
// the EDID of the chip behind bridge 0 from it; a missing FILE is created at
// once from the chip's present (power-on) state. DetachImage writes the chip
// back when anything differs from what was loaded, then unlocks. Writes go to
// a temporary file beside FILE that is renamed over it, so FILE is always
// either the old or the new image.
//
// The lock is an flock() on "FILE.lock" (left in place: removing it would
// race with a waiting process). A second process waits up to kImageLockWait
// for it, then fails. A file that is not an image, or whose sum is wrong, is
// refused and left as it is.
//
// Format (text, ASCII, LF line ends):
//   TUNEDESK-SIM-IMAGE 1                 magic and version, the first line
//   # ...                                comments, anywhere
//   edid <512 hex digits>                the 256 EDID bytes, exactly once
//   reg <space> <address> <value>        space 0400, 0200, 0600 or 0700;
//                                        address and value 8 hex digits;
//                                        each register at most once
//   sum <8 hex digits>                   the last line: FNV-1a (32 bit) of
//                                        every byte before this line
// Hex digits are upper case. Registers not listed read 0.
inline constexpr const char* kImageMagic = "TUNEDESK-SIM-IMAGE 1";
inline constexpr std::chrono::seconds kImageLockWait{10};

// The path is followed through symlinks first: a link and its target share
// one image and one lock. An image the user may not write (a read-only
// mount, a file without write permission) is used read-only: it is locked
// through a read-only descriptor, and DetachImage refuses to store changes.
// Only a regular file of at most kImageMaxBytes whose first line is the magic
// is read at all.
inline constexpr std::size_t kImageMaxBytes = 4u << 20;

// How long AttachImage waits for another program's lock (kImageLockWait
// unless set), and a function told once, with a one-line text, that it waits.
CH347_API void SetImageLockWait(std::chrono::milliseconds wait, void (*waiting)(const std::string& text) = nullptr);

// Why the latest AttachImage failed.
enum class ImageFailure { None, Refused, InUse };
CH347_API ImageFailure LastImageFailure();

// False with a one-line reason; nothing is attached then.
CH347_API bool AttachImage(const std::string& path, std::string* error = nullptr);
// True when nothing is attached or the image is stored; the lock is released
// either way.
CH347_API bool DetachImage(std::string* error = nullptr);
// Writes the chip to the attached image now when anything differs from what
// the file holds, and keeps the image attached (a program that runs for long
// stores at points where nothing should be lost). True when nothing is
// attached or the image is stored.
CH347_API bool StoreImage(std::string* error = nullptr);

}  // namespace sim
