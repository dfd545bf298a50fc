// Feeds arbitrary bytes to the decoding of the bridge's answers: the frame
// decoder on its own, the configuration read-back, and UsbBackend reading
// through a device whose IN transfers are the fuzzer's bytes. Buffers are
// sized exactly, so the address sanitizer sees any access past them.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "UsbBackend.h"
#include "UsbProtocol.h"

namespace {

using namespace ch347;

void Check(bool condition) {
    if (!condition) std::abort();
}

// A bridge whose every IN transfer is the next piece of the input.
class FuzzHandle final : public UsbHandle {
public:
    explicit FuzzHandle(FuzzedDataProvider& fdp) : fdp_(fdp) {}
    UsbError DetachKernelDriver(int, bool& detached) override {
        detached = false;
        return UsbError::None;
    }
    UsbError AttachKernelDriver(int) override { return UsbError::None; }
    UsbError ClaimInterface(int) override { return UsbError::None; }
    UsbError ReleaseInterface(int) override { return UsbError::None; }
    UsbError BulkOut(std::uint8_t, const std::uint8_t*, std::size_t, unsigned int) override {
        return fdp_.remaining_bytes() > 0 ? UsbError::None : UsbError::NoDevice;
    }
    UsbError BulkIn(std::uint8_t, std::uint8_t* data, std::size_t capacity, std::size_t& received,
                    unsigned int) override {
        received = 0;
        if (fdp_.remaining_bytes() == 0) return UsbError::Timeout;
        const std::vector<std::uint8_t> piece =
            fdp_.ConsumeBytes<std::uint8_t>(fdp_.ConsumeIntegralInRange<std::size_t>(0, capacity));
        std::memcpy(data, piece.data(), piece.size());
        received = piece.size();
        return UsbError::None;
    }
    UsbError BulkPhase(std::uint8_t epOut, const std::vector<std::vector<std::uint8_t>>& out, std::uint8_t epIn,
                       std::size_t inTransfers, std::vector<std::uint8_t>& in, std::size_t& outSent,
                       unsigned int writeTimeoutMs, unsigned int readTimeoutMs) override {
        outSent = 0;
        for (const std::vector<std::uint8_t>& frame : out) {
            const UsbError e = BulkOut(epOut, frame.data(), frame.size(), writeTimeoutMs);
            if (e != UsbError::None) return e;
            ++outSent;
        }
        for (std::size_t i = 0; i < inTransfers; ++i) {
            std::uint8_t buffer[kPhaseInBytes];
            std::size_t got = 0;
            const UsbError e = BulkIn(epIn, buffer, sizeof buffer, got, readTimeoutMs);
            if (e != UsbError::None) return e;
            in.insert(in.end(), buffer, buffer + got);
        }
        return UsbError::None;
    }

private:
    FuzzedDataProvider& fdp_;
};

class FuzzTransport final : public UsbTransport {
public:
    explicit FuzzTransport(FuzzedDataProvider& fdp) : fdp_(fdp) {}
    std::vector<UsbDeviceInfo> List(std::uint16_t) override {
        UsbDeviceInfo d;
        d.bus = 1;
        d.ports = {1};
        d.vendorId = kVendorId;
        d.productId = kPidCh347tMode1;
        d.interfaces = {{2, 0x06, 0x86}};
        return {d};
    }
    UsbError Open(const UsbDeviceInfo&, std::unique_ptr<UsbHandle>& handle) override {
        handle = std::make_unique<FuzzHandle>(fdp_);
        return UsbError::None;
    }

private:
    FuzzedDataProvider& fdp_;
};

void DecodeStream(FuzzedDataProvider& fdp) {
    const std::uint8_t command = fdp.ConsumeIntegral<std::uint8_t>();
    const std::size_t minPayload = fdp.ConsumeIntegralInRange<std::size_t>(0, 600);
    const std::size_t maxPayload = fdp.ConsumeIntegralInRange<std::size_t>(0, 600);
    const std::vector<std::uint8_t> bytes =
        fdp.ConsumeBytes<std::uint8_t>(fdp.ConsumeIntegralInRange<std::size_t>(0, 2048));
    std::size_t at = 0;
    while (at < bytes.size()) {
        const Answer a = DecodeAnswer(bytes.data() + at, bytes.size() - at, command, minPayload, maxPayload);
        if (a.status != AnswerStatus::Complete) break;
        Check(a.frameBytes == kHeaderBytes + a.payloadBytes && a.frameBytes <= bytes.size() - at);
        Check(a.payloadBytes >= minPayload && a.payloadBytes <= maxPayload);
        if (a.payloadBytes == kSpiInitPayloadBytes) {
            mSpiCfgS cfg{};
            bool sixteen = false;
            if (ParseSpiConfigPayload(a.payload, a.payloadBytes, cfg, &sixteen)) {
                Check(cfg.iMode <= 3 && cfg.iClock <= kSlowestClockOption && cfg.iByteOrder <= 1);
                // What the bridge reports builds the same payload again, up to the fixed fields.
                SpiInitPayload again;
                Check(BuildSpiInitPayload(cfg, cfg.iClock, sixteen, again));
            }
        }
        at += a.frameBytes;
    }
}

void ReadThroughBackend(FuzzedDataProvider& fdp) {
    UsbBackend backend(std::make_shared<FuzzTransport>(fdp));
    if (backend.OpenDevice(0) == CH347_INVALID_HANDLE) return;
    while (fdp.remaining_bytes() > 0) {
        switch (fdp.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: {
            const std::uint32_t wanted = fdp.ConsumeIntegralInRange<std::uint32_t>(0, 1500);
            std::vector<std::uint8_t> buffer(wanted);
            std::uint32_t length = wanted;
            backend.SpiRead(0, fdp.ConsumeBool() ? 0x80 : 0, 0, length, buffer.data());
            Check(length <= wanted);
            break;
        }
        case 1: {
            mSpiCfgS cfg{};
            backend.SpiGetCfg(0, cfg);
            break;
        }
        default: {
            std::vector<std::uint8_t> data(fdp.ConsumeIntegralInRange<std::size_t>(0, 1100), 0x5A);
            backend.SpiWrite(0, 0x80, static_cast<std::uint32_t>(data.size()), 512, data.data());
            break;
        }
        }
    }
    backend.CloseDevice(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider fdp(data, size);
    if (fdp.ConsumeBool())
        DecodeStream(fdp);
    else
        ReadThroughBackend(fdp);
    return 0;
}
