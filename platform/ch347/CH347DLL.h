// The USB-to-SPI bridge's vendor calls, as the SPI link library uses them.
//
// The vendor ships this library for another platform only; on Linux this
// stand-in offers the same calls with the same results. The calls are served by
// a backend (Ch347Backend.h): the simulated bridge and chip by default
// (Ch347Sim.h), a backend for real bridges over USB can be installed beside it.
//
// Every call takes the bridge number (0-15) first. Results follow the vendor's
// convention: non-zero for success, 0 for failure; CH347OpenDevice returns
// CH347_INVALID_HANDLE when the bridge did not open. No call throws.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__GNUC__)
#define CH347_API __attribute__((visibility("default")))
#else
#define CH347_API
#endif

// Bridges the vendor library can address.
inline constexpr unsigned long kCh347MaxDevices = 16;

// What CH347OpenDevice returns; CH347_INVALID_HANDLE means "not opened".
using CH347_HANDLE = std::intptr_t;
inline constexpr CH347_HANDLE CH347_INVALID_HANDLE = -1;

#pragma pack(push, 1)

// The bridge's SPI configuration: 20 bytes, packed, little-endian fields.
struct mSpiCfgS {
    std::uint8_t iMode;                   // 0: SPI mode 0-3
    std::uint8_t iClock;                  // 1: clock option 0 (60 MHz) ... 7 (468.75 kHz)
    std::uint8_t iByteOrder;              // 2: bit order on the wire: 0 LSB first, 1 MSB first
    std::uint16_t iSpiWriteReadInterval;  // 3: microseconds between output and input phase
    std::uint8_t iSpiOutDefaultData;      // 5: byte shifted out while reading
    std::uint32_t iChipSelect;            // 6: bit 7 set: drive a chip select; bits 0-1: which (0 CS1, 1 CS2)
    std::uint8_t CS1Polarity;             // 10: 0 active low, 1 active high
    std::uint8_t CS2Polarity;             // 11
    std::uint16_t iIsAutoDeativeCS;       // 12: automatic chip-select release after a transfer
    std::uint16_t iActiveDelay;           // 14: microseconds from chip select to the transfer
    std::uint32_t iDelayDeactive;         // 16: microseconds after releasing chip select
};
static_assert(sizeof(mSpiCfgS) == 20, "the bridge expects a 20-byte SPI configuration");
static_assert(offsetof(mSpiCfgS, iChipSelect) == 6 && offsetof(mSpiCfgS, iDelayDeactive) == 16);

// The bridge's device information record: 541 bytes. Only the fields the link
// library uses are named; the rest belongs to the vendor and is zero here.
struct mDeviceInforS {
    std::uint8_t Reserved0[327];
    std::uint8_t ChipMode;  // 327: 0-3; mode 3 has no SPI port
    std::uint8_t Reserved1[12];
    char ProductString[64];       // 340: narrow text, NUL-terminated when shorter than 64
    char ManufacturerString[64];  // 404
    std::uint8_t Reserved2[8];
    char FuncDescStr[64];  // 476: the interface's function description
    std::uint8_t Reserved3[1];
};
static_assert(sizeof(mDeviceInforS) == 541, "the vendor's device information record is 541 bytes");
static_assert(offsetof(mDeviceInforS, ChipMode) == 327 && offsetof(mDeviceInforS, ProductString) == 340 &&
              offsetof(mDeviceInforS, ManufacturerString) == 404 && offsetof(mDeviceInforS, FuncDescStr) == 476);

#pragma pack(pop)

extern "C" {

CH347_API CH347_HANDLE CH347OpenDevice(unsigned long index);
CH347_API int CH347CloseDevice(unsigned long index);
// Fills the whole record (541 bytes) of an opened bridge.
CH347_API int CH347GetDeviceInfor(unsigned long index, mDeviceInforS* info);
CH347_API int CH347GetVersion(unsigned long index, std::uint8_t* driverVersion, std::uint8_t* libraryVersion,
                              std::uint8_t* deviceRelease, std::uint8_t* chipType);
// Time-outs of a USB write and read, milliseconds.
CH347_API int CH347SetTimeout(unsigned long index, std::uint32_t writeTimeout, std::uint32_t readTimeout);
// 0 Hz: the clock comes from iClock of the configuration.
CH347_API int CH347SPI_SetFrequency(unsigned long index, std::uint32_t hz);
// 0: 8-bit words, 1: 16-bit words.
CH347_API int CH347SPI_SetDataBits(unsigned long index, std::uint8_t dataBits);
CH347_API int CH347SPI_Init(unsigned long index, mSpiCfgS* config);
CH347_API int CH347SPI_GetCfg(unsigned long index, mSpiCfgS* config);
// chipSelect: 0x80 asserts the configured chip select around the transfer, 0x00 leaves it alone.
// The bytes are sent in USB packets of at most writeStep bytes.
CH347_API int CH347SPI_Write(unsigned long index, std::uint32_t chipSelect, std::uint32_t length,
                             std::uint32_t writeStep, void* buffer);
// Sends sendLength bytes from buffer first (0: none), then reads *length bytes into buffer;
// *length receives the number of bytes read.
CH347_API int CH347SPI_Read(unsigned long index, std::uint32_t chipSelect, std::uint32_t sendLength,
                            std::uint32_t* length, void* buffer);

}  // extern "C"
