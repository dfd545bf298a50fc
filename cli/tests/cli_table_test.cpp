// The command and option records against what the help prints and what the
// man pages say: what the program accepts is what both list. And set
// --verify's comparison, in-process, where a chip that reads back something
// else can be arranged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Cli.h"
#include "Features.h"
#include "SpiSettingFile.h"
#include "StartOptions.h"
#include "spilink.h"

namespace {

std::string HelpOf(std::string_view word) {
    std::FILE* f = std::tmpfile();
    EXPECT_TRUE(cli::PrintHelp(word, f));
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
    std::fclose(f);
    return text;
}

// The text a man page line shows: font macros and escapes taken out.
std::string Shown(const std::string& line) {
    std::string text;
    if (!line.empty() && line[0] == '.') {
        const size_t blank = line.find(' ');
        const std::string macro = line.substr(1, blank == std::string::npos ? std::string::npos : blank - 1);
        // .B and .I join their words with blanks, the alternating macros without.
        const bool alternating = macro.size() == 2;
        std::vector<std::string> words;
        std::string word;
        bool quoted = false, any = false;
        for (size_t i = blank == std::string::npos ? line.size() : blank + 1; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') {
                quoted = !quoted;
                any = true;
            } else if (c == ' ' && !quoted) {
                if (any || !word.empty()) words.push_back(word);
                word.clear();
                any = false;
            } else {
                word += c;
            }
        }
        if (any || !word.empty()) words.push_back(word);
        for (size_t i = 0; i < words.size(); ++i) text += (i > 0 && !alternating ? " " : "") + words[i];
    } else {
        text = line;
    }
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'f') {
            i += 2;  // \fB, \fR, \fI
        } else if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '-') {
            out += '-';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Each section of a man page as its lines.
std::map<std::string, std::vector<std::string>> Sections(const std::string& file) {
    std::ifstream in(std::string(TUNEDESK_MAN_DIR) + "/" + file);
    EXPECT_TRUE(in.good()) << file;
    std::map<std::string, std::vector<std::string>> sections;
    std::string current;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(".SH ", 0) == 0)
            current = line.substr(4);
        else
            sections[current].push_back(line);
    }
    return sections;
}

// The tags of a section's .TP/.TQ items, as shown.
std::vector<std::string> Tags(const std::vector<std::string>& lines) {
    std::vector<std::string> tags;
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        if (lines[i] == ".TP" || lines[i] == ".TQ") tags.push_back(Shown(lines[i + 1]));
    return tags;
}

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST(CliTable, HelpListsEveryCommandOptionAndFeature) {
    const std::string overview = HelpOf("");
    for (const cmdline::Option& o : cli::GlobalOptions())
        EXPECT_NE(overview.find("\n  " + cmdline::Spelling(o) + " "), std::string::npos) << o.name;
    for (const char* spelling : {"--faults SETTINGS", "--quiet, -q", "--help, -h"})
        EXPECT_NE(overview.find(spelling), std::string::npos) << spelling;
    for (const cli::Command& c : cli::Commands()) {
        EXPECT_NE(overview.find("\n  " + std::string(c.name)), std::string::npos) << c.name;
        const std::string word(c.name.substr(0, c.name.find(' ')));
        const std::string help = HelpOf(word);
        EXPECT_NE(help.find("tunedesk-cli " + cli::Synopsis(c) + "\n"), std::string::npos) << help;
        for (const cmdline::Option& o : c.options)
            EXPECT_NE(help.find("\n  " + cmdline::Spelling(o) + " "), std::string::npos) << c.name << o.name;
    }
    const std::string get = HelpOf("get");
    auto listed = [](const std::string& text, const std::string& name) {
        return text.find(" " + name + ",") != std::string::npos || text.find(" " + name + "\n") != std::string::npos;
    };
    for (const features::Feature& f : features::Table()) {
        EXPECT_TRUE(listed(overview, f.name)) << f.name;
        EXPECT_EQ(listed(get, f.name), f.readable) << f.name;
    }
}

