// Feeds arbitrary text to the parsing helpers of utilcore. Output arrays are
// allocated at exactly the size their contract promises, so the address
// sanitizer catches any write past it; a few properties are checked on top.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FuzzText.h"
#include "utilcore.h"

namespace {

// Digits, separators, blanks and suffixes.
std::u16string TakeText(FuzzedDataProvider& fdp) {
    return TakeText(fdp, u"0123456789abcdefABCDEFxX,= \t\r\n.kKMmunU-+", 256);
}

std::u16string TakeSeparator(FuzzedDataProvider& fdp) {
    switch (fdp.ConsumeIntegralInRange<int>(0, 4)) {
    case 0: return u",";
    case 1: return u" ";
    case 2: return u"=";
    case 3: return u"";
    default: return TakeText(fdp).substr(0, 3);
    }
}

void FuzzHexStr2Int(FuzzedDataProvider& fdp) {
    const int bits = fdp.ConsumeIntegralInRange<int>(-8, 2048);
    const std::u16string text = TakeText(fdp);
    const size_t words = bits > 0 ? static_cast<size_t>((bits - 1) / 32 + 1) : 1;
    auto out = std::make_unique<unsigned int[]>(words);
    int count = -7;
    const int ok = HexStr2Int(text, bits, out.get(), &count);
    if (text.empty() || bits <= 0) {
        Check(ok == 0 && count == -7);
        return;
    }
    Check(count == static_cast<int>(words));
    // Nothing above the bit count.
    if (bits % 32) Check((out[words - 1] >> (bits % 32)) == 0);
}

void FuzzSpilt(FuzzedDataProvider& fdp) {
    const std::u16string text = TakeText(fdp);
    const std::u16string sep = TakeSeparator(fdp);
    const bool trim = fdp.ConsumeBool();
    std::vector<std::u16string> fields;
    std::list<std::u16string> items;
    Spilt(text, sep, fields, trim);
    Spilt(text, sep, items, trim);
    Check(!fields.empty() && !items.empty());
    Check(fields.size() == items.size() || fields.size() == items.size() + 1);
    if (!trim && !sep.empty()) {
        // Without trimming the fields joined with the separator give the text back.
        std::u16string joined;
        for (size_t i = 0; i < fields.size(); ++i) joined += (i ? sep : u"") + fields[i];
        Check(joined == text);
    }
}

void FuzzGetKeyValue(FuzzedDataProvider& fdp) {
    std::list<std::u16string> lines;
    const int n = fdp.ConsumeIntegralInRange<int>(0, 8);
    for (int i = 0; i < n; ++i) lines.push_back(TakeText(fdp));
    std::map<std::u16string, std::u16string> out;
    const bool ok = GetKeyValue(lines, out, TakeSeparator(fdp));
    if (ok) Check(!out.empty());
}

void FuzzBinary(FuzzedDataProvider& fdp) {
    const int bits = fdp.ConsumeIntegralInRange<int>(-8, 1024);
    const std::u16string text = TakeText(fdp);
    int value = 0;
    BinaryStr2Int(text, bits, value);
    const size_t words = bits > 0 ? static_cast<size_t>((bits - 1) / 32 + 1) : 1;
    auto out = std::make_unique<unsigned int[]>(words);
    BinaryStr2Int(text, bits, out.get());

    std::u16string hex;
    const int wide = BinaryStr2HexStr(text, hex);
    Check(wide == (text.empty() ? 0 : 1));
    Check(hex.size() <= (text.size() + 3) / 4);

    std::string narrow;
    for (char16_t c : text) narrow.push_back(static_cast<char>(c));
    if (narrow.find('\0') != std::string::npos) narrow.resize(narrow.find('\0'));
    auto buffer = std::make_unique<char[]>((narrow.size() + 3) / 4 + 1);
    if (BinaryStr2HexStr(narrow.c_str(), buffer.get())) Check(std::strlen(buffer.get()) == (narrow.size() + 3) / 4);
}

void FuzzNumbers(FuzzedDataProvider& fdp) {
    const std::u16string text = TakeText(fdp);
    int i = 0;
    double d = 0;
    Check(GetIntegerValue(text, i) == 1);
    Check(GetDoubleValue(text, d) == 1);
    TrimEndZero(text);
    IsOctDigits(text);
    HasChineseChar(text);
    HasHexPrefix(text);
    const int maxBytes = fdp.ConsumeIntegralInRange<int>(-2, 64);
    auto bytes = std::make_unique<unsigned char[]>(maxBytes > 0 ? static_cast<size_t>(maxBytes) : 1);
    HexStr2HexChar(text, maxBytes, bytes.get());
    std::u16string back;
    HexChar2HexStr(bytes.get(), maxBytes, back);
}

void FuzzText(FuzzedDataProvider& fdp) {
    const std::u16string text = TakeText(fdp);
    // Narrow -> wide -> narrow keeps valid narrow text as it was.
    std::string narrow;
    if (CString2Ansi(text, narrow)) {
        std::string again;
        Check(CString2Ansi(Ansi2CString(narrow), again) == 1 && again == narrow);
        const size_t room = fdp.ConsumeIntegralInRange<size_t>(0, 64);
        auto buffer = std::make_unique<char[]>(room ? room : 1);
        const int ok = CString2Ansi(text, buffer.get(), room);
        Check(ok == (room > narrow.size() ? 1 : 0));
    }
    const std::string raw = fdp.ConsumeRandomLengthString(64);
    Ansi2CString(raw);

    // The date/time formatter takes formats from callers: any format is safe.
    const int values[6] = {2024, 3, 5, 14, 7, 9};
    StrFormatInts(text.c_str(), values, 6);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    switch (fdp.ConsumeIntegralInRange<int>(0, 6)) {
    case 0: FuzzHexStr2Int(fdp); break;
    case 1: FuzzSpilt(fdp); break;
    case 2: FuzzGetKeyValue(fdp); break;
    case 3: FuzzBinary(fdp); break;
    case 4: FuzzNumbers(fdp); break;
    default: FuzzText(fdp); break;
    }
    return 0;
}
