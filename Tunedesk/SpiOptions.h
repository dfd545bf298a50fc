// Option tables of the SPI settings: the one source of their display texts.
// A stored setting is an index into its table (index 0 is the first entry).
#pragma once

#include <string>

// Table access: returns the table's entry count; when `entries` is not null it
// receives read-only access to the first of them. The tables live for the
// whole process and never change.
int GetSpiModeArray(const std::u16string** entries = nullptr);       // "Mode0" ... "Mode3"
int GetSpiClockArray(const std::u16string** entries = nullptr);      // "60MHz" ... "468.75KHz"
int GetSpiByteOrderArray(const std::u16string** entries = nullptr);  // "LSB", "MSB"
int GetSpiCS1PolarArray(const std::u16string** entries = nullptr);   // "CS1 POLA_LOW", "CS1 POLA_HIGH"
int GetSpiCS2PolarArray(const std::u16string** entries = nullptr);   // "CS2 POLA_LOW", "CS2 POLA_HIGH"
int GetSpiCSArray(const std::u16string** entries = nullptr);         // "CS1", "CS2"
int GetSpiCSActiveArray(const std::u16string** entries = nullptr);   // "CS Active", "CS Deactive"
int GetSpiDataBitsArray(const std::u16string** entries = nullptr);   // "8bit", "16bit"
int GetSpiFreqUnitArray(const std::u16string** entries = nullptr);   // "MHz", "KHz"

// Name lookups: a copy of the entry for 0 <= index < count, else "".
std::u16string GetSpiModeName(int index);
std::u16string GetSpiClockName(int index);
std::u16string GetSpiByteOrderName(int index);
std::u16string GetSpiCS1PolarName(int index);
std::u16string GetSpiCS2PolarName(int index);
std::u16string GetSpiCSName(int index);
std::u16string GetSpiDataBitsName(int index);
std::u16string GetSpiFreqUnitName(int index);
