#include "UsbBackend.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <optional>
#include <tuple>

#include "UsbProtocol.h"
#include "trace.h"

namespace ch347 {

const char* UsbErrorName(UsbError error) {
    switch (error) {
    case UsbError::None: return "no error";
    case UsbError::AccessDenied: return "access denied";
    case UsbError::Busy: return "busy";
    case UsbError::NoDevice: return "no device";
    case UsbError::Timeout: return "time-out";
    case UsbError::Other: return "USB error";
    }
    return "USB error";
}

namespace {

// The one switch between the two ways of driving a bridge. Each SPI transfer
// (chip select, data frames, release, and the answers to them) is one phase
// whose USB transfers are submitted together and waited for once: a register
// transaction waits on the host twice instead of eight times, with the same
// frames on the wire in the same order. Hardware that disagrees (one that
// wants each frame's answer taken before the next frame arrives) is driven
// one transfer at a time, each waited for, with TUNEDESK_USB_SYNC=1.
bool PhasesTogether() {
    const char* sync = std::getenv("TUNEDESK_USB_SYNC");
    return sync == nullptr || std::string(sync) != "1";
}

// What CH347GetVersion reports besides the device release: there is no
// vendor driver underneath (0), and this library's own version.
constexpr std::uint8_t kDriverVersion = 0x00;
constexpr std::uint8_t kLibraryVersion = 0x01;

// One IN transfer: a frame is at most 510 bytes, so it always ends in a short
// packet within one 512-byte high-speed packet.
constexpr std::size_t kInTransferBytes = 512;
// An answer that never grows (zero-length packets only) is given up after this many.
constexpr int kMaxEmptyTransfers = 3;
// After a malformed or late answer, what is still queued on the IN endpoint
// is read away, so the next call starts on a clean stream: every frame a
// failed read still owed, plus a few. The time-out covers one full frame at
// the slowest clock (507 bytes at 468.75 kHz take 8.7 ms).
constexpr unsigned int kDrainTimeoutMs = 20;
constexpr int kMaxDrainTransfers = 4;

std::string PortPath(const UsbDeviceInfo& device) {
    std::string path;
    for (std::uint8_t port : device.ports) {
        if (!path.empty()) path += '.';
        path += std::to_string(port);
    }
    return path.empty() ? "0" : path;
}

// "CH347T (1a86:55db) at bus 1 port 1.4": which bridge a problem is about.
std::string BridgeName(const char* chipName, const UsbDeviceInfo& device) {
    char id[16];
    std::snprintf(id, sizeof id, "%04x:%04x", device.vendorId, device.productId);
    return std::string(chipName) + " (" + id + ") at bus " + std::to_string(device.bus) + " port " + PortPath(device);
}

bool ScanOrder(const UsbDeviceInfo& a, const UsbDeviceInfo& b) {
    return std::tie(a.bus, a.ports) < std::tie(b.bus, b.ports);
}

// Where it is plugged in, what it is, its serial number where it has one,
// and which scan first saw it: a bridge plugged in again (a new address) is a
// new bridge, even at the same port.
std::string Identity(const UsbDeviceInfo& device, std::uint64_t plug) {
    char id[16];
    std::snprintf(id, sizeof id, "%04x:%04x", device.vendorId, device.productId);
    return std::string("usb bus ") + std::to_string(device.bus) + " port " + PortPath(device) + " " + id +
           " serial \"" + device.serial + "\" plug " + std::to_string(plug);
}

bool SameDevice(const UsbDeviceInfo& a, const UsbDeviceInfo& b) {
    return a.bus == b.bus && a.ports == b.ports && a.address == b.address && a.productId == b.productId;
}

void CopyText(char* field, std::size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

}  // namespace

struct UsbBackend::Bridge {
    Bridge(const UsbDeviceInfo& device, const BridgeKind& bridgeKind, std::uint64_t plug, bool phasesTogether)
        : usb(device),
          kind(bridgeKind),
          where("bus " + std::to_string(device.bus) + " port " + PortPath(device)),
          description(std::string(bridgeKind.chipName) + (bridgeKind.spiInterface >= 0 ? " SPI" : " JTAG") +
                      " bridge, " + where),
          identity(Identity(device, plug)),
          phases(phasesTogether) {}

    ~Bridge() {
        std::lock_guard<std::mutex> lock(mutex);
        Shut();
    }

