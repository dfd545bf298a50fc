// tunedesk-cli as scripts run it: the real binary as a subprocess against the
// simulated chip kept in an image file in a temporary folder. The binary is
// copied there beside a Config.ini with SPIRWDelay 0, since the program reads
// its settings from its own folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef TUNEDESK_TEST_JSON
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#endif

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteAll(const fs::path& path, const std::string& data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);) out.push_back(line);
    return out;
}

// Each character of `pattern` matches itself, except 'D' (a decimal digit) and
// 'H' (an upper-case hex digit). <regex> warns inside the sanitizer build.
bool Matches(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        if (pattern[i] == 'D' ? !digit : pattern[i] == 'H' ? !(digit || (c >= 'A' && c <= 'F')) : c != pattern[i])
            return false;
    }
    return true;
}

struct Result {
    int code = -1;
    std::string out, err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tunedesk_cli_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::copy_file(TUNEDESK_CLI, dir_ / "tunedesk-cli");
        WriteAll(dir_ / "Config.ini", "[SpiSetting]\nSPIRWDelay=0\n");
        image_ = dir_ / "chip.img";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // The shell command line of one run on the image (arguments are not quoted:
    // the tests pass none with blanks).
    std::string CommandLine(const std::string& args, const std::string& tag) const {
        const fs::path libs = fs::path(TUNEDESK_CLI).parent_path();
        return "cd " + dir_.string() + " && LD_LIBRARY_PATH=" + libs.string() +
               " TUNEDESK_BACKEND= ./tunedesk-cli --sim-image " + image_.string() + " " + args + " >" + tag +
               ".out 2>" + tag + ".err";
    }

    Result Cli(const std::string& args) const {
        Result r;
        const int status = std::system(CommandLine(args, "run").c_str());
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadAll(dir_ / "run.out");
        r.err = ReadAll(dir_ / "run.err");
        return r;
    }

    fs::path dir_, image_;
};

#define EXPECT_RUN(run, expectedCode) EXPECT_EQ((run).code, expectedCode) << (run).out << (run).err

const char* const kPowerOn[] = {
    "vivid=on",
    "vivid.range=medium",
    "vivid.intensity=130",
    "sharpening=on",
    "sharpening.intensity=512",
    "contrast=on",
    "contrast.auto-brightness=off",
    "contrast.adaptive=128",
    "contrast.brightness=128",
    "contrast.threshold=10",
    "color-correction=on",
    "color-correction.intensity=32",
    "noise-remove=off",
    "noise-remove.sensitivity=64",
    "area=all",
    "through=off",
};

