#include "SpiOptions.h"

namespace {

// Function-local tables: usable from any static initialiser, built once.
template <size_t N>
int Hand(const std::u16string (&table)[N], const std::u16string** entries) {
    if (entries) *entries = table;
    return static_cast<int>(N);
}

std::u16string NameAt(int (*getTable)(const std::u16string**), int index) {
    const std::u16string* entries = nullptr;
    int count = getTable(&entries);
    return (index >= 0 && index < count) ? entries[index] : std::u16string();
}

}  // namespace

int GetSpiModeArray(const std::u16string** entries) {
    static const std::u16string SpiModeArray[] = {u"Mode0", u"Mode1", u"Mode2", u"Mode3"};
    return Hand(SpiModeArray, entries);
}

int GetSpiClockArray(const std::u16string** entries) {
    // The bridge's clock options halve from 60 MHz down.
    static const std::u16string SpiClockArray[] = {u"60MHz",   u"30MHz",    u"15MHz",    u"7.5MHz",
                                                   u"3.75MHz", u"1.875MHz", u"937.5KHz", u"468.75KHz"};
    return Hand(SpiClockArray, entries);
}

int GetSpiByteOrderArray(const std::u16string** entries) {
    static const std::u16string SpiByteOrderArray[] = {u"LSB", u"MSB"};
    return Hand(SpiByteOrderArray, entries);
}

int GetSpiCS1PolarArray(const std::u16string** entries) {
    static const std::u16string SpiCS1PolarArray[] = {u"CS1 POLA_LOW", u"CS1 POLA_HIGH"};
    return Hand(SpiCS1PolarArray, entries);
}

int GetSpiCS2PolarArray(const std::u16string** entries) {
    static const std::u16string SpiCS2PolarArray[] = {u"CS2 POLA_LOW", u"CS2 POLA_HIGH"};
    return Hand(SpiCS2PolarArray, entries);
}

int GetSpiCSArray(const std::u16string** entries) {
    static const std::u16string SpiCSArray[] = {u"CS1", u"CS2"};
    return Hand(SpiCSArray, entries);
}

int GetSpiCSActiveArray(const std::u16string** entries) {
    static const std::u16string SpiCSActiveArray[] = {u"CS Active", u"CS Deactive"};
    return Hand(SpiCSActiveArray, entries);
}

int GetSpiDataBitsArray(const std::u16string** entries) {
    static const std::u16string SpiDataBitsArray[] = {u"8bit", u"16bit"};
    return Hand(SpiDataBitsArray, entries);
}

int GetSpiFreqUnitArray(const std::u16string** entries) {
    static const std::u16string SpiFreqUnitArray[] = {u"MHz", u"KHz"};
    return Hand(SpiFreqUnitArray, entries);
}

std::u16string GetSpiModeName(int index) { return NameAt(GetSpiModeArray, index); }
std::u16string GetSpiClockName(int index) { return NameAt(GetSpiClockArray, index); }
std::u16string GetSpiByteOrderName(int index) { return NameAt(GetSpiByteOrderArray, index); }
std::u16string GetSpiCS1PolarName(int index) { return NameAt(GetSpiCS1PolarArray, index); }
std::u16string GetSpiCS2PolarName(int index) { return NameAt(GetSpiCS2PolarArray, index); }
std::u16string GetSpiCSName(int index) { return NameAt(GetSpiCSArray, index); }
std::u16string GetSpiDataBitsName(int index) { return NameAt(GetSpiDataBitsArray, index); }
std::u16string GetSpiFreqUnitName(int index) { return NameAt(GetSpiFreqUnitArray, index); }