    const UsbDeviceInfo usb;
    const BridgeKind kind;
    const std::string where;               // "bus 1 port 1.4": tells identical bridges apart
    const std::string description;         // the record's function description
    const std::string identity;            // BridgeIdentity(): this bridge while it stays plugged in
    const bool phases;                     // each transfer's frames submitted together (PhasesTogether)
    std::optional<BridgeProblem> problem;  // why the last open failed; guarded by the backend's mutex

    std::mutex mutex;  // one call at a time on this bridge; guards everything below
    bool open = false;
    bool gone = false;  // unplugged while open: every transfer fails at once
    // Stopped answering, and a resynchronisation did not help: every call
    // fails at once until the bridge is closed and opened again.
    bool failed = false;
    bool failureUnreported = false;  // TakeFailureNotice has not told of `failed` yet
    bool timedOut = false;           // a transfer of the current call ran into its time-out
    int heldLine = -1;               // the chip select asserted and not released since; -1: none
    std::unique_ptr<UsbHandle> handle;
    bool detached = false;  // a kernel driver held the interface and gets it back on close
    std::uint8_t epOut = 0, epIn = 0;
    unsigned int writeTimeout = kDefaultTimeoutMs, readTimeout = kDefaultTimeoutMs;
    std::uint32_t hz = 0;
    std::uint8_t dataBits = 0;
    mSpiCfgS config{};                // the last configuration the bridge accepted
    std::vector<std::uint8_t> inbox;  // received bytes not yet taken as a frame

    bool SpiReady() const { return open && handle && !gone && !failed; }

    UsbError Open(UsbTransport* transport) {
        // Mode 3 carries JTAG on that interface: nothing to take from anyone.
        if (kind.spiInterface < 0) {
            open = true;
            return UsbError::None;
        }
        const auto iface = std::find_if(usb.interfaces.begin(), usb.interfaces.end(),
                                        [&](const UsbInterfaceInfo& i) { return i.number == kind.spiInterface; });
        if (!transport || iface == usb.interfaces.end() || iface->bulkOut == 0 || iface->bulkIn == 0)
            return UsbError::Other;
        std::unique_ptr<UsbHandle> h;
        UsbError e = transport->Open(usb, h);
        if (e != UsbError::None) return e;
        bool wasDetached = false;
        e = h->DetachKernelDriver(kind.spiInterface, wasDetached);
        if (e != UsbError::None) return e;
        e = h->ClaimInterface(kind.spiInterface);
        if (e != UsbError::None) {
            if (wasDetached) h->AttachKernelDriver(kind.spiInterface);
            return e;
        }
        handle = std::move(h);
        detached = wasDetached;
        epOut = iface->bulkOut;
        epIn = iface->bulkIn;
        open = true;
        gone = false;
        failed = failureUnreported = false;
        inbox.clear();
        return UsbError::None;
    }

    void Shut() {
        if (handle && !gone) {
            handle->ReleaseInterface(kind.spiInterface);
            if (detached) handle->AttachKernelDriver(kind.spiInterface);
        }
        handle.reset();
        open = false;
        detached = false;
        failed = failureUnreported = false;
        inbox.clear();
    }

    bool Note(UsbError e) {
        if (e == UsbError::NoDevice) gone = true;
        if (e == UsbError::Timeout) timedOut = true;
        return e == UsbError::None;
    }

    bool Send(const Frame& frame) {
        if (frame.empty()) return false;
        return Note(handle->BulkOut(epOut, frame.data(), frame.size(), writeTimeout));
    }

    // The next frame answering `command`, its payload copied to `payload`
    // (room for maxPayload bytes).
    bool Receive(std::uint8_t command, std::size_t minPayload, std::size_t maxPayload, std::uint8_t* payload,
                 std::size_t& length) {
        int empty = 0;
        for (;;) {
            const Answer a = DecodeAnswer(inbox.data(), inbox.size(), command, minPayload, maxPayload);
            if (a.status == AnswerStatus::Complete) {
                std::memcpy(payload, a.payload, a.payloadBytes);
                length = a.payloadBytes;
                inbox.erase(inbox.begin(), inbox.begin() + static_cast<std::ptrdiff_t>(a.frameBytes));
                return true;
            }
            if (a.status != AnswerStatus::NeedMore) {
                TD_TRACEF("%s: bad answer to 0x%02X (%s) \r\n", where.c_str(), command,
                          a.status == AnswerStatus::WrongCommand ? "wrong command byte" : "wrong length");
                return false;
            }
            const std::size_t old = inbox.size();
            inbox.resize(old + kInTransferBytes);
            std::size_t got = 0;
            const UsbError e = handle->BulkIn(epIn, inbox.data() + old, kInTransferBytes, got, readTimeout);
            inbox.resize(old + std::min(got, kInTransferBytes));
            if (!Note(e)) {
                TD_TRACEF("%s: no answer to 0x%02X (%s) \r\n", where.c_str(), command, UsbErrorName(e));
                return false;
            }
            if (got == 0 && ++empty >= kMaxEmptyTransfers) return false;
        }
    }