TEST_F(CliTest, FeaturesGetSetAndEveryRefusalLeavesTheChipAlone) {
    Result r = Cli("get");
    EXPECT_RUN(r, 0);
    EXPECT_EQ(Lines(r.out), std::vector<std::string>(std::begin(kPowerOn), std::end(kPowerOn)));
    EXPECT_TRUE(fs::exists(image_)) << "a missing image is created from the power-on state";

    // Named features come out in table order, whatever order they were asked in.
    r = Cli("get through vivid.range");
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"vivid.range=medium", "through=off"}));

    r = Cli("set vivid.intensity=200 area=center through=on sharpening.intensity=0xFFFF noise-remove=ON");
    EXPECT_RUN(r, 0);
    r = Cli("get vivid.intensity sharpening.intensity noise-remove area through");
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"vivid.intensity=200", "sharpening.intensity=65535",
                                                      "noise-remove=on", "area=center", "through=on"}));

    // Each of these is refused before anything is written: the image keeps its bytes.
    // (Which values each feature accepts is core_features_test's business.)
    const std::string before = ReadAll(image_);
    for (const char* bad : {"set vivid.intensity=100 vivid.intensity=256", "set", "get sharpening.size", "get nosuch",
                            "reg write 0x40080040=0x10 0x40080044=zz", "reg write 0x40080040", "reg read 0x123456789",
                            "frobnicate", "--device 99 get", "--backend= get", "--faults= get"}) {
        r = Cli(bad);
        EXPECT_RUN(r, 2) << bad;
        EXPECT_EQ(Lines(r.err).size(), 1u) << bad << ": one error line\n" << r.err;
        EXPECT_EQ(r.err.rfind("tunedesk-cli: ", 0), 0u) << r.err;
    }
    EXPECT_EQ(ReadAll(image_), before);

    r = Cli("--device 3 get");  // a bridge that is not there
    EXPECT_RUN(r, 3);
    r = Cli("--backend usb get");
    EXPECT_RUN(r, 3);
    EXPECT_EQ(ReadAll(image_), before);
    // Every SPI read refused: the transactions fail, and the exit code says so.
    r = Cli("--faults seed=1,rate=1,kinds=read get vivid");
    EXPECT_RUN(r, 1);
    EXPECT_EQ(r.out, "");
    r = Cli("--faults rate=1,kinds=write set vivid=off");
    EXPECT_RUN(r, 1);
    EXPECT_EQ(ReadAll(image_), before);

    // A read-only session does not rewrite the image.
    struct stat st1 {
    }, st2{};
    ASSERT_EQ(stat(image_.c_str(), &st1), 0);
    EXPECT_RUN(Cli("get"), 0);
    ASSERT_EQ(stat(image_.c_str(), &st2), 0);
    EXPECT_EQ(st1.st_ino, st2.st_ino);

    r = Cli("list");
    EXPECT_RUN(r, 0);
    EXPECT_EQ(Lines(r.out), std::vector<std::string>{"0# USB2.0 to SPI bridge (simulated)"});
    r = Cli("paths");
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"settings=" + (dir_ / "Config.ini").string(),
                                                      "logs=" + (dir_ / "OutputLog").string()}));
    r = Cli("--version");
    EXPECT_RUN(r, 0);
    EXPECT_EQ(r.out.rfind("tunedesk-cli ", 0), 0u);
    r = Cli("set --help");
    EXPECT_RUN(r, 0);
    EXPECT_NE(r.out.find("usage: tunedesk-cli set"), std::string::npos);
}

#ifdef TUNEDESK_TEST_JSON
TEST_F(CliTest, JsonOutputParses) {
    Result r = Cli("--json get");
    EXPECT_RUN(r, 0);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
    const QJsonObject o = doc.object();
    EXPECT_EQ(o.size(), 16);
    EXPECT_TRUE(o["vivid"].isBool() && o["vivid"].toBool());
    EXPECT_TRUE(o["through"].isBool() && !o["through"].toBool());
    EXPECT_EQ(o["vivid.intensity"].toInt(-1), 130);
    EXPECT_EQ(o["vivid.range"].toString(), "medium");
    EXPECT_EQ(o["area"].toString(), "all");
    EXPECT_FALSE(o.contains("sharpening.size"));
    EXPECT_EQ(o.keys().first(), "area") << "QJsonObject sorts; the printed order is the table's";
    EXPECT_LT(r.out.find("\"vivid\""), r.out.find("\"through\""));

    r = Cli("--json list");
    const QJsonObject l = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    EXPECT_EQ(l["bridges"].toArray().at(0).toString(), "0# USB2.0 to SPI bridge (simulated)");
    EXPECT_TRUE(l["unusable"].isArray());

    r = Cli("--json reg read 0x40080040");
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object()["0x40080040"].toString(),
              "0x00000082");
    // A refused command prints no object a script could take for a result.
    r = Cli("--json reg read zz");
    EXPECT_RUN(r, 2);
    EXPECT_EQ(r.out, "");
    // Corrected checksums are part of the object too.
    EXPECT_RUN(Cli("edid read -o e.bin"), 0);
    std::string edid = ReadAll(dir_ / "e.bin");
    edid[127] = static_cast<char>(edid[127] + 1);
    WriteAll(dir_ / "e.bin", edid);
    r = Cli("--json edid write e.bin --fix-checksums");
    EXPECT_RUN(r, 0);
    error = {};
    const QJsonObject fixed = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << r.out;
    EXPECT_TRUE(fixed["checksum0"].isString()) << r.out;
}
#endif

