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
bool ParseFaultPlan(const std::string& text, FaultPlan& plan, std::string* error = nullptr);

// What a FaultBackend has done so far.
struct FaultCounts {
    std::uint64_t transfers = 0;  // SPI writes and reads seen
    std::uint64_t flips = 0;
    std::uint64_t shortReads = 0;
    std::uint64_t refusedWrites = 0;
    std::uint64_t refusedReads = 0;
};

class FaultBackend final : public ForwardingBackend {
public:
    FaultBackend(std::shared_ptr<Backend> inner, const FaultPlan& plan);

    using Counts = FaultCounts;
    Counts GetCounts() const;
    const std::shared_ptr<Backend>& Inner() const { return m_inner; }

    int SpiWrite(unsigned long index, std::uint32_t chipSelect, std::uint32_t length, std::uint32_t writeStep,
                 std::uint8_t* buffer) override;
    int SpiRead(unsigned long index, std::uint32_t chipSelect, std::uint32_t sendLength, std::uint32_t& length,
                std::uint8_t* buffer) override;

protected:
    Backend& Target() override { return *m_inner; }

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
// The counts of the FaultBackend installed now (the outermost backend);
// false when none is.
CH347_API bool InstalledFaultCounts(FaultCounts& counts);

}  // namespace ch347