    bool WriteData(const std::uint8_t* data, std::size_t length, std::size_t step) {
        for (std::size_t done = 0; done < length;) {
            const std::size_t n = std::min(step, length - done);
            std::uint8_t status[1] = {0xFF};
            std::size_t got = 0;
            if (!Send(WriteFrame(data + done, n)) || !Receive(kCmdSpiWrite, 1, 1, status, got) || status[0] != 0)
                return false;
            done += n;
        }
        return true;
    }

    // Bit 7 of iChipSelect only says that a line is driven; the low bits say which.
    int SelectedLine() const { return (config.iChipSelect & 0x7F) == 1 ? 1 : 0; }

    Frame SelectFrame(int line, bool assert) const {
        // The frame has 16 bits for the delay: a longer one waits as long as
        // the frame can say rather than wrapping round to a short one.
        const std::uint32_t requested = config.iDelayDeactive;  // a packed field: no reference to it
        const auto deactiveDelay = static_cast<std::uint16_t>(std::min<std::uint32_t>(requested, 0xFFFF));
        return ChipSelectFrame(line, assert, config.iActiveDelay, deactiveDelay);
    }

    bool ChipSelect(bool assert) {
        const int line = SelectedLine();
        if (!Send(SelectFrame(line, assert))) return false;
        heldLine = assert ? line : -1;
        return true;
    }

    // A bridge that stopped answering in the middle of a transfer left its
    // chip select asserted; the chip would take the next request as the
    // tail of the broken one.
    void ReleaseHeldChipSelect() {
        if (heldLine >= 0 && Send(ChipSelectFrame(heldLine, false, 0, 0))) heldLine = -1;
    }

    // The end of a transfer: a failure is recovered from, and the chip
    // select, when the transfer did not release it, is released even after a
    // failure so the chip does not stay selected -- after a time-out only once
    // the bridge answers again. False when the release failed.
    bool Finish(bool ok, bool select, bool released, std::size_t owedBytes = 0) {
        if (!ok || !released) Recover(owedBytes);
        if (!released && select && SpiReady()) released = ChipSelect(false);
        return released || !select;
    }

    // One transfer, frame after frame, each waited for (the switch
    // TUNEDESK_USB_SYNC). Returns whether the chip select was released.
    bool WriteOneByOne(bool select, const std::uint8_t* data, std::size_t length, std::size_t step, bool& ok) {
        ok = !select || ChipSelect(true);
        if (ok) ok = WriteData(data, length, step);
        return select && !gone && !timedOut ? ChipSelect(false) : !select;
    }

    // One transfer as one phase: the chip select, the data frames (`body`)
    // and the release are submitted together with the IN transfers for the
    // `answers` frames expected, and waited for once; the answers land in
    // the inbox. Returns whether the chip select was released.
    bool WriteAsPhase(bool select, std::vector<Frame> body, std::size_t answers, bool& ok) {
        if (body.empty() && answers == 0 && !select) {
            ok = true;
            return true;
        }
        std::vector<Frame> frames;
        frames.reserve(body.size() + 2);
        const int line = SelectedLine();
        if (select) frames.push_back(SelectFrame(line, true));
        for (Frame& frame : body) frames.push_back(std::move(frame));
        if (select) frames.push_back(SelectFrame(line, false));
        std::size_t sent = 0;
        std::vector<std::uint8_t> in;
        ok = Note(handle->BulkPhase(epOut, frames, epIn, answers, in, sent, writeTimeout, readTimeout));
        inbox.insert(inbox.end(), in.begin(), in.end());
        if (select && sent > 0) heldLine = line;
        const bool released = !select || sent == frames.size();
        if (select && released) heldLine = -1;
        return released;
    }