TEST_F(CliTest, RegistersReadWriteVerifyAndDump) {
    Result r = Cli("reg write 0x40080040=0xC8 40080038=1234 --verify");
    EXPECT_RUN(r, 0);
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"0x40080040=0x000000C8", "0x40080038=0x00001234"}));
    r = Cli("reg read 0x40080040 0x40080038 0x4008003c");
    EXPECT_EQ(Lines(r.out),
              (std::vector<std::string>{"0x40080040=0x000000C8", "0x40080038=0x00001234", "0x4008003C=0x00000015"}));
    r = Cli("get vivid.intensity contrast.brightness contrast.threshold");
    EXPECT_EQ(Lines(r.out),
              (std::vector<std::string>{"vivid.intensity=200", "contrast.brightness=52", "contrast.threshold=18"}));

    // Another command pair reaches another register space.
    EXPECT_RUN(Cli("reg write --cmd 0x0200/0x2000 0x10=0xABCDEF01"), 0);
    EXPECT_EQ(Cli("reg read --cmd 0x0200/0x2000 10").out, "0x00000010=0xABCDEF01\n");
    EXPECT_EQ(Cli("reg read 10").out, "0x00000010=0x00000000\n");
    // The EDID window's registers hold 8 bits: the read-back shows the mismatch.
    r = Cli("reg write --cmd 0x0700/0x7000 0xB4=0x1FF --verify");
    EXPECT_RUN(r, 1);
    EXPECT_NE(r.err.find("wrote 0x000001FF, read back 0x000000FF"), std::string::npos) << r.err;

    r = Cli("reg dump");
    EXPECT_RUN(r, 0);
    const std::vector<std::string> dump = Lines(r.out);
    ASSERT_EQ(dump.size(), 14u + 121u);
    for (const std::string& l : dump) EXPECT_TRUE(Matches(l, "0xHHHHHHHH=0xHHHHHHHH")) << l;
    EXPECT_EQ(dump.front(), "0x4008000C=0x00A00000");
    EXPECT_EQ(dump[14 + 60], "0x400880F0=0x00006E00");  // centre of the Medium kernel: 28160
    EXPECT_EQ(dump.back(), "0x400881E0=0x00000000");
}

TEST_F(CliTest, EdidReadCheckRefuseFixAndWriteBack) {
    Result r = Cli("edid read");
    EXPECT_RUN(r, 0);
    const std::vector<std::string> text = Lines(r.out);
    ASSERT_EQ(text.size(), 16u);
    EXPECT_EQ(text[0], "00 FF FF FF FF FF FF 00 50 93 01 00 01 00 00 00");
    EXPECT_EQ(Cli("edid read --seq b").out, r.out) << "both sequences read the same EDID";

    EXPECT_RUN(Cli("edid read -o edid.bin"), 0);
    const std::string original = ReadAll(dir_ / "edid.bin");
    ASSERT_EQ(original.size(), 256u);
    r = Cli("edid check edid.bin");
    EXPECT_RUN(r, 0);
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"header=ok", "checksum0=ok", "checksum1=ok", "extensions=1",
                                                      "manufacturer=TDS", "product=0x0001", "serial=1", "week=1",
                                                      "year=2024", "preferred=1920x1080@60Hz 148.50MHz"}));
    // The console's text is accepted as well.
    WriteAll(dir_ / "edid.txt", Cli("edid read").out);
    EXPECT_RUN(Cli("edid check edid.txt"), 0);

    // One byte changed (the serial number): the checksum no longer fits.
    std::string changed = original;
    changed[12] = 0x42;
    WriteAll(dir_ / "changed.bin", changed);
    r = Cli("edid check changed.bin");
    EXPECT_RUN(r, 1);
    EXPECT_NE(r.out.find("checksum0=bad"), std::string::npos);
    const std::string before = ReadAll(image_);
    r = Cli("edid write changed.bin --verify");
    EXPECT_RUN(r, 2);
    EXPECT_EQ(ReadAll(image_), before);
    WriteAll(dir_ / "short.bin", original.substr(0, 255));
    EXPECT_RUN(Cli("edid write short.bin --force"), 2);
    std::string noHeader = original;
    noHeader[0] = 0x01;
    WriteAll(dir_ / "noheader.bin", noHeader);
    EXPECT_RUN(Cli("edid write noheader.bin --fix-checksums"), 2);
    EXPECT_EQ(ReadAll(image_), before);

    r = Cli("edid write changed.bin --fix-checksums --verify");
    EXPECT_RUN(r, 0);
    EXPECT_RUN(Cli("edid read -o back.bin"), 0);
    const std::string back = ReadAll(dir_ / "back.bin");
    std::string expected = changed;
    expected[127] = static_cast<char>(static_cast<unsigned char>(original[127]) - (0x42 - 0x01));
    EXPECT_EQ(back, expected);
    EXPECT_RUN(Cli("edid check back.bin"), 0);
    EXPECT_NE(Cli("edid check back.bin").out.find("serial=66"), std::string::npos);
}

