// Register protocol: request packets of 16-bit words closed by a CRC-16/XMODEM
// word, and the CRC check of the chip's replies. Pure functions, no state.
#pragma once

#if defined(__GNUC__)
#define REGFRAME_API __attribute__((visibility("default")))
#else
#define REGFRAME_API
#endif

// Largest number of values one block write request can carry: the request's
// words (header included) are assembled in a 256-word working area.
inline constexpr unsigned int kRegframeMaxBlockValues = 126;
// Longest request in bytes (a block write of 126 values).
inline constexpr unsigned int kRegframeMaxPacketBytes = 4 * kRegframeMaxBlockValues + 10;

REGFRAME_API unsigned short libPro_CalcCrc(unsigned char* data, unsigned short length);
REGFRAME_API bool libPro_CheckCrc(unsigned char* data, unsigned short length, unsigned short& calculated,
                                  unsigned short& received, bool littleEndian);

REGFRAME_API int libPro_GetRegisterValuePack(unsigned int address, unsigned char* buffer, bool littleEndian,
                                             unsigned short command);
REGFRAME_API int libPro_SetRegisterValuePack(unsigned int address, unsigned int value, unsigned char* buffer,
                                             bool littleEndian, unsigned short command);
// Block write, command 0x4000. More than 126 values: returns 0, writes nothing.
REGFRAME_API int libPro_SetRegisterValuePack(unsigned int address, unsigned int* values, unsigned int count,
                                             unsigned char* buffer, bool littleEndian);

REGFRAME_API int libPro_GetVividiOnOffStatePack(unsigned char* buffer, bool littleEndian);
REGFRAME_API int libPro_GetVividiRangePack(unsigned char* buffer, bool littleEndian);
REGFRAME_API int libPro_GetVividiValuePack(unsigned char* buffer, bool littleEndian);
REGFRAME_API int libPro_VividiOnOffPack(unsigned int current, int on, unsigned char* buffer, bool littleEndian);
REGFRAME_API int libPro_SetVividiRangePack(unsigned int current, unsigned int range, unsigned char* buffer,
                                           bool littleEndian);
REGFRAME_API int libPro_SetVividiIntensityPack(int intensity, unsigned char* buffer, bool littleEndian);