    // The 0xC4 frames of `length` bytes in steps of `step`.
    static std::vector<Frame> WriteFrames(const std::uint8_t* data, std::size_t length, std::size_t step) {
        std::vector<Frame> frames;
        for (std::size_t done = 0; done < length; done += std::min(step, length - done))
            frames.push_back(WriteFrame(data + done, std::min(step, length - done)));
        return frames;
    }

    // The status answers of `count` 0xC4 frames.
    bool TakeWriteAnswers(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            std::uint8_t status[1] = {0xFF};
            std::size_t got = 0;
            if (!Receive(kCmdSpiWrite, 1, 1, status, got) || status[0] != 0) return false;
        }
        return true;
    }

    // The 0xC3 frames answering a read of `wanted` bytes; `got` counts what arrived.
    bool TakeReadAnswers(std::uint8_t* buffer, std::uint32_t wanted, std::uint32_t& got) {
        bool ok = true;
        while (ok && got < wanted) {
            std::size_t n = 0;
            const std::size_t room = std::min<std::size_t>(kMaxDataPerFrame, wanted - got);
            ok = Receive(kCmdSpiRead, 1, room, buffer + got, n);
            got += static_cast<std::uint32_t>(n);
        }
        return ok;
    }

    // After a failed call, the stream on the IN endpoint is put back in step
    // for the next one. A time-out costs the caller one more wait at most:
    // one resynchronisation, and when that fails too the bridge is failed.
    // Otherwise (a malformed answer) whatever the bridge still owes is read
    // away.
    void Recover(std::size_t owedBytes = 0) {
        inbox.clear();
        if (timedOut) {
            Resync();
            return;
        }
        std::uint8_t scratch[kInTransferBytes];
        const int limit = kMaxDrainTransfers + static_cast<int>((owedBytes + kMaxDataPerFrame - 1) / kMaxDataPerFrame);
        for (int i = 0; i < limit && SpiReady(); ++i) {
            std::size_t got = 0;
            const UsbError e = handle->BulkIn(epIn, scratch, sizeof scratch, got, kDrainTimeoutMs);
            if (e == UsbError::NoDevice) gone = true;
            if (e != UsbError::None) break;
        }
    }

    // Asks for the SPI configuration, whose answer (CA 1A 00 and 26 bytes)
    // is known, and throws away everything before it, all within one read
    // time-out. False, with the bridge failed, when no answer came.
    bool Resync() {
        timedOut = false;
        inbox.clear();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeout);
        if (Send(InfoRequestFrame(kInfoSpiConfig))) {
            std::vector<std::uint8_t> seen;
            std::uint8_t chunk[kInTransferBytes];
            for (;;) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                        .count();
                if (left <= 0) break;
                std::size_t got = 0;
                if (!Note(handle->BulkIn(epIn, chunk, sizeof chunk, got, static_cast<unsigned int>(left)))) break;
                seen.insert(seen.end(), chunk, chunk + std::min(got, sizeof chunk));
                if (EndsInConfigAnswer(seen)) {
                    timedOut = false;
                    return true;
                }
            }
        }
        timedOut = false;
        if (!gone) {
            failed = failureUnreported = true;
            TD_TRACEF("%s: stopped answering; every call fails until it is opened again \r\n", where.c_str());
        }
        return false;
    }

    // The answer to 0xCA 01 is the last thing the bridge sent.
    static bool EndsInConfigAnswer(const std::vector<std::uint8_t>& seen) {
        constexpr std::size_t kFrame = kHeaderBytes + kSpiInitPayloadBytes;
        if (seen.size() < kFrame) return false;
        const std::uint8_t* at = seen.data() + seen.size() - kFrame;
        return DecodeAnswer(at, kFrame, kCmdInfo, kSpiInitPayloadBytes, kSpiInitPayloadBytes).status ==
               AnswerStatus::Complete;
    }
};

UsbBackend::UsbBackend(std::shared_ptr<UsbTransport> transport)
    : m_transport(std::move(transport)), m_phasesTogether(PhasesTogether()) {}

UsbBackend::~UsbBackend() = default;