TEST_F(CliTest, ProfileSaveChangeDiffApply) {
    EXPECT_RUN(Cli("profile save a.ini"), 0);
    const std::string saved = ReadAll(dir_ / "a.ini");
    EXPECT_EQ(saved.rfind("[Picture]\nvivid=on\nvivid.range=medium\n", 0), 0u) << saved;
    EXPECT_EQ(Lines(saved).size(), 17u);

    EXPECT_RUN(Cli("set contrast.brightness=3 area=left"), 0);
    Result r = Cli("profile diff a.ini");
    EXPECT_RUN(r, 1);
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"contrast.brightness 128 3", "area all left"}));
    EXPECT_RUN(Cli("profile save b.ini"), 0);
    r = Cli("profile diff a.ini b.ini");
    EXPECT_RUN(r, 1);
    EXPECT_EQ(Lines(r.out).size(), 2u);

    // A bad entry anywhere: nothing is applied.
    const std::string before = ReadAll(image_);
    for (const char* bad : {"vivid.intensity=256", "nosuch=1", "vivid.range=tiny"}) {
        WriteAll(dir_ / "bad.ini", saved + bad + "\n");
        EXPECT_RUN(Cli("profile apply bad.ini"), 2) << bad;
    }
    EXPECT_RUN(Cli("profile apply missing.ini"), 2);
    EXPECT_EQ(ReadAll(image_), before);

    r = Cli("profile apply a.ini --verify");
    EXPECT_RUN(r, 0);
    EXPECT_EQ(Lines(r.out).size(), 16u);
    EXPECT_RUN(Cli("profile diff a.ini"), 0);
    EXPECT_EQ(Cli("profile diff a.ini").out, "");

    // A value that can be read but not written stays out of a saved profile,
    // so the profile still applies.
    EXPECT_RUN(Cli("reg write 0x4008001C=0x10"), 0);
    r = Cli("profile save c.ini");
    EXPECT_RUN(r, 0);
    EXPECT_EQ(ReadAll(dir_ / "c.ini").find("area="), std::string::npos);
    EXPECT_NE(r.err.find("area=custom left out"), std::string::npos) << r.err;
    EXPECT_RUN(Cli("profile apply c.ini"), 0);

    // A partial profile compares and applies only what it names.
    WriteAll(dir_ / "part.ini", "; bench preset\n[Picture]\nvivid.intensity = 10\n[Other]\nx=1\n");
    EXPECT_RUN(Cli("profile diff part.ini"), 1);
    EXPECT_RUN(Cli("profile apply part.ini"), 0);
    EXPECT_EQ(Cli("get vivid.intensity contrast.brightness").out, "vivid.intensity=10\ncontrast.brightness=128\n");
}

