// tunedesk-cli edid: read, write and check the chip's 256-byte EDID (base
// block and one extension) through the register console's sequences.
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Cli.h"
#include "IniFile.h"
#include "SpiReadWriteOps.h"

namespace cli {
namespace {

using Edid = std::array<unsigned char, spirw::kEdidSize>;
constexpr size_t kBlock = 128;
constexpr unsigned char kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

// Sequence A writes with 0x6000 and reads with 0x0600; sequence B reads the
// EDID window with 0x0700 after writes with 0x7000.
constexpr unsigned short kSeqAWrite = 0x6000, kSeqARead = 0x0600;
constexpr unsigned short kSeqBWrite = 0x7000, kSeqBRead = 0x0700;

std::string Hex8(unsigned int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFF);
    return buf;
}

// The byte that makes a block sum to 0 modulo 256.
unsigned char Checksum(const Edid& e, size_t block) {
    unsigned sum = 0;
    for (size_t i = 0; i < kBlock - 1; ++i) sum += e[block * kBlock + i];
    return static_cast<unsigned char>((256 - sum % 256) % 256);
}

bool HeaderOk(const Edid& e) { return std::memcmp(e.data(), kHeader, sizeof kHeader) == 0; }
bool ChecksumOk(const Edid& e, size_t block) { return e[block * kBlock + kBlock - 1] == Checksum(e, block); }

// Reads FILE: 256 bytes of binary, or the console's text (blank-separated hex
// bytes). kOk, kUsage for a file that cannot be read, kFailed for one that is
// not 256 bytes of EDID; the reason is in `error`.
int LoadEdidFile(const std::string& path, Edid& out, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = path + ": " + std::strerror(errno);
        return kUsage;
    }
    std::string bytes;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && bytes.size() < (1u << 20)) bytes.append(chunk, n);
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) {
        error = path + ": read error";
        return kUsage;
    }
    bool text = !bytes.empty();
    for (const char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!(u == ' ' || u == '\t' || u == '\r' || u == '\n' || (u >= 0x21 && u < 0x7F))) text = false;
    }
    if (!text) {
        if (bytes.size() != out.size()) {
            error = path + ": " + std::to_string(bytes.size()) + " bytes, not 256";
            return kFailed;
        }
        std::memcpy(out.data(), bytes.data(), out.size());
        return kOk;
    }
    // The console's parser wants a blank beside each line break; lines of a file
    // need not end in one (edid read prints none).
    for (char& c : bytes)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    std::vector<unsigned char> parsed;
    unsigned int count = 0;
    std::string message;
    const spirw::Notify notify = [&](const std::u16string& m) { message = ini::ToUtf8(m); };
    if (!spirw::ParseEdidData(ini::FromUtf8(bytes), parsed, count, notify)) {
        error = path + ": " + (message.empty() ? "no EDID bytes" : message);
        return kFailed;
    }
    if (count != out.size()) {
        error = path + ": " + std::to_string(count) + " bytes, not 256";
        return kFailed;
    }
    std::memcpy(out.data(), parsed.data(), out.size());
    return kOk;
}

// Runs a read sequence; false when a transaction of it failed.
bool ReadChipEdid(const Context& ctx, bool sequenceB, Edid& out) {
    unsigned int values[spirw::kEdidSize] = {};
    const bool ok = sequenceB ? spirw::RunSequenceBRead(ctx.device, kSeqBWrite, kSeqBRead, values)
                              : spirw::RunSequenceARead(ctx.device, kSeqAWrite, kSeqARead, values);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<unsigned char>(values[i]);
    return ok;
}

