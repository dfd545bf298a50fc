// The feature table: the rules its rows must keep, every value's text both
// ways, and each row's getter and setter against the simulated chip.
#include <algorithm>
#include <set>
#include <string>

#include "Ch347Sim.h"
#include "Features.h"
#include "SPIUtil.h"
#include "support/core_fixture.h"

using features::Feature;
using features::Kind;

namespace {

TEST(FeatureTable, RowsAreConsistent) {
    std::set<std::string> names;
    for (const Feature& f : features::Table()) {
        SCOPED_TRACE(f.name);
        ASSERT_NE(f.name, nullptr);
        EXPECT_TRUE(names.insert(f.name).second) << "name listed twice";
        EXPECT_EQ(features::Find(f.name), &f);
        for (const char c : std::string(f.name)) EXPECT_TRUE((c >= 'a' && c <= 'z') || c == '.' || c == '-') << c;

        switch (f.kind) {
        case Kind::OnOff: EXPECT_EQ(f.max, 0u) << "the range of on/off is fixed"; break;
        case Kind::Number: EXPECT_GT(f.max, 0u); break;
        case Kind::Choice:
            ASSERT_NE(f.choices, nullptr);
            EXPECT_GT(f.writableChoices, 0u);
            EXPECT_LE(f.writableChoices, f.choiceCount);
            EXPECT_EQ(f.max, 0u) << "a choice's range is its names";
            break;
        }
        if (f.kind != Kind::Choice) {
            EXPECT_TRUE(f.choices == nullptr && f.choiceCount == 0 && f.writableChoices == 0);
        }
        for (unsigned int i = 0; i < f.choiceCount; ++i) {
            EXPECT_STRNE(f.choices[i], "unknown") << "\"unknown\" stands for codes no name stands for";
            for (unsigned int j = 0; j < i; ++j) EXPECT_STRNE(f.choices[i], f.choices[j]);
        }

        EXPECT_EQ(f.readable, static_cast<bool>(f.getter)) << "read back exactly when there is a getter";
        EXPECT_EQ(f.writable, static_cast<bool>(f.setter)) << "written exactly when there is a setter";
        EXPECT_LT(f.getter.Output(), std::max(f.getter.Outputs(), 1u));
        if (f.setter.NeedsCurrent()) {
            EXPECT_TRUE(f.getter.GivesRaw()) << "the setter needs the register's raw value";
        }

        // Features that share a getter each have an output of their own.
        for (const Feature& g : features::Table()) {
            if (&g != &f && f.getter && f.getter.SameCall(g.getter)) {
                EXPECT_NE(f.getter.Output(), g.getter.Output());
            }
        }

        const Feature* function = features::FunctionOf(f);
        EXPECT_EQ(f.function == nullptr, function == nullptr) << "the function is a feature of the table";
        EXPECT_EQ(function != nullptr, f.whenOff != features::WhenOff::Write);
        if (function != nullptr) {
            EXPECT_EQ(function->kind, Kind::OnOff);
            EXPECT_TRUE(function->writable);
            EXPECT_EQ(function->function, nullptr) << "functions do not nest";
        }
    }
}

// Every value that can be written comes back from its text; read-only values
// come back only as read values; anything beyond the range is refused.
TEST(FeatureTable, EveryValueRoundTripsThroughItsText) {
    for (const Feature& f : features::Table()) {
        SCOPED_TRACE(f.name);
        const unsigned int max = features::MaxValue(f);
        std::string error;
        for (unsigned int v = 0; v <= max; ++v) {
            const std::string text = features::FormatValue(f, v);
            unsigned int written = ~0u, read = ~0u;
            ASSERT_TRUE(features::ParseValue(f, text, written, error)) << text << ": " << error;
            ASSERT_TRUE(features::ParseReadValue(f, text, read, error)) << text << ": " << error;
            ASSERT_EQ(written, v) << text;
            ASSERT_EQ(read, v) << text;
        }
        unsigned int value = 0;
        switch (f.kind) {
        case Kind::OnOff:
            EXPECT_EQ(features::FormatValue(f, 7), "on");
            for (const char* on : {"ON", "true", "1"}) {
                EXPECT_TRUE(features::ParseValue(f, on, value, error) && value == 1) << on;
            }
            EXPECT_FALSE(features::ParseValue(f, "2", value, error));
            EXPECT_EQ(error, std::string(f.name) + ": \"2\" is not on or off");
            break;
        case Kind::Number:
            EXPECT_TRUE(features::ParseValue(f, "0x3F", value, error) && value == 63);
            EXPECT_FALSE(features::ParseValue(f, std::to_string(max + 1), value, error));
            EXPECT_EQ(error, std::string(f.name) + ": " + std::to_string(max + 1) + " is out of range (0-" +
                                 std::to_string(max) + ")");
            for (const char* bad : {"", "-1", "1.5", "0x", "0x100000000", "99999999999"})
                EXPECT_FALSE(features::ParseValue(f, bad, value, error)) << bad;
            break;
        case Kind::Choice:
            for (unsigned int v = f.writableChoices; v < f.choiceCount; ++v) {
                const std::string text = features::FormatValue(f, v);
                EXPECT_FALSE(features::ParseValue(f, text, value, error)) << text;
                EXPECT_EQ(error, std::string(f.name) + ": " + text + " can be read but not written");
                EXPECT_TRUE(features::ParseReadValue(f, text, value, error) && value == v) << text;
            }
            // A code no name stands for is "unknown", and stays "unknown".
            EXPECT_EQ(features::FormatValue(f, f.choiceCount), "unknown");
            ASSERT_TRUE(features::ParseReadValue(f, "Unknown", value, error));
            EXPECT_EQ(features::FormatValue(f, value), "unknown");
            EXPECT_FALSE(features::ParseValue(f, "unknown", value, error));
            std::string upper = f.choices[0];
            for (char& c : upper) c = static_cast<char>(c - 'a' + 'A');
            EXPECT_TRUE(features::ParseValue(f, upper, value, error) && value == 0) << upper;
            break;
        }
    }

    features::Assignment a;
    std::string error;
    EXPECT_TRUE(features::ParseAssignment("contrast.brightness=0x20", a, error));
    EXPECT_EQ(a.feature, features::Find("contrast.brightness"));
    EXPECT_EQ(a.value, 0x20u);
    EXPECT_FALSE(features::ParseAssignment("nosuch=1", a, error));
    EXPECT_EQ(error, "unknown feature \"nosuch\"");
    EXPECT_FALSE(features::ParseAssignment("vivid", a, error));
    EXPECT_EQ(error, "\"vivid\" is not NAME=VALUE");
    EXPECT_EQ(a.feature, features::Find("contrast.brightness")) << "a refused assignment leaves `out` alone";
}

class FeatureAccess : public SimDeviceTest {
protected:
    std::vector<std::string> TakeLog() {
        std::vector<std::string> lines = log_->Utf8Lines();
        log_->Clear();
        return lines;
    }
};

// Each row's setter writes what its getter reads: a wrong register-map
// function or output in a row shows here.
TEST_F(FeatureAccess, EveryFeatureReadsBackWhatWasWritten) {
    for (const Feature& f : features::Table()) {
        if (!f.readable) continue;
        SCOPED_TRACE(f.name);
        // The top of the range, and for on/off both states.
        for (const unsigned int v : {features::MaxValue(f), 0u}) {
            ASSERT_TRUE(features::Write(kDevice, {&f, v}));
            unsigned int back = ~0u;
            ASSERT_TRUE(features::Read(kDevice, f, back));
            EXPECT_EQ(back, v);
        }
    }
    // The size has no getter: its kernel's centre coefficient shows the write.
    ASSERT_TRUE(features::Write(kDevice, {features::Find("sharpening.size"), 2}));
    EXPECT_EQ(sim::GetRegister(kDevice, 0x0400, 0x40088000 + 4 * 60), 24576u);
    // A value only the chip reports ("custom") is no preset to write.
    sim::ClearRecord(kDevice);
    EXPECT_FALSE(features::Write(kDevice, {features::Find("area"), 4}));
    EXPECT_EQ(sim::Inspect(kDevice).writeCalls, 0);
}

TEST_F(FeatureAccess, GroupedReadsTakeOneTransactionAndSwitchOnWritesOnlyWhenOff) {
    const Feature* group[] = {features::Find("contrast"), features::Find("contrast.auto-brightness"),
                              features::Find("contrast.adaptive")};
    ASSERT_TRUE(sim::SetRegister(kDevice, 0x0400, 0x40080034, 0x0000C502));
    TakeLog();
    sim::ClearRecord(kDevice);
    unsigned int values[3] = {};
    ASSERT_TRUE(features::ReadTogether(kDevice, group, values));
    EXPECT_EQ(sim::Inspect(kDevice).writeCalls, 1);
    EXPECT_EQ(values[0], 0u);
    EXPECT_EQ(values[1], 1u);
    EXPECT_EQ(values[2], 0xC5u);
    EXPECT_EQ(TakeLog().size(), 6u) << "TX, RX, REG and the three values";
    const Feature* mixed[] = {features::Find("contrast"), features::Find("vivid")};
    EXPECT_FALSE(features::ReadTogether(kDevice, mixed, values)) << "two getters are two transactions";

    // Without the current value asked for, the getter logs none.
    ASSERT_TRUE(features::Write(kDevice, {group[2], 7}, {.logCurrent = false}));
    for (const std::string& line : TakeLog()) EXPECT_EQ(line.find("Adaptive Contrast Value"), std::string::npos);

    const Feature& noiseRemove = *features::Find("noise-remove");
    ASSERT_TRUE(features::Write(kDevice, {&noiseRemove, 0}));
    sim::ClearRecord(kDevice);
    EXPECT_TRUE(features::SwitchOn(kDevice, noiseRemove));
    EXPECT_EQ(sim::Inspect(kDevice).writeCalls, 2) << "read, then write";
    EXPECT_EQ(sim::GetRegister(kDevice, 0x0400, 0x4008003C) & 0x3, 0x2u);
    sim::ClearRecord(kDevice);
    EXPECT_TRUE(features::SwitchOn(kDevice, noiseRemove));
    EXPECT_EQ(sim::Inspect(kDevice).writeCalls, 1) << "already on: the read only";

    // The write that switches on is refused (the read before it went through).
    ASSERT_TRUE(features::Write(kDevice, {&noiseRemove, 0}));
    SetLogSink([](const std::u16string& line) {
        if (line == u"Noise Remove On/Off State: OFF!") sim::InjectFault(kDevice, sim::Fault::WriteRefused);
    });
    EXPECT_FALSE(features::SwitchOn(kDevice, noiseRemove));
    EXPECT_EQ(sim::GetRegister(kDevice, 0x0400, 0x4008003C) & 0x3, 0x1u);
}

}  // namespace