std::size_t UsbBackend::Rescan() {
    std::vector<std::pair<UsbDeviceInfo, BridgeKind>> found;
    std::vector<BridgeProblem> unusable;
    std::vector<BridgeProblem> jtagOnly;
    if (m_transport) {
        for (UsbDeviceInfo& device : m_transport->List(kVendorId)) {
            BridgeKind kind{};
            if (device.vendorId != kVendorId) continue;
            if (KindOfProduct(device.productId, kind)) {
                if (kind.spiInterface < 0)
                    jtagOnly.push_back(
                        {BridgeProblem::Kind::NoSpiMode, BridgeName(kind.chipName, device), "mode 3 (JTAG)"});
                found.emplace_back(std::move(device), kind);
            } else if (device.productId == kPidCh347tMode0 || device.productId == kPidCh347tMode2) {
                // Plugged in, but in a mode without an SPI port we drive: worth
                // telling, since the list stays empty otherwise.
                const bool serial = device.productId == kPidCh347tMode0;
                unusable.push_back({BridgeProblem::Kind::NoSpiMode, BridgeName("CH347T", device),
                                    serial ? "mode 0 (two serial ports)" : "mode 2 (HID)"});
            }
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return ScanOrder(a.first, b.first); });
    if (found.size() > kCh347MaxDevices) found.resize(kCh347MaxDevices);
    const std::size_t withSpi = static_cast<std::size_t>(
        std::count_if(found.begin(), found.end(), [](const auto& f) { return f.second.spiInterface >= 0; }));
    // The link library hides a bridge in mode 3; when it is all there is,
    // the list would be empty with no word of why.
    if (withSpi == 0) unusable.insert(unusable.end(), jtagOnly.begin(), jtagOnly.end());

    std::array<std::shared_ptr<Bridge>, kCh347MaxDevices> next;
    std::vector<std::shared_ptr<Bridge>> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // A bridge still plugged in keeps its index; new ones take the free
        // indexes in scan order.
        std::vector<bool> placed(found.size(), false);
        for (std::size_t slot = 0; slot < m_bridges.size(); ++slot) {
            for (std::size_t i = 0; i < found.size() && m_bridges[slot]; ++i) {
                if (!placed[i] && SameDevice(m_bridges[slot]->usb, found[i].first)) {
                    next[slot] = std::move(m_bridges[slot]);
                    placed[i] = true;
                }
            }
        }
        // A slot that a bridge left in this scan is not given to another
        // bridge in the same scan (unless every other slot is taken): a
        // caller that held the old bridge there must not find a new one.
        std::array<bool, kCh347MaxDevices> left{};
        for (std::size_t slot = 0; slot < m_bridges.size(); ++slot) left[slot] = m_bridges[slot] != nullptr;
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (placed[i]) continue;
            std::size_t slot = 0;
            while (slot < next.size() && (next[slot] || left[slot])) ++slot;
            if (slot == next.size()) {
                slot = 0;
                while (next[slot]) ++slot;
            }
            next[slot] = std::make_shared<Bridge>(found[i].first, found[i].second, ++m_plugs, m_phasesTogether);
        }
        for (std::shared_ptr<Bridge>& old : m_bridges) {
            if (old) dropped.push_back(std::move(old));
        }
        m_bridges = std::move(next);
        m_unusable = std::move(unusable);
        m_scanned = true;
    }
    TD_TRACEF("USB bridges found: %zu \r\n", found.size());
    // Unplugged bridges close here, outside the table lock (or with the last
    // call still running on them).
    dropped.clear();
    return withSpi;
}

std::shared_ptr<UsbBackend::Bridge> UsbBackend::At(unsigned long index) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return index < m_bridges.size() ? m_bridges[index] : nullptr;
}

template <typename F>
int UsbBackend::OnBridge(unsigned long index, Need need, F&& call) {
    std::shared_ptr<Bridge> b = At(index);
    if (!b) return 0;
    std::lock_guard<std::mutex> lock(b->mutex);
    switch (need) {
    case Need::Listed: break;
    case Need::Open:
        if (!b->open) return 0;
        break;
    case Need::SpiOpen:
        if (!b->open || b->kind.spiInterface < 0) return 0;
        break;
    case Need::SpiReady:
        if (!b->SpiReady()) return 0;
        b->timedOut = false;
        break;
    }
    return call(*b);
}