int EdidRead(Context& ctx, const std::vector<std::string>& all) {
    bool sequenceB = false;
    std::string outPath;
    for (size_t i = 0; i < all.size(); ++i) {
        std::string value;
        if (const int s = TakeValue(all, i, "--seq", value); s != 0) {
            if (s < 0 || (value != "a" && value != "b")) {
                Error(ctx, "--seq needs a or b");
                return kUsage;
            }
            sequenceB = value == "b";
        } else if (const int o = TakeValue(all, i, "-o", value); o != 0) {
            if (o < 0 || value.empty()) {
                Error(ctx, "-o needs a file");
                return kUsage;
            }
            outPath = value;
        } else {
            Error(ctx, "unexpected argument " + all[i]);
            return kUsage;
        }
    }
    if (const int open = OpenDevice(ctx); open != kOk) return open;
    Edid edid{};
    if (!ReadChipEdid(ctx, sequenceB, edid)) {
        Error(ctx, "a transaction of the EDID read failed");
        return kFailed;
    }
    if (outPath.empty()) {
        unsigned int values[spirw::kEdidSize];
        for (size_t i = 0; i < edid.size(); ++i) values[i] = edid[i];
        // The console's text, without the blank before each line end.
        std::string text = ini::ToUtf8(spirw::FormatEdidText(values));
        std::string lines;
        for (const char c : text) {
            if (c == '\r') continue;
            if (c == '\n' && !lines.empty() && lines.back() == ' ')
                lines.back() = '\n';
            else
                lines.push_back(c);
        }
        std::fputs(lines.c_str(), stdout);
        return kOk;
    }
    const std::string temp = outPath + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    bool ok = f != nullptr && std::fwrite(edid.data(), 1, edid.size(), f) == edid.size();
    if (f != nullptr) ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), outPath.c_str()) == 0;
    if (!ok) {
        std::remove(temp.c_str());
        Error(ctx, "cannot write " + outPath + ": " + std::strerror(errno));
        return kUsage;
    }
    return kOk;
}

int EdidWrite(Context& ctx, const std::vector<std::string>& all) {
    bool fix = false, force = false, verify = false;
    std::vector<std::string> files;
    for (size_t i = 0; i < all.size(); ++i) {
        if (TakeFlag(all, i, "--fix-checksums"))
            fix = true;
        else if (TakeFlag(all, i, "--force"))
            force = true;
        else if (TakeFlag(all, i, "--verify"))
            verify = true;
        else if (all[i].size() > 1 && all[i][0] == '-') {
            Error(ctx, "unknown option " + all[i]);
            return kUsage;
        } else
            files.push_back(all[i]);
    }
    if (files.size() != 1) {
        Error(ctx, "needs one FILE");
        return kUsage;
    }
    Edid edid{};
    std::string error;
    if (LoadEdidFile(files[0], edid, error) != kOk) {
        Error(ctx, error + "; nothing written");
        return kUsage;
    }
    // The checksums corrected, reported once the write has gone through.
    std::vector<std::pair<std::string, std::string>> corrected;
    if (fix) {
        for (size_t b = 0; b < 2; ++b) {
            const unsigned char sum = Checksum(edid, b);
            if (edid[b * kBlock + kBlock - 1] == sum) continue;
            edid[b * kBlock + kBlock - 1] = sum;
            corrected.emplace_back("checksum" + std::to_string(b), Hex8(sum));
        }
    }
    auto done = [&] {
        Output out(ctx);
        if (!ctx.quiet)
            for (const auto& [name, value] : corrected) out.String(name, value);
        return kOk;
    };
    std::vector<std::string> faults;
    if (!HeaderOk(edid)) faults.push_back("the header of block 0 is wrong");
    for (size_t b = 0; b < 2; ++b)
        if (!ChecksumOk(edid, b))
            faults.push_back("the checksum of block " + std::to_string(b) + " is " +
                             Hex8(edid[b * kBlock + kBlock - 1]) + ", not " + Hex8(Checksum(edid, b)));
    if (!faults.empty() && !force) {
        for (const std::string& f : faults) Error(ctx, files[0] + ": " + f);
        Error(ctx, "nothing written (--fix-checksums corrects checksums, --force writes anyway)");
        return kUsage;
    }
    if (const int open = OpenDevice(ctx); open != kOk) return open;
    if (!spirw::RunSequenceAWrite(ctx.device, kSeqAWrite, edid.data())) {
        Error(ctx, "a transaction of the EDID write failed");
        return kFailed;
    }
    if (!verify) return done();
    Edid back{};
    if (!ReadChipEdid(ctx, false, back)) {
        Error(ctx, "a transaction of the read-back failed");
        return kFailed;
    }
    int mismatches = 0;
    for (size_t i = 0; i < edid.size(); ++i) {
        if (edid[i] == back[i]) continue;
        if (++mismatches <= 16)
            Error(ctx, "byte " + std::to_string(i) + ": wrote " + Hex8(edid[i]) + ", read back " + Hex8(back[i]));
    }
    if (mismatches > 0) {
        Error(ctx, std::to_string(mismatches) + " bytes read back differ");
        return kFailed;
    }
    return done();
}

