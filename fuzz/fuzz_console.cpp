// Feeds arbitrary text to the register console's field parsers (addresses,
// data words, CMD words, EDID text). Every refusal must come with exactly one
// message (except an empty EDID field), every accepted field must give the
// values its text spells, and the console's own EDID text must parse back.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <list>
#include <string>
#include <vector>

#include "Convert.h"
#include "FuzzText.h"
#include "SpiReadWriteOps.h"

namespace {

std::u16string TakeText(FuzzedDataProvider& fdp) {
    return TakeText(fdp, u"0123456789abcdefABCDEFxX, \t\r\n\v%sg", 300);
}

// The value of lower-case hex text with an optional "0x", at most 8 digits.
unsigned int HexValue(const std::u16string& text) {
    unsigned int v = 0;
    for (size_t i = text.rfind(u'x') == 1 ? 2 : 0; i < text.size(); ++i)
        v = v * 16 + static_cast<unsigned int>(text[i] <= u'9' ? text[i] - u'0' : text[i] - u'a' + 10);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    int messages = 0;
    const spirw::Notify notify = [&](const std::u16string& text) {
        Check(!text.empty());
        ++messages;
    };

    switch (fdp.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: {
        const auto field = static_cast<spirw::Field>(fdp.ConsumeIntegralInRange<int>(0, 2));
        const std::u16string text = TakeText(fdp);
        std::list<unsigned int> values{7u};
        const bool ok = spirw::ParseHexList(text, field, values, notify);
        Check(ok ? messages == 0 : messages == 1);
        if (!ok) break;
        // One value per comma-separated field, appended after what was there.
        std::vector<std::u16string> fields;
        Spilt(spirw::TrimLower(text), u",", fields, false);
        Check(values.size() == fields.size() + 1 && values.front() == 7u);
        auto it = std::next(values.begin());
        for (const std::u16string& f : fields) Check(*it++ == HexValue(spirw::TrimLower(f)));
        break;
    }
    case 1: {
        spirw::CmdChoice choice;
        choice.index = fdp.ConsumeIntegralInRange<int>(-2, 6);
        choice.readBack = fdp.ConsumeBool();
        choice.otherText = TakeText(fdp);
        unsigned short cmd = 0;
        const bool ok = spirw::GetCmdValue(choice, fdp.ConsumeBool(), cmd, notify);
        Check(ok ? messages == 0 : messages == 1);
        break;
    }
    case 2: {
        const std::u16string text = TakeText(fdp);
        std::vector<unsigned char> bytes;
        unsigned int count = 0;
        const bool ok = spirw::ParseEdidData(text, bytes, count, notify);
        if (ok)
            Check(messages == 0 && count == bytes.size() && count > 0);
        else
            Check(messages == (spirw::TrimLower(text).empty() ? 0 : 1));
        break;
    }
    default: {
        // The console shows an EDID read as text and writes that text back.
        std::vector<unsigned int> values;
        while (values.size() < spirw::kEdidSize && fdp.remaining_bytes() > 0)
            values.push_back(fdp.ConsumeIntegral<uint8_t>());
        if (values.empty()) break;
        const std::u16string text = spirw::FormatEdidText(values.data(), static_cast<unsigned int>(values.size()));
        std::vector<unsigned char> bytes;
        unsigned int count = 0;
        Check(spirw::ParseEdidData(text, bytes, count, notify) && messages == 0);
        Check(count == values.size());
        for (size_t i = 0; i < values.size(); ++i) Check(bytes[i] == values[i]);
        break;
    }
    }
    return 0;
}
