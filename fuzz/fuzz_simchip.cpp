// Feeds arbitrary SPI writes to the simulated chip, with reads of any length
// between them. The chip must never read or write outside the request, must
// always leave a reply pending, and a request it carried out must have had a
// correct word count and CRC.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzText.h"
#include "SimChip.h"
#include "regframe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    static ch347::SimChip chip;
    chip.PowerOn();
    while (fdp.remaining_bytes() > 0) {
        // Exactly as many bytes as the request has, so the address sanitizer
        // sees any read past it.
        const std::vector<uint8_t> request = fdp.ConsumeBytes<uint8_t>(fdp.ConsumeIntegralInRange<size_t>(0, 80));
        ch347::SimChip::ReplyFaults faults;
        faults.badCrc = fdp.ConsumeBool();
        faults.wrongStatus = fdp.ConsumeBool();
        bool lost = false;
        const bool done = chip.Request(request.data(), request.size(), faults, &lost);
        if (done) {
            Check(request.size() >= 10);
            const bool le = request[0] != 0;
            const unsigned count = le ? request[0] : request[1];
            const size_t crcAt = 2u * count + 2u;
            Check(request.size() >= crcAt + 2);
            std::vector<uint8_t> copy(request.begin(), request.begin() + static_cast<std::ptrdiff_t>(crcAt));
            const unsigned short crc = libPro_CalcCrc(copy.data(), static_cast<unsigned short>(crcAt));
            const unsigned short sent = le ? static_cast<unsigned short>(request[crcAt] | request[crcAt + 1] << 8)
                                           : static_cast<unsigned short>(request[crcAt] << 8 | request[crcAt + 1]);
            Check(crc == sent);
        }
        // A reply of 4 or 8 bytes is pending whatever the request was.
        const size_t length = fdp.ConsumeIntegralInRange<size_t>(0, 16);
        std::vector<uint8_t> reply(length ? length : 1);
        chip.Reply(reply.data(), length);
        std::vector<uint8_t> again(8);
        chip.Reply(again.data(), again.size());
        for (uint8_t b : again) Check(b == 0xFF);
    }
    return 0;
}