TEST_F(CliTest, ImageIsCheckedLockedAndSharedByConcurrentRuns) {
    // Not an image: refused, left as it was.
    WriteAll(image_, "[Picture]\nvivid=on\n");
    Result r = Cli("get");
    EXPECT_RUN(r, 2);
    EXPECT_NE(r.err.find("not a simulator image"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(image_), "[Picture]\nvivid=on\n");
    fs::remove(image_);

    EXPECT_RUN(Cli("set vivid.intensity=77"), 0);
    std::string good = ReadAll(image_);
    ASSERT_EQ(good.rfind("TUNEDESK-SIM-IMAGE 1\n", 0), 0u);
    // One digit changed: the sum finds it.
    std::string damaged = good;
    const size_t at = damaged.find("reg 0400 40080040 0000004D");
    ASSERT_NE(at, std::string::npos) << good;
    damaged[at + 25] = 'E';
    WriteAll(image_, damaged);
    r = Cli("get");
    EXPECT_RUN(r, 2);
    EXPECT_NE(r.err.find("wrong sum"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(image_), damaged);
    WriteAll(image_, good);

    // Two programs at once on one image: the second waits for the first, and
    // both changes end up in the image. The EDID write holds the chip > 600 ms.
    EXPECT_RUN(Cli("edid read -o e.bin"), 0);
    std::string edid = ReadAll(dir_ / "e.bin");
    edid[12] = 0x07;
    WriteAll(dir_ / "e.bin", edid);
    const std::string both = "(" + CommandLine("edid write e.bin --fix-checksums", "a") + ") & (sleep 0.2; " +
                             CommandLine("set contrast.threshold=99", "b") + "); wait";
    ASSERT_EQ(std::system(both.c_str()), 0);
    EXPECT_EQ(ReadAll(dir_ / "a.err") + ReadAll(dir_ / "b.err"), "");
    EXPECT_EQ(Cli("get vivid.intensity contrast.threshold").out, "vivid.intensity=77\ncontrast.threshold=99\n");
    EXPECT_NE(Cli("edid check e.bin").out.find("serial=7"), std::string::npos);
    r = Cli("edid read -o back.bin");
    EXPECT_EQ(ReadAll(dir_ / "back.bin").substr(0, 127), edid.substr(0, 127));
}

TEST_F(CliTest, LogFileGetsTheStampedTransactionLines) {
    EXPECT_RUN(Cli("--log cli.log reg read 0x40080060"), 0);
    EXPECT_RUN(Cli("--log cli.log set vivid=off"), 0);
    const std::vector<std::string> log = Lines(ReadAll(dir_ / "cli.log"));
    ASSERT_GE(log.size(), 6u);
    for (const std::string& l : log)
        EXPECT_TRUE(l.empty() || Matches(l.substr(0, 26), "[DDDD/DD/DD DD:DD:DD:DDD] ")) << l;
    auto has = [&](const std::string& text) {
        for (const std::string& l : log)
            if (l.size() > 26 && l.substr(26) == text) return true;
        return false;
    };
    EXPECT_TRUE(has("The selected device opened successfully!"));
    EXPECT_TRUE(has("TX[Len=10]: 00 03 04 00 40 08 00 60 D2 37 "));
    EXPECT_TRUE(has("REG: 0x40080060, Value: 0x00020000"));
    EXPECT_TRUE(has("Vividi OFF OK!"));
    EXPECT_RUN(Cli("--log /nonexistent/dir/x.log get"), 2);
}

// The shared option parser as the program wires it: both forms, an empty
// value refused for every option, and "--" ending the options.
TEST_F(CliTest, OptionsTakeBothFormsRefuseEmptyValuesAndStopAtDoubleDash) {
    for (const char* bad : {"--log= get", "--log", "reg read --cmd= 10", "edid read -o=", "--sim-image= get"}) {
        const Result r = Cli(bad);
        EXPECT_RUN(r, 2) << bad;
        EXPECT_EQ(Lines(r.err).size(), 1u) << bad << "\n" << r.err;
        EXPECT_NE(r.err.find(" needs "), std::string::npos) << r.err;
    }
    Result r = Cli("-q --log=cli.log set vivid=off");
    EXPECT_RUN(r, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(fs::exists(dir_ / "cli.log"));
    r = Cli("--device=0 get vivid -- --json");
    EXPECT_RUN(r, 2);
    EXPECT_EQ(r.err, "tunedesk-cli: get: unknown feature \"--json\"\n");
    EXPECT_EQ(Cli("-- get vivid").out, "vivid=off\n");
}

}  // namespace