void UsbBackend::SetProblem(Bridge& bridge, UsbError error) {
    std::optional<BridgeProblem> problem;
    if (error != UsbError::None) {
        problem.emplace();
        problem->bridge = BridgeName(bridge.kind.chipName, bridge.usb);
        switch (error) {
        case UsbError::AccessDenied: problem->kind = BridgeProblem::Kind::NoPermission; break;
        case UsbError::Busy: problem->kind = BridgeProblem::Kind::Busy; break;
        case UsbError::NoDevice: problem->kind = BridgeProblem::Kind::Unplugged; break;
        default: problem->kind = BridgeProblem::Kind::CannotOpen; break;
        }
        problem->detail = UsbErrorName(error);
        TD_TRACEF("%s: cannot be opened (%s) \r\n", problem->bridge.c_str(), problem->detail.c_str());
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    bridge.problem = std::move(problem);
}

CH347_HANDLE UsbBackend::OpenDevice(unsigned long index) {
    bool scan = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        scan = index == 0 || !m_scanned;
    }
    if (scan) Rescan();
    return OpenScanned(index);
}

CH347_HANDLE UsbBackend::ReopenDevice(unsigned long index) { return OpenScanned(index); }

std::string UsbBackend::BridgeIdentity(unsigned long index) {
    std::shared_ptr<Bridge> b = At(index);
    return b ? b->identity : std::string();
}

bool UsbBackend::TakeFailureNotice(unsigned long index) {
    return OnBridge(index, Need::Open, [](Bridge& b) {
               const bool notice = b.failureUnreported;
               b.failureUnreported = false;
               return notice ? 1 : 0;
           }) != 0;
}

CH347_HANDLE UsbBackend::OpenScanned(unsigned long index) {
    std::shared_ptr<Bridge> b = At(index);
    if (!b) return CH347_INVALID_HANDLE;
    UsbError e = UsbError::None;
    {
        std::lock_guard<std::mutex> lock(b->mutex);
        if (b->open && !b->gone) return static_cast<CH347_HANDLE>(index);
        if (b->open) b->Shut();
        e = b->Open(m_transport.get());
    }
    SetProblem(*b, e);
    return e == UsbError::None ? static_cast<CH347_HANDLE>(index) : CH347_INVALID_HANDLE;
}

int UsbBackend::CloseDevice(unsigned long index) {
    return OnBridge(index, Need::Listed, [](Bridge& b) {
        b.Shut();
        return 1;
    });
}

int UsbBackend::GetDeviceInfor(unsigned long index, mDeviceInforS& info) {
    return OnBridge(index, Need::Open, [&](Bridge& b) {
        std::memset(&info, 0, sizeof info);
        info.ChipMode = static_cast<std::uint8_t>(b.kind.chipMode);
        CopyText(info.ProductString, sizeof info.ProductString,
                 b.usb.product.empty() ? b.kind.chipName : b.usb.product);
        CopyText(info.ManufacturerString, sizeof info.ManufacturerString, b.usb.manufacturer);
        CopyText(info.FuncDescStr, sizeof info.FuncDescStr, b.description);
        return 1;
    });
}

int UsbBackend::GetVersion(unsigned long index, std::uint8_t& driverVersion, std::uint8_t& libraryVersion,
                           std::uint8_t& deviceRelease, std::uint8_t& chipType) {
    return OnBridge(index, Need::Open, [&](Bridge& b) {
        driverVersion = kDriverVersion;
        libraryVersion = kLibraryVersion;
        deviceRelease = static_cast<std::uint8_t>(b.usb.bcdDevice);
        chipType = b.kind.chipType;
        return 1;
    });
}

int UsbBackend::SetTimeout(unsigned long index, std::uint32_t writeTimeout, std::uint32_t readTimeout) {
    return OnBridge(index, Need::Listed, [&](Bridge& b) {
        // 0 would mean "wait for ever" to libusb: an unplugged hub could hang the caller.
        b.writeTimeout = writeTimeout ? writeTimeout : kDefaultTimeoutMs;
        b.readTimeout = readTimeout ? readTimeout : kDefaultTimeoutMs;
        return 1;
    });
}

int UsbBackend::SpiSetFrequency(unsigned long index, std::uint32_t hz) {
    return OnBridge(index, Need::SpiOpen, [&](Bridge& b) {
        b.hz = hz;  // applied by the next SpiInit
        return 1;
    });
}

int UsbBackend::SpiSetDataBits(unsigned long index, std::uint8_t dataBits) {
    return OnBridge(index, Need::SpiOpen, [&](Bridge& b) {
        if (dataBits > 1) return 0;
        b.dataBits = dataBits;  // applied by the next SpiInit
        return 1;
    });
}

