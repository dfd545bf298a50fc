// Shared fixtures of the panel core tests: a settings file in a fresh temporary
// folder, a simulator back at power-on, and the register log captured in memory.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Points the settings file at <temp folder>/Config.ini for the test's lifetime
// and removes the folder afterwards.
class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path IniPath() const { return dir_ / "Config.ini"; }
    // Replaces the settings file with `text` (bytes as given).
    void WriteIni(const std::string& text) const;
    std::string ReadIni() const;

    std::filesystem::path dir_;
};

// Collects the lines SPIUtil hands to its log sink; thread-safe.
class LogCapture {
public:
    LogCapture();   // installs itself as the log sink
    ~LogCapture();  // removes the sink
    std::vector<std::u16string> Lines() const;
    // The lines as UTF-8, for readable test failures.
    std::vector<std::string> Utf8Lines() const;
    void Clear();

private:
    mutable std::mutex lock_;
    std::vector<std::u16string> lines_;
};

// SettingsFileTest + simulator reset + bridge 0 opened through spilink,
// SPIRWDelay 0 in the settings file, log captured.
class SimDeviceTest : public SettingsFileTest {
protected:
    void SetUp() override;
    void TearDown() override;

    static constexpr unsigned long kDevice = 0;
    std::unique_ptr<LogCapture> log_;
};

std::string Utf8(const std::u16string& text);
