// Local-time texts, a millisecond sleep, and bit fields inside word bit
// arrays (bit n in word n / 32 at position n % 32).
#pragma once

#include <ctime>
#include <functional>
#include <string>

#include "UtilcoreApi.h"

// Blocks the calling thread for at least `ms` milliseconds; 0 returns at once.
UTILCORE_API void WexSleep(unsigned int ms);

// `format` filled printf-style with year, month, day, hour, minute, second of
// the local time, e.g. u"%04d-%02d-%02d %02d:%02d:%02d". Conversions other
// than integers get nothing to read past: see StrFormatInts.
UTILCORE_API std::u16string GetDateTime(const std::u16string& format);
// "HH:MM:SS" and "HH:MM:SS:mmm" of the local time.
UTILCORE_API std::u16string GetHourMinSec();
UTILCORE_API std::u16string GetHourMinSecMillisecs();
// "Jan".."Dec" for 1..12, empty otherwise.
UTILCORE_API std::u16string GetMonthStr(int month);

// Bit-field helpers. They only set bits (bitwise OR): clear the field in the
// destination before storing, zero the destination before reading. A count
// of 0 or less, a negative start bit or a null array does nothing. The
// integer forms handle at most 32 bits of the field.
UTILCORE_API void GetValueFromBuffer(const unsigned int* src, int start, int count, int& value);
UTILCORE_API void GetValueFromBuffer(const unsigned int* src, int start, int count, unsigned int* dst);
UTILCORE_API void SetBufferValue(int value, int count, int start, unsigned int* dst);
UTILCORE_API void SetBufferValue(const unsigned int* src, int count, int start, unsigned int* dst);

// Test seams; shipped code never calls them, and without them the helpers
// read the real clock and sleep as above.
// The time texts (and the file log's file names) read `fixed` local time and
// `millis` instead of the clock; null goes back to the clock.
UTILCORE_API void SetLocalTimeForTest(const std::tm* fixed, int millis = 0);
// Called with every WexSleep's time, on the sleeping thread, before it
// sleeps; an empty function removes it. Returns the previous one.
using SleepObserver = std::function<void(unsigned int ms)>;
UTILCORE_API SleepObserver SetSleepObserverForTest(SleepObserver observer);
