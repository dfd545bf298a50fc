// tunedesk-cli as scripts run it: the real binary as a subprocess against the
// simulated chip kept in an image file in a temporary folder. The binary is
// copied there beside a Config.ini with SPIRWDelay 0, since the program reads
// its settings from its own folder.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
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
        // TUNEDESK_CLI_UNDER_TEST runs the tests against another build of the program.
        const char* other = std::getenv("TUNEDESK_CLI_UNDER_TEST");
        fs::copy_file(other != nullptr ? other : TUNEDESK_CLI, dir_ / "tunedesk-cli");
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
        const char* other = std::getenv("TUNEDESK_CLI_UNDER_TEST");
        const fs::path libs = fs::path(other != nullptr ? other : TUNEDESK_CLI).parent_path();
        // exec: the program keeps the shell's process id, for the signal tests.
        return "cd " + dir_.string() + " && exec env LD_LIBRARY_PATH=" + libs.string() +
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

    // Starts one run in the background (the shell execs the program, so the
    // pid is the program's); its output goes to TAG.out and TAG.err.
    pid_t Start(const std::string& args, const std::string& tag) const {
        // CommandLine execs the program, so the process id is the program's.
        const std::string line = CommandLine(args, tag);
        const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
        pid_t pid = -1;
        return posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) == 0 ? pid : -1;
    }

    // Waits (up to 30 s: the sanitizer build is slow) until `file` holds `text`.
    bool WaitFor(const std::string& file, const std::string& text) const {
        for (int i = 0; i < 600; ++i) {
            if (ReadAll(dir_ / file).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
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
    // noise-remove names its group, noise-remove.sensitivity included.
    EXPECT_EQ(Lines(r.out),
              (std::vector<std::string>{"vivid.intensity=200", "sharpening.intensity=65535", "noise-remove=on",
                                        "noise-remove.sensitivity=64", "area=center", "through=on"}));

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
    // A refused command prints no object a script could take for a result:
    // its one object on standard output is the error.
    r = Cli("--json reg read zz");
    EXPECT_RUN(r, 2);
    const QJsonObject refused = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    EXPECT_EQ(refused.keys(), QStringList{"error"}) << r.out;
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
    // (vivid names its group: vivid and vivid.*.)
    EXPECT_EQ(Cli("-- get vivid").out, "vivid=off\nvivid.range=medium\nvivid.intensity=130\n");
}

// set --verify and --dry-run, feature groups, register ranges and the
// decoded register map.
TEST_F(CliTest, BenchDryRunVerifyGroupsRangesAndDecode) {
    // A dry run checks and prints, and writes nothing; a bad value still refuses.
    EXPECT_RUN(Cli("get vivid"), 0);
    const std::string before = ReadAll(image_);
    Result r = Cli("-q set --dry-run vivid=off contrast.brightness=80");
    EXPECT_RUN(r, 0);
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"vivid=off", "contrast.brightness=80"}));
    r = Cli("reg write --dry-run 0x40080040=0x10 --verify");
    EXPECT_RUN(r, 0);
    EXPECT_EQ(r.out, "0x40080040=0x00000010\n");
    WriteAll(dir_ / "p.ini", "[Picture]\nvivid.intensity=10\narea=left\n");
    r = Cli("profile apply p.ini --dry-run");
    EXPECT_RUN(r, 0);
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"vivid.intensity=10", "area=left"}));
    WriteAll(dir_ / "bad.ini", "[Picture]\nvivid.intensity=10\nvivid.range=tiny\n");
    for (const char* bad :
         {"set --dry-run vivid.intensity=256", "profile apply bad.ini --dry-run", "reg read 0x40080034+0",
          "reg read 0x40080034+4097", "reg read 0xFFFFFFFC+2", "reg read 0x40080034+x",
          "reg read --decode --cmd 0x0200/0x2000 10", "watch nosuch", "watch sharpening.size", "watch --interval 0",
          "watch --interval 0.0001", "watch --count 0", "get contr"}) {
        r = Cli(bad);
        EXPECT_RUN(r, 2) << bad;
        EXPECT_EQ(Lines(r.err).size(), 1u) << bad << "\n" << r.err;
        EXPECT_EQ(r.out, "") << bad;
    }
    EXPECT_EQ(ReadAll(image_), before);

    // A name stands for its group; a member that can only be written is left out.
    EXPECT_EQ(Lines(Cli("get contrast").out),
              (std::vector<std::string>{"contrast=on", "contrast.auto-brightness=off", "contrast.adaptive=128",
                                        "contrast.brightness=128", "contrast.threshold=10"}));
    EXPECT_EQ(Cli("get sharpening").out, "sharpening=on\nsharpening.intensity=512\n");

    // Every register of the map decoded; each field as get spells the feature.
    r = Cli("reg dump --decode");
    EXPECT_RUN(r, 0);
    const std::vector<std::string> dump = Lines(r.out);
    ASSERT_EQ(dump.size(), 14u + 121u);
    EXPECT_EQ(dump[0], "0x4008000C=0x00A00000 vivid-range vivid.range=medium");
    EXPECT_EQ(dump[4], "0x40080020=0x00000780 area-width pixels=1920");
    EXPECT_EQ(dump[14 + 36], "0x40088090=0xFFFFFF80 sharpening-kernel.36 coefficient=-128");
    EXPECT_EQ(dump[14 + 60], "0x400880F0=0x00006E00 sharpening-kernel.60 coefficient=28160");
    for (const std::string& feature : Lines(Cli("get").out)) {
        if (feature.rfind("area=", 0) == 0) continue;  // four registers, no field of one
        bool found = false;
        for (const std::string& line : dump)
            found = found || (line + " ").find(" " + feature + " ") != std::string::npos;
        EXPECT_TRUE(found) << feature << "\n" << r.out;
    }
    // A read outside the map keeps its plain value.
    EXPECT_EQ(Cli("reg read --decode 0x40080038 0x40080000").out,
              "0x40080038=0x00000A80 brightness-threshold contrast.brightness=128 contrast.threshold=10\n"
              "0x40080000=0x00000000\n");

    // Ranges: four bytes apart in the picture-quality space, one in the EDID port's.
    EXPECT_EQ(Lines(Cli("reg read 0x40080034+3").out),
              (std::vector<std::string>{"0x40080034=0x00008004", "0x40080038=0x00000A80", "0x4008003C=0x00000015"}));
    EXPECT_EQ(Lines(Cli("reg read --cmd 0x0600/0x6000 0x58+2").out),
              (std::vector<std::string>{"0x00000058=0x00000000", "0x00000059=0x00000000"}));

    // Each value read back, the process size as the kernel it wrote.
    r = Cli("set --verify sharpening.size=small area=left contrast.brightness=80");
    EXPECT_RUN(r, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Cli("reg read --decode 0x400880F0").out,
              "0x400880F0=0x00006000 sharpening-kernel.60 coefficient=24576\n");

