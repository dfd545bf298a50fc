#include "support/core_fixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Ch347Sim.h"
#include "IniFile.h"
#include "SPIUtil.h"
#include "SpiSettingFile.h"
#include "Convert.h"
#include "spilink.h"

namespace fs = std::filesystem;

std::string Utf8(const std::u16string& text) { return Utf16ToUtf8(text); }

void SettingsFileTest::SetUp() {
    char tmpl[] = "/tmp/tunedesk_core_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    SetIniFilePathForTest(Utf8ToUtf16(IniPath().string()));
}

void SettingsFileTest::TearDown() {
    SetIniFilePathForTest(u"");
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void SettingsFileTest::WriteIni(const std::string& text) const {
    std::ofstream(IniPath(), std::ios::binary | std::ios::trunc) << text;
}

std::string SettingsFileTest::ReadIni() const {
    std::ifstream in(IniPath(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

LogCapture::LogCapture() {
    SetLogSink([this](const std::u16string& line) {
        std::lock_guard<std::mutex> lock(lock_);
        lines_.push_back(line);
    });
}

LogCapture::~LogCapture() { SetLogSink(nullptr); }

std::vector<std::u16string> LogCapture::Lines() const {
    std::lock_guard<std::mutex> lock(lock_);
    return lines_;
}

std::vector<std::string> LogCapture::Utf8Lines() const {
    std::vector<std::string> out;
    for (const auto& line : Lines()) out.push_back(Utf8(line));
    return out;
}

void LogCapture::Clear() {
    std::lock_guard<std::mutex> lock(lock_);
    lines_.clear();
}

void SimDeviceTest::SetUp() {
    SettingsFileTest::SetUp();
    sim::Reset();
    ASSERT_TRUE(SaveSPIRWDelay(0));
    _UI_SPI_CONFIG config;
    LoadSpiConfig(config);
    ASSERT_EQ(libComm_OpenDevice(kDevice, config), 1);
    sim::ClearRecord(kDevice);
    log_ = std::make_unique<LogCapture>();
}

void SimDeviceTest::TearDown() {
    log_.reset();
    libComm_CloseDevice(kDevice);
    sim::Reset();
    SettingsFileTest::TearDown();
}