TEST(CliTable, ManPageAgreesWithTheRecords) {
    auto man = Sections("tunedesk-cli.1");
    std::string synopsis;
    for (const std::string& line : man["SYNOPSIS"]) synopsis += (synopsis.empty() ? "" : " ") + Shown(line);
    EXPECT_EQ("usage: " + synopsis + "\n", HelpOf("").substr(0, HelpOf("").find('\n') + 1));

    std::vector<std::string> options;
    for (const cmdline::Option& o : cli::GlobalOptions()) options.push_back(cmdline::Spelling(o));
    EXPECT_EQ(Tags(man["OPTIONS"]), options);

    std::vector<std::string> commands;
    for (const cli::Command& c : cli::Commands()) commands.push_back(cli::Synopsis(c));
    EXPECT_EQ(Tags(man["COMMANDS"]), commands);

    std::vector<std::string> codes;
    for (const cli::ExitCode& e : cli::ExitCodes()) codes.push_back(std::to_string(e.code));
    codes.push_back("128+N");
    EXPECT_EQ(Tags(man["EXIT STATUS"]), codes);

    // The feature table: one row per feature, in table order.
    std::vector<std::pair<std::string, std::string>> rows;
    const std::vector<std::string>& lines = man["FEATURES"];
    bool inTable = false, block = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line == ".TS") {
            inTable = true;
            ++i;  // the format line
        } else if (line == ".TE") {
            inTable = false;
        } else if (inTable && block) {
            if (line == "T}")
                block = false;
            else
                rows.back().second += Shown(line);
        } else if (inTable && line.find('\t') != std::string::npos) {
            const std::string value = line.substr(line.find('\t') + 1);
            block = value == "T{";
            rows.emplace_back(Shown(line.substr(0, line.find('\t'))), block ? "" : Shown(value));
        }
    }
    ASSERT_EQ(rows.size(), features::Table().size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const features::Feature& f = features::Table()[i];
        EXPECT_EQ(rows[i].first, f.name);
        if (f.kind == features::Kind::OnOff) {
            EXPECT_EQ(rows[i].second, "on, off") << f.name;
        }
        for (unsigned int v = 0; f.kind == features::Kind::Choice && features::FormatValue(f, v) != "unknown"; ++v)
            EXPECT_NE(rows[i].second.find(features::FormatValue(f, v)), std::string::npos) << f.name << v;
    }

    // The panel's page lists the start options both programs take.
    std::vector<std::string> panel;
    for (const std::string& tag : Tags(Sections("tunedesk.1")["OPTIONS"])) panel.push_back(Lowered(tag));
    for (const cmdline::Option& o : StartOptionTable())
        EXPECT_NE(std::find(panel.begin(), panel.end(), Lowered(cmdline::Spelling(o))), panel.end()) << o.name;
}

// The read-back of set --verify against a chip at power-on: a value the chip
// does not hold is a difference, and the process size is compared as its kernel.
TEST(CliReadBack, VerifyFindsAFieldOrAKernelThatDiffers) {
    char tmpl[] = "/tmp/tunedesk_cli_readback_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::filesystem::path dir = tmpl;
    std::ofstream(dir / "Config.ini") << "[SpiSetting]\nSPIRWDelay=0\n";
    SetIniFilePathForTest((dir / "Config.ini").u16string());
    StartOptions options;
    options.backend = "sim";
    std::string error;
    ASSERT_TRUE(ApplyStartOptions(options, error)) << error;
    cli::Context ctx;
    ctx.command = "set";
    ASSERT_EQ(cli::OpenDevice(ctx), cli::kOk);

    const features::Feature* brightness = features::Find("contrast.brightness");
    const features::Feature* size = features::Find("sharpening.size");
    testing::internal::CaptureStderr();
    EXPECT_EQ(cli::VerifyAssignment(ctx, {brightness, 128}), cli::ReadBack::Same);
    EXPECT_EQ(cli::VerifyAssignment(ctx, {brightness, 80}), cli::ReadBack::Differs);
    EXPECT_EQ(cli::VerifyAssignment(ctx, {size, 1}), cli::ReadBack::Same);  // Medium at power-on
    EXPECT_EQ(cli::VerifyAssignment(ctx, {size, 2}), cli::ReadBack::Differs);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tunedesk-cli: set: contrast.brightness: wrote 80, read back 128\n"
              "tunedesk-cli: set: sharpening.size: wrote small, read back coefficient 36 as -128, not 0\n");

    libComm_CloseDevice(ctx.device);
    FinishStartOptions();
    SetIniFilePathForTest(u"");
    std::filesystem::remove_all(dir);
}

}  // namespace