#ifdef TUNEDESK_TEST_JSON
    r = Cli("--json reg read --decode 0x40080038 0x40080000");
    QJsonParseError error{};
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
    const QJsonObject reg = o["0x40080038"].toObject();
    EXPECT_EQ(reg["register"].toString(), "brightness-threshold");
    EXPECT_EQ(reg["value"].toString(), "0x00000A50");
    EXPECT_EQ(reg["fields"].toObject()["contrast.brightness"].toInt(-1), 80);
    EXPECT_EQ(o["0x40080000"].toObject()["value"].toString(), "0x00000000");
#endif
}

// watch against the image while a second program changes it.
TEST_F(CliTest, WatchSeesAnotherProgramsChangesAndEndsCleanlyOnCtrlC) {
    const pid_t pid = Start("watch contrast.brightness through --interval 0.1", "w");
    ASSERT_GT(pid, 0);
    struct Reap {
        pid_t pid;
        ~Reap() {
            if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    } reap{pid};
    ASSERT_TRUE(WaitFor("w.out", "through=off")) << ReadAll(dir_ / "w.err");
    // The watch holds the image only while it reads: the set gets in at once
    // (a held lock would make it wait 10 s and fail), and the next read sees it.
    EXPECT_RUN(Cli("set contrast.brightness=77"), 0);
    EXPECT_TRUE(WaitFor("w.out", "contrast.brightness=77"));
    ASSERT_EQ(::kill(pid, SIGINT), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    reap.pid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::vector<std::string> lines = Lines(ReadAll(dir_ / "w.out"));
    ASSERT_EQ(lines.size(), 3u) << ReadAll(dir_ / "w.out");
    EXPECT_TRUE(Matches(lines[0], "DDDD/DD/DD DD:DD:DD:DDD contrast.brightness=128")) << lines[0];
    EXPECT_TRUE(Matches(lines[1], "DDDD/DD/DD DD:DD:DD:DDD through=off")) << lines[1];
    EXPECT_EQ(lines[0].substr(0, 24), lines[1].substr(0, 24)) << "one read, one time";
    EXPECT_TRUE(Matches(lines[2], "DDDD/DD/DD DD:DD:DD:DDD contrast.brightness=77")) << lines[2];
    EXPECT_EQ(ReadAll(dir_ / "w.err"), "");
    EXPECT_EQ(Cli("get contrast.brightness").out, "contrast.brightness=77\n");

    // A count ends it; nothing changed after the first read, so one line per feature.
    Result r = Cli("--json watch through vivid.range --count 3 --interval 0.01");
    EXPECT_RUN(r, 0);
    const std::vector<std::string> json = Lines(r.out);
    ASSERT_EQ(json.size(), 2u) << r.out;
    EXPECT_TRUE(Matches(json[1], "{\"time\": \"DDDD/DD/DD DD:DD:DD:DDD\", \"feature\": \"through\", \"value\": false}"))
        << json[1];
#ifdef TUNEDESK_TEST_JSON
    const QJsonObject first = QJsonDocument::fromJson(QByteArray::fromStdString(json[0])).object();
    EXPECT_EQ(first["feature"].toString(), "vivid.range");
    EXPECT_EQ(first["value"].toString(), "medium");
#endif
}

// The completion script the build wrote, run by bash as completion runs it.
TEST_F(CliTest, BashCompletionOffersCommandsOptionsFeaturesAndValues) {
    ASSERT_TRUE(fs::exists(TUNEDESK_CLI_COMPLETION));
    WriteAll(dir_ / "edid.bin", "x");
    const std::string complete = "cd " + dir_.string() + " && bash -c 'source \"$0\"; COMP_LINE=$1; " +
                                 "COMP_POINT=${#COMP_LINE}; _tunedesk_cli; printf \"%s\\n\" \"${COMPREPLY[@]}\"' " +
                                 TUNEDESK_CLI_COMPLETION + " ";
    auto offered = [&](const std::string& line) {
        const int status = std::system((complete + "'" + line + "' > comp.out 2>&1").c_str());
        EXPECT_EQ(status, 0) << line;
        std::vector<std::string> words = Lines(ReadAll(dir_ / "comp.out"));
        std::erase(words, "");
        return words;
    };
    using Words = std::vector<std::string>;
    EXPECT_EQ(offered("tunedesk-cli "), (Words{"list", "get", "set", "watch", "reg", "edid", "profile", "paths"}));
    EXPECT_EQ(offered("tunedesk-cli --json reg "), (Words{"read", "write", "dump"}));
    EXPECT_EQ(offered("tunedesk-cli reg dump --d"), (Words{"--device", "--direct", "--decode"}));
    EXPECT_EQ(
        offered("tunedesk-cli set --"),
        (Words{"--device", "--backend", "--sim-image", "--fresh-chip", "--faults", "--lang", "--trace", "--direct",
               "--json", "--quiet", "--log", "--lock-timeout", "--version", "--help", "--verify", "--dry-run"}));
    EXPECT_EQ(offered("tunedesk-cli set vivid.r"), Words{"vivid.range="});
    EXPECT_EQ(offered("tunedesk-cli set vivid.range="), (Words{"large", "medium", "small"}));
    EXPECT_EQ(offered("tunedesk-cli set area=c"), Words{"center"});
    EXPECT_EQ(offered("tunedesk-cli set noise-remove=o"), (Words{"on", "off"}));
    EXPECT_EQ(offered("tunedesk-cli watch --interval 1 sharp"), (Words{"sharpening", "sharpening.intensity"}));
    EXPECT_EQ(offered("tunedesk-cli --backend="), (Words{"auto", "usb", "sim"}));
    EXPECT_EQ(offered("tunedesk-cli edid read --seq "), (Words{"a", "b"}));
    EXPECT_EQ(offered("tunedesk-cli edid write e"), Words{"edid.bin"});
    EXPECT_EQ(offered("tunedesk-cli reg read 0x"), Words{});
}

// ---- Faults found by trying the program as an adversary would --------------

// Arguments: odd input is refused with exit 2 and the chip left alone.
TEST_F(CliTest, EmptyHexOverlongTokensAndBadCommandWordsAreRefused) {
    EXPECT_RUN(Cli("edid read -o e.bin"), 0);
    const std::string before = ReadAll(image_);
    for (const char* bad :
         {"reg write 0x40080060=0x", "reg write 0x=5", "reg write 0x40080060=", "reg read 0x", "reg read ,",
          "reg read 10,", "reg write --cmd 0x10000/0x4000 0x40080060=1", "reg write --cmd /0x4000 0x40080060=1",
          "reg read --cmd 0x0400/ 10", "reg read --cmd 0x0400/0x4000/0x0600 10"}) {
        const Result r = Cli(bad);
        EXPECT_RUN(r, 2) << bad;
        EXPECT_EQ(Lines(r.err).size(), 1u) << bad << "\n" << r.err;
    }
    Result r = Cli("reg write 0x40080060=123456789");
    EXPECT_RUN(r, 2);
    EXPECT_NE(r.err.find("value \"123456789\""), std::string::npos) << "a value is not called an address: " << r.err;

    // EDID text: every token one byte; the position and the token are named.
    const std::string text = Cli("edid read").out;
    for (const char* token : {"107", "0xDEADBE07", "0x"}) {
        std::string t = text;
        t.replace(3, 2, token);  // the second byte
        WriteAll(dir_ / "t.txt", t);
        r = Cli("edid write t.txt --fix-checksums --verify");
        EXPECT_RUN(r, 2) << token;
        EXPECT_NE(r.err.find("token 2 \"" + std::string(token) + "\""), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadAll(image_), before);

    // Feature names match as the INI layer's names do: letters in any case.
    EXPECT_EQ(Cli("get VIVID.Range").out, "vivid.range=medium\n");
}

// Files: written where they point, read from where they are, nothing stale kept.
TEST_F(CliTest, ProfileSaveReplacesItsSectionAndRefusesWhatIsNoProfile) {
    WriteAll(dir_ / "p.ini", "; bench A\n[Picture]\narea=center\nold.key=1\nvivid=off\n\n[Other]\nk=v\n");
    EXPECT_RUN(Cli("reg write 0x4008001C=0x10"), 0);  // area reads as custom: left out of the file
    Result r = Cli("-q profile save p.ini");
    EXPECT_RUN(r, 0);
    EXPECT_NE(r.err.find("area=custom left out"), std::string::npos) << "--quiet keeps the note";
    const std::string saved = ReadAll(dir_ / "p.ini");
    EXPECT_EQ(saved.rfind("; bench A\n[Picture]\nvivid=on\n", 0), 0u) << saved;
    EXPECT_EQ(saved.find("area="), std::string::npos) << saved;
    EXPECT_EQ(saved.find("old.key"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\n[Other]\nk=v\n"), std::string::npos) << saved;
    EXPECT_RUN(Cli("profile diff p.ini"), 0);
    const std::string image = ReadAll(image_);
    EXPECT_RUN(Cli("profile apply p.ini"), 0);
    EXPECT_EQ(ReadAll(image_), image) << "applying what was just saved changes nothing";

    // A second [Picture] section, or a name twice in another case, is refused.
    for (const char* twice : {"[Picture]\nvivid=on\n[Picture]\nvivid=off\n", "[Picture]\nvivid=on\nVIVID=off\n"}) {
        WriteAll(dir_ / "twice.ini", twice);
        EXPECT_RUN(Cli("profile apply twice.ini"), 2) << twice;
    }
    EXPECT_RUN(Cli("profile apply p.ini"), 0);
    // Not INI text: an EDID, text or binary, is not turned into a profile.
    EXPECT_RUN(Cli("edid read -o e.bin"), 0);
    WriteAll(dir_ / "e.txt", Cli("edid read").out);
    for (const char* file : {"e.bin", "e.txt"}) {
        const std::string old = ReadAll(dir_ / file);
        r = Cli(std::string("profile save ") + file);
        EXPECT_RUN(r, 2) << file;
        EXPECT_EQ(ReadAll(dir_ / file), old);
    }
    // The errno of a failure, not a guess; the size of a file as it is.
    fs::create_directory(dir_ / "folder");
    r = Cli("profile diff folder");
    EXPECT_NE(r.err.find("Is a directory"), std::string::npos) << r.err;
    fs::resize_file(dir_ / "e.txt", 300000000);  // sparse
    r = Cli("edid check e.txt");
    EXPECT_RUN(r, 1);
    EXPECT_NE(r.err.find("300000000 bytes"), std::string::npos) << r.err;
    // A byte-order mark before a text EDID.
    WriteAll(dir_ / "bom.txt", "\xEF\xBB\xBF" + Cli("edid read").out);
    EXPECT_RUN(Cli("edid check bom.txt"), 0);
    // A file name that is not UTF-8 is the file it names.
    EXPECT_RUN(Cli("profile save \"$(printf 'n\\377.ini')\""), 0);
    EXPECT_TRUE(fs::exists(dir_ / "n\xff.ini"));
}

TEST_F(CliTest, WritesFollowLinksPipesAndStandardStreams) {
    EXPECT_RUN(Cli("edid read -o e.bin"), 0);
    const std::string edid = ReadAll(dir_ / "e.bin");
    // A symlink: its target is updated, the link stays; the mode is kept.
    WriteAll(dir_ / "target.bin", "old");
    fs::permissions(dir_ / "target.bin", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("target.bin", dir_ / "link.bin");
    EXPECT_RUN(Cli("edid read -o link.bin"), 0);
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.bin"));
    EXPECT_EQ(ReadAll(dir_ / "target.bin"), edid);
    EXPECT_EQ(fs::status(dir_ / "target.bin").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("saved.ini", dir_ / "profile-link.ini");
    EXPECT_RUN(Cli("profile save profile-link.ini"), 0);
    EXPECT_TRUE(fs::is_symlink(dir_ / "profile-link.ini"));
    EXPECT_EQ(ReadAll(dir_ / "saved.ini").rfind("[Picture]\n", 0), 0u);

    // A pipe is written through to its reader, and stays a pipe.
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    const std::string piped = "cd " + dir_.string() + " && (timeout 10 cat fifo > got.bin &) && " + "(" +
                              CommandLine("edid read -o fifo", "fifo") + "); sleep 0.2";
    std::system(piped.c_str());
    EXPECT_EQ(ReadAll(dir_ / "got.bin"), edid);
    EXPECT_EQ(fs::status(dir_ / "fifo").type(), fs::file_type::fifo);

    // "-": standard output and input.
    EXPECT_EQ(Cli("edid read -o -").out, edid);
    EXPECT_RUN(Cli("edid check - < e.bin"), 0);
    const Result saved = Cli("profile save -");
    EXPECT_RUN(saved, 0);
    EXPECT_EQ(saved.out.rfind("[Picture]\nvivid=on\n", 0), 0u) << saved.out;
    WriteAll(dir_ / "p.ini", saved.out);
    EXPECT_RUN(Cli("profile diff - < p.ini"), 0);
    EXPECT_RUN(Cli("set vivid=off"), 0);
    EXPECT_RUN(Cli("profile apply - < p.ini"), 0);
    EXPECT_EQ(Cli("get vivid").out.rfind("vivid=on\n", 0), 0u);
    EXPECT_RUN(Cli("edid write - < e.bin"), 0);
}

TEST_F(CliTest, ImageFollowsItsLinkChecksFirstAndIsLeftAloneWhenNotNeeded) {
    // Commands that never reach the chip neither create nor lock the image,
    // nor judge the backend.
    EXPECT_RUN(Cli("profile save a.ini"), 0);
    EXPECT_RUN(Cli("edid read -o e.bin"), 0);
    image_ = dir_ / "none.img";
    EXPECT_RUN(Cli("--backend bogus paths"), 0);
    EXPECT_RUN(Cli("--backend bogus edid check e.bin"), 0);
    EXPECT_RUN(Cli("--backend bogus profile diff a.ini a.ini"), 0);
    EXPECT_FALSE(fs::exists(dir_ / "none.img"));
    EXPECT_FALSE(fs::exists(dir_ / "none.img.lock"));

    // A symlinked image: the target holds the changes and the lock.
    image_ = dir_ / "link.img";
    fs::create_symlink("chip.img", image_);
    EXPECT_RUN(Cli("set vivid.intensity=42"), 0);
    EXPECT_TRUE(fs::is_symlink(image_));
    image_ = dir_ / "chip.img";
    EXPECT_EQ(Cli("get vivid.intensity").out, "vivid.intensity=42\n");
    image_ = dir_ / "link.img";
    const std::string held = "cd " + dir_.string() + " && (flock chip.img.lock sleep 3 &) && sleep 0.3 && " +
                             CommandLine("--lock-timeout 0.5 get", "held");
    const int status = std::system(held.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 4);
    const std::vector<std::string> err = Lines(ReadAll(dir_ / "held.err"));
    ASSERT_EQ(err.size(), 2u);
    EXPECT_NE(err[0].find("waiting up to 0.5 s"), std::string::npos) << err[0];
    EXPECT_NE(err[1].find("in use by another program"), std::string::npos) << err[1];

    // The first line is checked before the rest is read, and the size capped:
    // a pipe or an oversized file is refused at once.
    image_ = dir_ / "fifo.img";
    ASSERT_EQ(mkfifo(image_.c_str(), 0600), 0);
    Result r = Cli("get");
    EXPECT_RUN(r, 2);
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
    image_ = dir_ / "big.img";
    std::string big = "TUNEDESK-SIM-IMAGE 1\n";
    while (big.size() < 5000000) big += "# padding padding padding padding padding padding padding\n";
    WriteAll(image_, big);
    r = Cli("get");
    EXPECT_RUN(r, 2);
    EXPECT_NE(r.err.find(std::to_string(big.size()) + " bytes"), std::string::npos) << r.err;
}

// Signals: a reader that went away or a kill still leaves the image stored.
TEST_F(CliTest, BrokenPipeAndTerminationStoreTheImage) {
    // Standard output is the pipe here, not a file.
    std::string toPipe = CommandLine("set vivid=off", "pipe");
    toPipe.erase(toPipe.find(" >pipe.out"), std::string(" >pipe.out").size());
    const std::string pipeLine = "{ sleep 0.3; (" + toPipe + "); echo $? > pipe.rc; } | true";
    std::system(("cd " + dir_.string() + " && " + pipeLine).c_str());
    EXPECT_EQ(ReadAll(dir_ / "pipe.rc"), "1\n") << ReadAll(dir_ / "pipe.err");
    EXPECT_NE(ReadAll(dir_ / "pipe.err").find("standard output"), std::string::npos);
    EXPECT_EQ(Cli("get vivid").out.rfind("vivid=off\n", 0), 0u);

    // Terminated during the EDID write (which pauses 600 ms after its start):
    // the write ends, the image is stored, the exit code tells the signal.
    EXPECT_RUN(Cli("edid read -o e.bin"), 0);
    std::string edid = ReadAll(dir_ / "e.bin");
    edid[12] = 0x33;
    WriteAll(dir_ / "e.bin", edid);
    const std::string killed =
        "cd " + dir_.string() + " && (" + CommandLine("--log term.log edid write e.bin --fix-checksums", "term") +
        ") & pid=$!; sleep 0.3; kill -TERM $pid; wait $pid; echo $? > " + (dir_ / "term.rc").string();
    std::system(killed.c_str());
    EXPECT_EQ(ReadAll(dir_ / "term.rc"), "143\n") << ReadAll(dir_ / "term.err");
    EXPECT_EQ(Cli("edid read").out.substr(3 * 12, 2), "33");

    // Killed outright: every log line written before the kill is whole.
    const std::string nine = "cd " + dir_.string() + " && (" +
                             CommandLine("--log kill.log edid write e.bin --fix-checksums", "nine") +
                             ") & pid=$!; sleep 0.5; kill -KILL $pid; wait $pid";
    std::system(nine.c_str());
    const std::string log = ReadAll(dir_ / "kill.log");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\n');
    EXPECT_NE(log.find("The selected device opened successfully!"), std::string::npos);
}

// Output: what was written is said, in one stream a script can parse.
TEST_F(CliTest, PartialWritesFullLogsAndRepeatedKeysAreReported) {
    // Refused writes at a rate: find a seed where the first assignment goes
    // through and a later one fails.
    Result r;
    int seed = 1;
    for (; seed < 60; ++seed) {
        EXPECT_RUN(Cli("set vivid.intensity=130 contrast.brightness=128"), 0);
        r = Cli("--json --faults seed=" + std::to_string(seed) +
                ",rate=0.25,kinds=write set vivid.intensity=7 contrast.brightness=9");
        if (r.code == 1 && r.err.find("written before") != std::string::npos) break;
    }
    ASSERT_LT(seed, 60) << r.out << r.err;
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find("written before: vivid.intensity=7"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("\"written\": {\"vivid.intensity\": 7}"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.rfind("{\"error\": ", 0), 0u) << r.out;
    EXPECT_EQ(Cli("get vivid.intensity").out, "vivid.intensity=7\n");
    for (seed = 1; seed < 60; ++seed) {
        r = Cli("--json --faults seed=" + std::to_string(seed) +
                ",rate=0.25,kinds=write reg write 0x10=1 0x20=2 0x30=3 --cmd 0x0200/0x2000");
        if (r.code == 1 && r.err.find("written before") != std::string::npos) break;
    }
    ASSERT_LT(seed, 60) << r.out << r.err;
    EXPECT_NE(r.out.find("\"written\": {\"0x00000010\": \"0x00000001\""), std::string::npos) << r.out;

    // A log that cannot be written is one error line and exit 1.
    r = Cli("--log /dev/full get vivid");
    EXPECT_RUN(r, 1);
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;

    // One key per name; EDID bytes and saved entries in JSON too.
    r = Cli("--json reg read 0x40080040 0x40080044 0x40080040");
    EXPECT_EQ(r.out.find("\"0x40080040\""), r.out.rfind("\"0x40080040\"")) << r.out;
    EXPECT_EQ(Cli("--json edid read").out.rfind("{\"edid\": [0, 255, 255, 255, 255, 255, 255, 0, ", 0), 0u);
    EXPECT_EQ(Cli("--json profile save j.ini").out.rfind("{\"vivid\": ", 0), 0u);

    // A refused EDID write is one line; "list" without a bridge says so.
    EXPECT_RUN(Cli("edid read -o e.bin"), 0);
    std::string bad = ReadAll(dir_ / "e.bin");
    bad[0] = 0x01;
    bad[200] = static_cast<char>(bad[200] + 1);
    WriteAll(dir_ / "bad.bin", bad);
    r = Cli("edid write bad.bin");
    EXPECT_RUN(r, 2);
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
    r = Cli("--backend usb list");
    EXPECT_RUN(r, 3);
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
}

}  // namespace