int UsbBackend::SpiInit(unsigned long index, const mSpiCfgS& config) {
    return OnBridge(index, Need::SpiReady, [&](Bridge& b) {
        if (config.iClock > kSlowestClockOption) return 0;
        SpiInitPayload payload;
        if (!BuildSpiInitPayload(config, ClockOptionFor(b.hz, config.iClock), b.dataBits == 1, payload)) return 0;
        b.inbox.clear();
        std::uint8_t status[1] = {0xFF};
        std::size_t got = 0;
        if (!b.Send(EncodeFrame(kCmdSpiInit, payload.data(), payload.size())) ||
            !b.Receive(kCmdSpiInit, 1, 1, status, got) || status[0] != 0) {
            b.Recover();
            return 0;
        }
        b.config = config;
        b.ReleaseHeldChipSelect();
        return 1;
    });
}

int UsbBackend::SpiGetCfg(unsigned long index, mSpiCfgS& config) {
    return OnBridge(index, Need::SpiReady, [&](Bridge& b) {
        b.inbox.clear();
        std::uint8_t payload[kSpiInitPayloadBytes];
        std::size_t got = 0;
        mSpiCfgS reported = b.config;  // the host's fields are not the bridge's to report
        if (!b.Send(InfoRequestFrame(kInfoSpiConfig)) ||
            !b.Receive(kCmdInfo, kSpiInitPayloadBytes, kSpiInitPayloadBytes, payload, got) ||
            !ParseSpiConfigPayload(payload, got, reported, nullptr)) {
            b.Recover();
            return 0;
        }
        config = reported;
        return 1;
    });
}

int UsbBackend::SpiWrite(unsigned long index, std::uint32_t chipSelect, std::uint32_t length, std::uint32_t writeStep,
                         std::uint8_t* buffer) {
    return OnBridge(index, Need::SpiReady, [&](Bridge& b) {
        if (writeStep == 0) return 0;
        if (length == 0) return 1;  // a zero-length 0xC4 would hang the firmware
        b.inbox.clear();
        const bool select = (chipSelect & 0x80) != 0;
        const std::size_t step = std::min<std::size_t>(writeStep, kMaxDataPerFrame);
        bool ok = false;
        bool released = false;
        if (b.phases) {
            std::vector<Frame> frames = Bridge::WriteFrames(buffer, length, step);
            const std::size_t answers = frames.size();
            released = b.WriteAsPhase(select, std::move(frames), answers, ok);
            ok = ok && b.TakeWriteAnswers(answers);
        } else {
            released = b.WriteOneByOne(select, buffer, length, step, ok);
        }
        ok = b.Finish(ok, select, released) && ok;
        return ok ? 1 : 0;
    });
}

int UsbBackend::SpiRead(unsigned long index, std::uint32_t chipSelect, std::uint32_t sendLength, std::uint32_t& length,
                        std::uint8_t* buffer) {
    return OnBridge(index, Need::SpiReady, [&](Bridge& b) {
        const std::uint32_t wanted = length;
        std::uint32_t got = 0;
        b.inbox.clear();
        const bool select = (chipSelect & 0x80) != 0;
        bool ok = false;
        bool released = false;
        if (b.phases) {
            std::vector<Frame> frames = Bridge::WriteFrames(buffer, sendLength, kMaxDataPerFrame);
            const std::size_t acks = frames.size();
            if (wanted > 0) frames.push_back(ReadRequestFrame(wanted));
            const std::size_t dataFrames = (wanted + kMaxDataPerFrame - 1) / kMaxDataPerFrame;
            released = b.WriteAsPhase(select, std::move(frames), acks + dataFrames, ok);
            ok = ok && b.TakeWriteAnswers(acks) && b.TakeReadAnswers(buffer, wanted, got);
        } else {
            ok = !select || b.ChipSelect(true);
            if (ok && sendLength > 0) ok = b.WriteData(buffer, sendLength, kMaxDataPerFrame);
            if (ok && wanted > 0) ok = b.Send(ReadRequestFrame(wanted)) && b.TakeReadAnswers(buffer, wanted, got);
            released = select && !b.gone && !b.timedOut ? b.ChipSelect(false) : !select;
        }
        ok = b.Finish(ok, select, released, wanted - got) && ok;
        length = got;
        return ok ? 1 : 0;
    });
}

std::vector<BridgeProblem> UsbBackend::Problems() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<BridgeProblem> problems = m_unusable;
    for (const std::shared_ptr<Bridge>& b : m_bridges) {
        if (b && b->problem) problems.push_back(*b->problem);
    }
    return problems;
}

}  // namespace ch347
