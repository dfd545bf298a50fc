// Helpers the fuzz targets share.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdlib>
#include <string>

// A property that must hold; libFuzzer reports the abort with the input.
inline void Check(bool condition) {
    if (!condition) std::abort();
}

// Up to maxLength 16-bit units. Half the time they come from `alphabet` (the
// characters the code under test gives a meaning to), so the interesting
// cases are reached quickly; else any units.
template <std::size_t N>
std::u16string TakeText(FuzzedDataProvider& fdp, const char16_t (&alphabet)[N], std::size_t maxLength) {
    const bool small = fdp.ConsumeBool();
    const std::size_t length = fdp.ConsumeIntegralInRange<std::size_t>(0, maxLength);
    std::u16string text;
    for (std::size_t i = 0; i < length && fdp.remaining_bytes() > 0; ++i) {
        if (small)
            text.push_back(alphabet[fdp.ConsumeIntegralInRange<std::size_t>(0, N - 2)]);
        else
            text.push_back(fdp.ConsumeIntegral<char16_t>());
    }
    return text;
}
