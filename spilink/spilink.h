// SPI link library: the panel's only contact with the USB-to-SPI bridge.
// Enumerates bridges, opens one and configures its SPI port, carries SPI
// writes and reads, closes. It knows nothing of packets or registers; its
// diagnostics go to the debug trace channel only.
#pragma once

#include <list>
#include <string>

#if defined(__GNUC__)
#define SPILINK_API __attribute__((visibility("default")))
#else
#define SPILINK_API
#endif

// SPI configuration record, one field per settings key. The initial values
// are the settings file's defaults.
struct _UI_SPI_CONFIG {
    int SpiMode = 1;      // 0-3
    int SpiClock = 4;     // option 0 "60MHz" ... 7 "468.75KHz"
    int ByteOrder = 1;    // 0 LSB first, 1 MSB first (also the packet byte order)
    int CS1Polarity = 0;  // 0 active low, 1 active high
    int CS2Polarity = 0;
    int InOutInterval = 0;     // microseconds, low 16 bits used
    int CSEnable = 1;          // non-zero: the bridge drives a chip select
    int CSChipIndex = 0;       // 0 CS1, 1 CS2
    int ActiveRwDelay = 0;     // microseconds, low 16 bits used
    int DeactiveRwDelay = 0;   // microseconds, low 16 bits used
    int CSActive = 0;          // 0 "CS Active", 1 "CS Deactive"; low 16 bits used
    int FreqEnable = 0;        // non-zero: clock from Frequency/FreqUnit
    std::u16string Frequency;  // decimal text, may have a fraction ("12.5")
    int FreqUnit = 0;          // 0 MHz, 1 KHz
    int DataBits = 0;          // 0 8 bits, 1 16 bits
};

// Appends "<index># <description>" for every SPI-capable bridge found at
// indexes 0-15 (the list is not cleared); returns the number appended.
// Every index is opened and closed again, also one the panel holds open.
SPILINK_API unsigned long libComm_EnumDevice(std::list<std::u16string>& names);
// 1: opened (the SPI configuration is applied, its outcome only traced); 0: not.
SPILINK_API int libComm_OpenDevice(unsigned long index, const _UI_SPI_CONFIG& config);
// Applies the record to the bridge's SPI port; non-zero on success.
SPILINK_API int libComm_InitSpi(unsigned long index, const _UI_SPI_CONFIG& config);
// chipSelect non-zero: the transfer asserts the configured chip select.
SPILINK_API int libComm_WriteSpiData(int index, int chipSelect, int length, unsigned char* buffer);
SPILINK_API int libComm_ReadSpiData(int index, int chipSelect, unsigned long length, unsigned char* buffer);
// 1: closed; 0: the bridge refused, the open state stays.
SPILINK_API int libComm_CloseDevice(unsigned long index);
// The library-wide open flag: 1 after a successful open until a successful close.
SPILINK_API int libComm_GetDeviceOpenState();
