// The simulated chip behind a simulated bridge: the register protocol as the
// chip speaks it on SPI, its register spaces and its EDID. Knows nothing of the
// bridge; SimBridge.cpp hands it the bytes of each SPI write and read.
// Not thread-safe by itself: the bridge serialises access.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "CH347DLL.h"

namespace ch347 {

// The register space a command word reaches; both words of a pair reach the same one.
enum class Space { PictureQuality, Plain, EdidPort, EdidWindow };
std::optional<Space> SpaceOf(std::uint16_t command);

// The model of the USB bridge firmware puts the same chip behind its SPI port
// (it links ch347_wire, not the shipped library).
class SimChip {
public:
    SimChip();

    // Registers and EDID back to their power-on values, nothing pending.
    void PowerOn();

    // Faults the bridge may ask for on the reply to one request.
    struct ReplyFaults {
        bool badCrc = false;
        bool wrongStatus = false;
    };

    // One request as clocked in by an SPI write. Returns true when it was
    // parsed and carried out; either way a reply is pending afterwards.
    // *lostReply is set when an unread reply was replaced.
    bool Request(const std::uint8_t* data, std::size_t length, ReplyFaults faults, bool* lostReply);

    // Clocks `length` bytes out to the host: the pending reply, then 0xFF.
    // The reply is consumed by the read.
    void Reply(std::uint8_t* out, std::size_t length);

    // Direct register access for the control interface, without side effects.
    bool Set(std::uint16_t command, std::uint32_t address, std::uint32_t value);
    std::optional<std::uint32_t> Get(std::uint16_t command, std::uint32_t address) const;
    bool Has(std::uint16_t command, std::uint32_t address) const;

    const std::array<std::uint8_t, 256>& Edid() const { return m_edid; }
    void SetEdid(const std::array<std::uint8_t, 256>& edid) { m_edid = edid; }

    // What the chip keeps between power cycles of the simulator (--sim-image):
    // the four register spaces and the EDID. Transfers in flight (FIFOs, an
    // unread reply) are not part of it; Restore empties them.
    struct State {
        std::map<std::uint32_t, std::uint32_t> pq, plain, port, window;
        std::array<std::uint8_t, 256> edid{};
        bool operator==(const State&) const = default;
    };
    State Snapshot() const;
    void Restore(const State& state);

    static std::array<std::uint8_t, 256> DefaultEdid();
    static std::uint32_t PowerOnValue(std::uint32_t address);

private:
    using RegisterMap = std::map<std::uint32_t, std::uint32_t>;

    RegisterMap& Registers(Space space);
    const RegisterMap& Registers(Space space) const;
    std::uint32_t ReadRegister(Space space, std::uint32_t address);
    void WriteRegister(Space space, std::uint32_t address, std::uint32_t value);
    void EdidPortWrite(std::uint32_t address, std::uint8_t value);
    std::uint8_t EdidPortRead(std::uint32_t address);
    void EdidWindowWrite(std::uint32_t address, std::uint8_t value);
    void MakeReply(bool littleEndian, std::uint16_t status, const std::uint32_t* value, bool badCrc);

    RegisterMap m_pq, m_plain, m_port, m_window;
    std::array<std::uint8_t, 256> m_edid{};

    // EDID port state (sequence A).
    std::vector<std::uint8_t> m_writeFifo;
    std::vector<std::uint8_t> m_readFifo;
    std::size_t m_readPos = 0;
    std::uint8_t m_ddcClock = 0;

    std::vector<std::uint8_t> m_reply;
};

// The chip behind simulated bridge `index`, taken and replaced under the
// simulator's lock (SimBridge.cpp). False for an index outside 0-15.
bool SnapshotChip(unsigned long index, SimChip::State& out);
bool RestoreChip(unsigned long index, const SimChip::State& state);

}  // namespace ch347
