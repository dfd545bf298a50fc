// tunedesk-cli edid: read, write and check the chip's 256-byte EDID (base
// block and one extension) through the register console's sequences.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Cli.h"
#include "Convert.h"
#include "SafeFile.h"
#include "SpiReadWriteOps.h"
#include "TextParse.h"

namespace cli {
namespace {

using Edid = Chip::Edid;
constexpr size_t kBlock = 128;
constexpr unsigned char kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

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

// A text EDID is about 800 bytes; the cap leaves room for comments-free
// variants with wide spacing, and refuses anything that cannot be one.
constexpr size_t kMaxEdidFile = 64 * 1024;

// Reads FILE ("-": standard input): 256 bytes of binary, or the console's
// text (blank-separated hex bytes, each one or two digits after an optional
// 0x). kOk, kUsage for a file that cannot be read, kFailed for one that is
// not 256 bytes of EDID; the reason is in `error`.
int LoadEdidFile(const std::string& path, Edid& out, std::string& error) {
    std::string bytes;
    int err = 0;
    if (!files::ReadCapped(path, kMaxEdidFile, bytes, error, &err)) return err == 0 ? kFailed : kUsage;
    const std::string name = files::IsStdStream(path) ? "standard input" : path;
    // A byte-order mark is an editor's, not part of the text.
    const bool bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    bool text = bytes.size() > (bom ? 3u : 0u);
    for (size_t i = bom ? 3 : 0; i < bytes.size(); ++i) {
        const unsigned char u = static_cast<unsigned char>(bytes[i]);
        if (!(u == ' ' || u == '\t' || u == '\r' || u == '\n' || (u >= 0x21 && u < 0x7F))) text = false;
    }
    if (!text) {
        if (bytes.size() != out.size()) {
            error = name + ": " + std::to_string(bytes.size()) + " bytes, not 256";
            return kFailed;
        }
        std::memcpy(out.data(), bytes.data(), out.size());
        return kOk;
    }
    // Each token must be a byte: a longer one cut to its low byte would be
    // written, and a read-back compared against the cut value, unnoticed.
    std::vector<unsigned char> parsed;
    size_t pos = bom ? 3 : 0;
    for (;;) {
        pos = bytes.find_first_not_of(" \t\r\n", pos);
        if (pos == std::string::npos) break;
        const size_t end = std::min(bytes.find_first_of(" \t\r\n", pos), bytes.size());
        const std::string token = bytes.substr(pos, end - pos);
        unsigned int value = 0;
        if (parse::StrictHex(token, 2, value) != parse::Hex::Ok) {
            error = name + ": token " + std::to_string(parsed.size() + 1) + " \"" + token +
                    "\" is not a byte (one or two hex digits)";
            return kFailed;
        }
        parsed.push_back(static_cast<unsigned char>(value));
        pos = end;
    }
    if (parsed.size() != out.size()) {
        error = name + ": " + std::to_string(parsed.size()) + " bytes, not 256";
        return kFailed;
    }
    std::memcpy(out.data(), parsed.data(), out.size());
    return kOk;
}

}  // namespace

int CmdEdidRead(Context& ctx, const cmdline::Parsed& args) {
    bool sequenceB = false;
    std::string outPath;
    for (const cmdline::Match& m : args.options) {
        if (m.option->name == "--seq")
            sequenceB = m.value == "b";
        else if (m.option->name == "-o")
            outPath = m.value;
    }
    if (!args.rest.empty()) {
        Error(ctx, "unexpected argument " + args.rest.front());
        return kUsage;
    }
    if (const int open = OpenDevice(ctx); open != kOk) return open;
    Edid edid{};
    if (!ctx.chip->ReadEdid(sequenceB, edid)) {
        Error(ctx, "a transaction of the EDID read failed" + ChipWhy(ctx));
        return ChipExit(ctx);
    }
    if (ctx.json && !files::IsStdStream(outPath)) {
        Output out(ctx);
        out.Numbers("edid", std::vector<unsigned int>(edid.begin(), edid.end()));
    }
    if (outPath.empty()) {
        if (ctx.json) return kOk;
        unsigned int values[spirw::kEdidSize];
        for (size_t i = 0; i < edid.size(); ++i) values[i] = edid[i];
        // The console's text, without the blank before each line end.
        std::string text = Utf16ToUtf8(spirw::FormatEdidText(values));
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
    std::string error;
    if (!files::Replace(outPath, std::string_view(reinterpret_cast<const char*>(edid.data()), edid.size()), error)) {
        Error(ctx, "cannot write " + error);
        return kUsage;
    }
    return kOk;
}

int CmdEdidWrite(Context& ctx, const cmdline::Parsed& args) {
    const bool fix = args.Has("--fix-checksums"), force = args.Has("--force"), verify = args.Has("--verify");
    if (const std::vector<std::string> unknown = args.Unknown(); !unknown.empty()) {
        Error(ctx, "unknown option " + unknown.front());
        return kUsage;
    }
    const std::vector<std::string> files = args.Operands();
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
        std::string all;
        for (const std::string& f : faults) all += (all.empty() ? "" : ", ") + f;
        Error(ctx, (files::IsStdStream(files[0]) ? std::string("standard input") : files[0]) + ": " + all +
                       "; nothing written (--fix-checksums corrects checksums, --force writes anyway)");
        return kUsage;
    }
    if (const int open = OpenDevice(ctx); open != kOk) return open;
    if (!ctx.chip->WriteEdid(edid)) {
        Error(ctx, "a transaction of the EDID write failed" + ChipWhy(ctx));
        return ChipExit(ctx);
    }
    if (!verify) return done();
    Edid back{};
    if (!ctx.chip->ReadEdid(false, back)) {
        Error(ctx, "a transaction of the read-back failed" + ChipWhy(ctx));
        return ChipExit(ctx);
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

int CmdEdidCheck(Context& ctx, const cmdline::Parsed& args) {
    const std::vector<std::string> files = args.Operands();
    if (files.size() != 1 || !args.Unknown().empty()) {
        Error(ctx, "needs one FILE");
        return kUsage;
    }
    Edid e{};
    std::string error;
    if (const int r = LoadEdidFile(files[0], e, error); r != kOk) {
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

}  // namespace cli
