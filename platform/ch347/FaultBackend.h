// Seeded fault injection around any backend: the answers of the bridge it
// wraps get a flipped bit, arrive short, or reads and writes are refused, at a
// given rate and reproducibly from a seed. For soak runs and tests of the
// layers above; selected with --faults SETTINGS or TUNEDESK_FAULTS.
//
// SETTINGS: comma-separated key=value pairs
//   rate=R          chance per SPI transfer (write or read) of a fault, 0..1 (required)
//   seed=N          seed of the fault sequence, decimal (default 1)
//   kinds=K[+K...]  which faults: flip (one bit of a read's answer), short
//                   (a read delivers fewer bytes than asked), write (a write
//                   is refused, nothing reaches the chip), read (a read is
//                   refused); default all four
// e.g. "seed=42,rate=0.01" or "rate=0.05,kinds=flip+short".
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>

#include "Ch347Backend.h"

namespace ch347 {

struct FaultPlan {
    std::uint64_t seed = 1;
    double rate = 0;
    bool flip = true;
    bool shortRead = true;
    bool refuseWrite = true;
    bool refuseRead = true;
};

// False with a one-line reason in *error when the text is not such settings.
CH347_API bool ParseFaultPlan(const std::string& text, FaultPlan& plan, std::string* error = nullptr);

class CH347_API FaultBackend final : public Backend {
public:
    FaultBackend(std::shared_ptr<Backend> inner, const FaultPlan& plan);

    struct Counts {
        std::uint64_t transfers = 0;  // SPI writes and reads seen
        std::uint64_t flips = 0;
        std::uint64_t shortReads = 0;
        std::uint64_t refusedWrites = 0;
        std::uint64_t refusedReads = 0;
    };
    Counts GetCounts() const;
    const std::shared_ptr<Backend>& Inner() const { return m_inner; }

    CH347_HANDLE OpenDevice(unsigned long index) override { return m_inner->OpenDevice(index); }
    int CloseDevice(unsigned long index) override { return m_inner->CloseDevice(index); }
    int GetDeviceInfor(unsigned long index, mDeviceInforS& info) override {
        return m_inner->GetDeviceInfor(index, info);
    }
    int GetVersion(unsigned long index, std::uint8_t& driverVersion, std::uint8_t& libraryVersion,
                   std::uint8_t& deviceRelease, std::uint8_t& chipType) override {
        return m_inner->GetVersion(index, driverVersion, libraryVersion, deviceRelease, chipType);
    }
    int SetTimeout(unsigned long index, std::uint32_t writeTimeout, std::uint32_t readTimeout) override {
        return m_inner->SetTimeout(index, writeTimeout, readTimeout);
    }
    int SpiSetFrequency(unsigned long index, std::uint32_t hz) override { return m_inner->SpiSetFrequency(index, hz); }
    int SpiSetDataBits(unsigned long index, std::uint8_t dataBits) override {
        return m_inner->SpiSetDataBits(index, dataBits);
    }
    int SpiInit(unsigned long index, const mSpiCfgS& config) override { return m_inner->SpiInit(index, config); }
    int SpiGetCfg(unsigned long index, mSpiCfgS& config) override { return m_inner->SpiGetCfg(index, config); }
    int SpiWrite(unsigned long index, std::uint32_t chipSelect, std::uint32_t length, std::uint32_t writeStep,
                 std::uint8_t* buffer) override;
    int SpiRead(unsigned long index, std::uint32_t chipSelect, std::uint32_t sendLength, std::uint32_t& length,
                std::uint8_t* buffer) override;
    std::vector<std::string> Problems() override { return m_inner->Problems(); }

private:
    enum class Kind { None, Flip, Short, RefuseWrite, RefuseRead };
    // The fault for the next transfer and, for a flip or short read, a
    // number to place it with; one draw sequence for all threads.
    Kind Draw(bool read, std::uint64_t& where);

    std::shared_ptr<Backend> m_inner;
    FaultPlan m_plan;
    mutable std::mutex m_mutex;
    std::mt19937_64 m_random;
    Counts m_counts;
};

// Parses SETTINGS and wraps the backend installed now (GetBackend()) in a
// FaultBackend. Empty settings change nothing. False with a one-line reason.
CH347_API bool InstallFaults(const std::string& text, std::string* error = nullptr);

}  // namespace ch347
