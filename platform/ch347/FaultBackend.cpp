#include "FaultBackend.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace ch347 {
namespace {

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

std::vector<std::string> SplitOn(const std::string& text, char sep) {
    std::vector<std::string> out(1);
    for (char c : text) {
        if (c == sep)
            out.emplace_back();
        else
            out.back().push_back(c);
    }
    return out;
}

}  // namespace

bool ParseFaultPlan(const std::string& text, FaultPlan& plan, std::string* error) {
    FaultPlan parsed;
    bool rateGiven = false;
    for (const std::string& item : SplitOn(text, ',')) {
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos) return Fail(error, "\"" + item + "\" is not key=value");
        const std::string key = item.substr(0, eq), value = item.substr(eq + 1);
        char* end = nullptr;
        if (key == "rate") {
            parsed.rate = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(parsed.rate >= 0.0 && parsed.rate <= 1.0))
                return Fail(error, "rate \"" + value + "\" is not a number from 0 to 1");
            rateGiven = true;
        } else if (key == "seed") {
            parsed.seed = std::strtoull(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || value[0] == '-')
                return Fail(error, "seed \"" + value + "\" is not a decimal number");
        } else if (key == "kinds") {
            parsed.flip = parsed.shortRead = parsed.refuseWrite = parsed.refuseRead = false;
            for (const std::string& kind : SplitOn(value, '+')) {
                if (kind == "flip")
                    parsed.flip = true;
                else if (kind == "short")
                    parsed.shortRead = true;
                else if (kind == "write")
                    parsed.refuseWrite = true;
                else if (kind == "read")
                    parsed.refuseRead = true;
                else
                    return Fail(error, "unknown fault kind \"" + kind + "\" (use flip, short, write, read)");
            }
        } else {
            return Fail(error, "unknown key \"" + key + "\" (use seed, rate, kinds)");
        }
    }
    if (!rateGiven) return Fail(error, "no rate given (e.g. seed=42,rate=0.01)");
    plan = parsed;
    return true;
}

FaultBackend::FaultBackend(std::shared_ptr<Backend> inner, const FaultPlan& plan)
    : m_inner(inner ? std::move(inner) : SimulatedBackend()), m_plan(plan), m_random(plan.seed) {}

FaultBackend::Counts FaultBackend::GetCounts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counts;
}

FaultBackend::Kind FaultBackend::Draw(bool read, std::uint64_t& where) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_counts.transfers;
    // Three draws per transfer whatever happens, so the sequence of one
    // transfer's fate does not depend on the other transfers' kinds.
    const double chance = std::uniform_real_distribution<double>(0.0, 1.0)(m_random);
    const std::uint64_t pick = m_random();
    where = m_random();
    if (chance >= m_plan.rate) return Kind::None;
    Kind kinds[3];
    std::size_t n = 0;
    if (read) {
        if (m_plan.flip) kinds[n++] = Kind::Flip;
        if (m_plan.shortRead) kinds[n++] = Kind::Short;
        if (m_plan.refuseRead) kinds[n++] = Kind::RefuseRead;
    } else if (m_plan.refuseWrite) {
        kinds[n++] = Kind::RefuseWrite;
    }
    if (n == 0) return Kind::None;
    const Kind kind = kinds[pick % n];
    switch (kind) {
    case Kind::Flip: ++m_counts.flips; break;
    case Kind::Short: ++m_counts.shortReads; break;
    case Kind::RefuseWrite: ++m_counts.refusedWrites; break;
    case Kind::RefuseRead: ++m_counts.refusedReads; break;
    case Kind::None: break;
    }
    return kind;
}

int FaultBackend::SpiWrite(unsigned long index, std::uint32_t chipSelect, std::uint32_t length, std::uint32_t writeStep,
                           std::uint8_t* buffer) {
    std::uint64_t where = 0;
    if (Draw(false, where) == Kind::RefuseWrite) return 0;
    return m_inner->SpiWrite(index, chipSelect, length, writeStep, buffer);
}

int FaultBackend::SpiRead(unsigned long index, std::uint32_t chipSelect, std::uint32_t sendLength,
                          std::uint32_t& length, std::uint8_t* buffer) {
    std::uint64_t where = 0;
    const Kind kind = Draw(true, where);
    if (kind == Kind::RefuseRead) return 0;
    if (kind != Kind::Short) {
        const int rc = m_inner->SpiRead(index, chipSelect, sendLength, length, buffer);
        if (rc && kind == Kind::Flip && length > 0) {
            const std::uint64_t bit = where % (std::uint64_t{length} * 8);
            buffer[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        }
        return rc;
    }
    // A short read: the bridge delivers fewer bytes; the rest of the caller's
    // buffer keeps what it held before the call.
    const std::uint32_t asked = length;
    std::vector<std::uint8_t> before(buffer && asked ? buffer : nullptr, buffer && asked ? buffer + asked : nullptr);
    const int rc = m_inner->SpiRead(index, chipSelect, sendLength, length, buffer);
    if (rc && length > 0) {
        const std::uint32_t delivered = static_cast<std::uint32_t>(where % length);
        std::memcpy(buffer + delivered, before.data() + delivered, length - delivered);
        length = delivered;
    }
    return rc;
}

bool InstalledFaultCounts(FaultCounts& counts) {
    const auto faults = std::dynamic_pointer_cast<FaultBackend>(GetBackend());
    if (!faults) return false;
    counts = faults->GetCounts();
    return true;
}

bool InstallFaults(const std::string& text, std::string* error) {
    if (text.empty()) return true;
    FaultPlan plan;
    if (!ParseFaultPlan(text, plan, error)) return false;
    try {
        SetBackend(std::make_shared<FaultBackend>(GetBackend(), plan));
    } catch (...) {
        return Fail(error, "out of memory");
    }
    return true;
}

}  // namespace ch347