int EdidCheck(Context& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
        Error(ctx, "needs one FILE");
        return kUsage;
    }
    Edid e{};
    std::string error;
    if (const int r = LoadEdidFile(args[0], e, error); r != kOk) {
        Error(ctx, error);
        return r;
    }
    bool sound = true;
    Output out(ctx);
    auto verdict = [&](const std::string& name, bool ok, const std::string& detail) {
        sound = sound && ok;
        out.String(name, ok ? "ok" : "bad" + detail);
    };
    verdict("header", HeaderOk(e), "");
    for (size_t b = 0; b < 2; ++b) {
        const unsigned char stored = e[b * kBlock + kBlock - 1];
        verdict("checksum" + std::to_string(b), ChecksumOk(e, b),
                " (" + Hex8(stored) + ", should be " + Hex8(Checksum(e, b)) + ")");
    }
    // 256 bytes hold the base block and one extension.
    const unsigned extensions = e[126];
    out.Number("extensions", extensions);
    if (extensions > 1) sound = false;

    const unsigned maker = static_cast<unsigned>(e[8]) << 8 | e[9];
    std::string id;
    for (const int shift : {10, 5, 0}) {
        const unsigned letter = (maker >> shift) & 0x1F;
        id += letter >= 1 && letter <= 26 ? static_cast<char>('A' + letter - 1) : '?';
    }
    out.String("manufacturer", id);
    char product[8];
    std::snprintf(product, sizeof product, "0x%04X", static_cast<unsigned>(e[10] | e[11] << 8));
    out.String("product", product);
    out.Number("serial", static_cast<unsigned long long>(e[12]) | static_cast<unsigned long long>(e[13]) << 8 |
                             static_cast<unsigned long long>(e[14]) << 16 |
                             static_cast<unsigned long long>(e[15]) << 24);
    out.Number("week", e[16]);
    out.Number("year", 1990u + e[17]);

    // The first detailed timing descriptor is the preferred timing.
    const unsigned char* d = e.data() + 54;
    const unsigned clock10k = static_cast<unsigned>(d[0] | d[1] << 8);
    if (clock10k == 0) {
        out.String("preferred", "none");
    } else {
        const unsigned hActive = d[2] | (d[4] & 0xF0u) << 4, hBlank = d[3] | (d[4] & 0x0Fu) << 8;
        const unsigned vActive = d[5] | (d[7] & 0xF0u) << 4, vBlank = d[6] | (d[7] & 0x0Fu) << 8;
        const double total = static_cast<double>(hActive + hBlank) * (vActive + vBlank);
        const double refresh = total > 0 ? clock10k * 10000.0 / total : 0;
        char text[64];
        std::snprintf(text, sizeof text, "%ux%u@%.0fHz %.2fMHz", hActive, vActive, refresh, clock10k / 100.0);
        out.String("preferred", text);
    }
    return sound ? kOk : kFailed;
}

}  // namespace

int CmdEdid(Context& ctx, const std::vector<std::string>& all) {
    std::string sub;
    if (!Subcommand(ctx, all, {"read", "write", "check"}, sub)) return kUsage;
    const std::vector<std::string> args(all.begin() + 1, all.end());
    if (sub == "read") return EdidRead(ctx, args);
    if (sub == "write") return EdidWrite(ctx, args);
    return EdidCheck(ctx, args);
}

}  // namespace cli
