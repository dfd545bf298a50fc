// The register console driven as a user drives it, headless, against the
// simulated bridge and chip: fields typed, buttons clicked, messages recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include "CHListBox.h"
#include "Ch347Sim.h"
#include "LogQueue.h"
#include "SPIUtil.h"
#include "SpiReadWrite.h"
#include "SpiReadWriteOps.h"
#include "StrFormat.h"
#include "TimeUtil.h"
#include "UiHooks.h"
#include "WorkerThread.h"
#include "TunedeskDlg.h"
#include "support/core_fixture.h"
#include "support/gui_device_fixture.h"
#include "support/gui_panel.h"

namespace {

std::u16string U(const char* text) { return QString::fromUtf8(text).toStdU16String(); }

// ---- Parsing, without a window ---------------------------------------------------

struct Recorder {
    std::vector<std::u16string> texts;
    spirw::Notify notify() {
        return [this](const std::u16string& t) { texts.push_back(t); };
    }
};

std::vector<unsigned int> ParseAddr(const char* text, Recorder& rec, bool* ok = nullptr) {
    std::list<unsigned int> out;
    const bool r = spirw::ParseHexList(U(text), spirw::Field::Address, out, rec.notify());
    if (ok) *ok = r;
    return {out.begin(), out.end()};
}

TEST(ConsoleParse, AddressAndDataFields) {
    EXPECT_TRUE(spirw::IsHexText(u""));
    EXPECT_TRUE(spirw::IsHexText(u"0x"));
    EXPECT_TRUE(spirw::IsHexText(u"0x1f"));
    EXPECT_FALSE(spirw::IsHexText(u"0X1F"));  // fields are lowered before this test
    EXPECT_FALSE(spirw::IsHexText(u"1g"));
    EXPECT_FALSE(spirw::IsHexText(u"1 2"));

    Recorder rec;
    bool ok = false;
    EXPECT_EQ(ParseAddr("0x40080060, 40080038", rec, &ok), (std::vector<unsigned int>{0x40080060, 0x40080038}));
    EXPECT_TRUE(ok);
    EXPECT_EQ(ParseAddr("  0X4008006A\n", rec), std::vector<unsigned int>{0x4008006A});
    EXPECT_EQ(ParseAddr("10,,20", rec), (std::vector<unsigned int>{0x10, 0x0, 0x20}));
    EXPECT_EQ(ParseAddr("10,", rec), (std::vector<unsigned int>{0x10, 0x0}));
    EXPECT_EQ(ParseAddr("10,\r\n20", rec), (std::vector<unsigned int>{0x10, 0x20}));  // break beside a comma
    EXPECT_EQ(ParseAddr("0xFFFFFFFF", rec), std::vector<unsigned int>{0xFFFFFFFF});
    EXPECT_TRUE(rec.texts.empty());

    EXPECT_TRUE(ParseAddr("123456789", rec, &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(ParseAddr("0x10, 0x123456789", rec, &ok).size() == 1);  // the first field was appended
    EXPECT_FALSE(ok);
    ParseAddr(" \t\n", rec, &ok);
    EXPECT_FALSE(ok);
    ParseAddr("10\n20", rec, &ok);  // a break inside a field
    EXPECT_FALSE(ok);
    ParseAddr("12, XYZ", rec, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(rec.texts,
              (std::vector<std::u16string>{spirw::msg::kTooLong, spirw::msg::kTooLong, spirw::msg::kAddrEmpty,
                                           u"The format of register address:10\n20 is illegal!",
                                           u"The format of register address:xyz is illegal!"}));

    Recorder data;
    std::list<unsigned int> out;
    EXPECT_FALSE(spirw::ParseHexList(u"", spirw::Field::Data, out, data.notify()));
    EXPECT_FALSE(spirw::ParseHexList(u"5,-1", spirw::Field::Data, out, data.notify()));
    EXPECT_EQ(data.texts, (std::vector<std::u16string>{u"Register data can't be empty!",
                                                       u"The format of register data:-1 is illegal!"}));
}

TEST(ConsoleParse, CommandWords) {
    Recorder rec;
    unsigned short cmd = 0;
    for (int i = 0; i < spirw::kCmdPairCount; ++i) {
        spirw::CmdChoice pair{i, u"garbage", true};  // the edit is ignored for the four pairs
        ASSERT_TRUE(spirw::GetCmdValue(pair, true, cmd, rec.notify()));
        EXPECT_EQ(cmd, spirw::kCmdPairs[i].read);
        ASSERT_TRUE(spirw::GetCmdValue(pair, false, cmd, rec.notify()));
        EXPECT_EQ(cmd, spirw::kCmdPairs[i].write);
    }
    EXPECT_EQ(spirw::kCmdPairs[2].read, 0x0600);
    EXPECT_EQ(spirw::kCmdPairs[3].write, 0x7000);

    spirw::CmdChoice other{spirw::kCmdOtherIndex, u"4000,0400", true};
    ASSERT_TRUE(spirw::GetCmdValue(other, false, cmd, rec.notify()));
    EXPECT_EQ(cmd, 0x4000);
    ASSERT_TRUE(spirw::GetCmdValue(other, true, cmd, rec.notify()));
    EXPECT_EQ(cmd, 0x0400);
    other.readBack = false;  // without "Read back" the first word serves both
    ASSERT_TRUE(spirw::GetCmdValue(other, true, cmd, rec.notify()));
    EXPECT_EQ(cmd, 0x4000);

    spirw::CmdChoice wide{-1, u"12345", false};  // no selection counts as "Other"
    ASSERT_TRUE(spirw::GetCmdValue(wide, true, cmd, rec.notify()));
    EXPECT_EQ(cmd, 0x2345);
    EXPECT_TRUE(rec.texts.empty());

    spirw::CmdChoice single{spirw::kCmdOtherIndex, u"4000", true};
    EXPECT_TRUE(spirw::GetCmdValue(single, false, cmd, rec.notify()));
    EXPECT_FALSE(spirw::GetCmdValue(single, true, cmd, rec.notify()));
    spirw::CmdChoice empty{spirw::kCmdOtherIndex, u"  ", false};
    EXPECT_FALSE(spirw::GetCmdValue(empty, true, cmd, rec.notify()));
    spirw::CmdChoice bad{spirw::kCmdOtherIndex, u"40g0", false};
    EXPECT_FALSE(spirw::GetCmdValue(bad, true, cmd, rec.notify()));
    EXPECT_EQ(rec.texts, (std::vector<std::u16string>{u"Failed to obtain read command!", u"CMD values can't be empty!",
                                                      u"The format of cmd value:40g0 is illegal!"}));
}

TEST(ConsoleParse, EdidText) {
    unsigned int values[256];
    for (unsigned int i = 0; i < 256; ++i) values[i] = i;
    const std::u16string text = spirw::FormatEdidText(values);
    ASSERT_EQ(text.size(), 16u * (16 * 3 + 2));
    EXPECT_EQ(text.substr(0, 50), u"00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \r\n");
    EXPECT_EQ(text.substr(text.size() - 50), u"F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF \r\n");

    Recorder rec;
    std::vector<unsigned char> bytes;
    unsigned int count = 0;
    ASSERT_TRUE(spirw::ParseEdidData(text, bytes, count, rec.notify()));
    ASSERT_EQ(count, 256u);
    for (unsigned int i = 0; i < 256; ++i) EXPECT_EQ(bytes[i], i);

    ASSERT_TRUE(spirw::ParseEdidData(u"1FF 0x1a  7\n 0X00", bytes, count, rec.notify()));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(bytes, (std::vector<unsigned char>{0xFF, 0x1A, 0x07, 0x00}));
    EXPECT_TRUE(rec.texts.empty());

    EXPECT_FALSE(spirw::ParseEdidData(u" \r\n ", bytes, count, rec.notify()));  // empty: no message
    EXPECT_TRUE(rec.texts.empty());
    EXPECT_FALSE(spirw::ParseEdidData(u"12\n34 56", bytes, count, rec.notify()));
    EXPECT_FALSE(spirw::ParseEdidData(u"12 123456789", bytes, count, rec.notify()));
    EXPECT_EQ(rec.texts,
              (std::vector<std::u16string>{u"The format of read/write data:12\n34 is illegal!", spirw::msg::kTooLong}));
}

// ---- The console window on the simulated chip ------------------------------------

// One request the chip was sent (default byte order: high byte first).
struct Request {
    unsigned short command;
    unsigned int address;
    unsigned int value;
    bool write;
};

std::vector<Request> Requests() {
    std::vector<Request> out;
    for (const auto& w : sim::GetWrites(0)) {
        if (w.size() < 10) continue;
        auto word32 = [&](size_t at) {
            return (unsigned(w[at]) << 24) | (unsigned(w[at + 1]) << 16) | (unsigned(w[at + 2]) << 8) | w[at + 3];
        };
        Request r{static_cast<unsigned short>((w[2] << 8) | w[3]), word32(4), 0, w.size() == 14};
        if (r.write) r.value = word32(8);
        out.push_back(r);
    }
    return out;
}

std::u16string EdidTextOf(const std::array<std::uint8_t, 256>& edid) {
    unsigned int values[256];
    for (unsigned int i = 0; i < 256; ++i) values[i] = edid[i];
    return spirw::FormatEdidText(values);
}

// The same text as the multi-line field holds it: the edit keeps line feeds only.
std::u16string AsShown(std::u16string text) {
    std::erase(text, u'\r');
    return text;
}

// Where byte `i` stands in the text EDID Read builds (16 "XX " per line + CR LF).
size_t ByteOffset(unsigned int i) { return (i / 16) * 50 + (i % 16) * 3; }

class ConsoleTest : public SimDeviceTest {
protected:
    void SetUp() override {
        PanelApp();
        SimDeviceTest::SetUp();
        // The console shows what AddLog receives, as in the program.
        log_.reset();
        SetLogSink([this](const std::u16string& line) {
            if (sinkHook_) sinkHook_(line);
            AddLog(line);
        });
        DiscardQueuedLog();
        previousHook_ = SetMessageBoxHook([this](QWidget*, const QString& text) {
            // Boxes raised by the EDID workers are shown on the GUI thread too.
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            messages_.push_back(text.toStdU16String());
        });
        dlg_ = std::make_unique<SpiReadWrite>();
        dlg_->SetDevice(0, nullptr);
        dlg_->show();
        Pump();
    }

    void TearDown() override {
        WaitEdidIdle();
        dlg_.reset();
        SetMessageBoxHook(previousHook_);
        SetLogSink(nullptr);
        SimDeviceTest::TearDown();
    }

    void Pump() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    bool WaitEdidIdle(std::chrono::seconds limit = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (dlg_ && dlg_->IsEdidBusy() && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        Pump();
        return dlg_ && !dlg_->IsEdidBusy();
    }

    void SetText(int id, const char* text) {
        if (auto* edit = dlg_->Item<QPlainTextEdit>(id)) edit->setPlainText(QString::fromUtf8(text));
        if (auto* line = dlg_->Item<QLineEdit>(id)) line->setText(QString::fromUtf8(text));
    }
    void SetEdidText(const std::u16string& text) {
        dlg_->Item<QPlainTextEdit>(IDC_SRW_EDIT_EDID)->setPlainText(QString::fromStdU16String(text));
    }
    std::u16string EdidField() const {
        return dlg_->Item<QPlainTextEdit>(IDC_SRW_EDIT_EDID)->toPlainText().toStdU16String();
    }
    void SelectCmd(int index) { dlg_->Item<QComboBox>(IDC_SRW_CMB_CMD)->setCurrentIndex(index); }
    void SetReadBack(bool on) { dlg_->Item<QCheckBox>(IDC_SRW_READ_BACK)->setChecked(on); }
    void Click(int id) {
        dlg_->Item<QPushButton>(id)->click();
        Pump();
    }
    std::vector<std::u16string> LogLines() {
        Pump();
        std::vector<std::u16string> out;
        CHListBox* list = dlg_->LogList();
        for (int i = 0; i < list->GetCount(); ++i) out.push_back(list->GetLine(i));
        return out;
    }
    static bool Contains(const std::vector<std::u16string>& lines, const std::u16string& part) {
        for (const auto& l : lines)
            if (l.find(part) != std::u16string::npos) return true;
        return false;
    }

    std::unique_ptr<SpiReadWrite> dlg_;
    std::vector<std::u16string> messages_;
    MessageBoxHook previousHook_;
    std::function<void(const std::u16string&)> sinkHook_;
};

TEST_F(ConsoleTest, OpeningStateAndReadingAddresses) {
    auto* combo = dlg_->Item<QComboBox>(IDC_SRW_CMB_CMD);
    ASSERT_EQ(combo->count(), 5);
    EXPECT_EQ(combo->itemText(2), QStringLiteral("0x0600/0x6000"));
    EXPECT_EQ(combo->itemText(4), QStringLiteral("Other"));
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_TRUE(dlg_->GetDlgItem(IDC_SRW_EDIT_CMD)->isEnabled());
    SelectCmd(1);
    EXPECT_FALSE(dlg_->GetDlgItem(IDC_SRW_EDIT_CMD)->isEnabled());
    SelectCmd(4);
    EXPECT_TRUE(dlg_->GetDlgItem(IDC_SRW_EDIT_CMD)->isEnabled());
    SelectCmd(0);

    SetText(IDC_SRW_EDIT_ADDR, "0x40080060, 40080038");
    Click(IDC_SRW_READ);
    std::vector<Request> req = Requests();
    ASSERT_EQ(req.size(), 2u);
    EXPECT_EQ(req[0].address, 0x40080060u);
    EXPECT_EQ(req[1].address, 0x40080038u);
    EXPECT_EQ(req[0].command, 0x0400);
    EXPECT_FALSE(req[0].write);
    const auto lines = LogLines();
    EXPECT_TRUE(Contains(lines, StrFormat(u"REG: 0x40080038, Value: 0x%08X", sim::PowerOnValue(0x40080038))));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), u""), 2);  // one separator per register
    EXPECT_TRUE(messages_.empty());

    sim::ClearRecord(0);
    SetText(IDC_SRW_EDIT_ADDR, "0X4008006A");  // upper case is lowered first
    Click(IDC_SRW_READ);
    SetText(IDC_SRW_EDIT_ADDR, "10,,20");
    Click(IDC_SRW_READ);
    req = Requests();
    ASSERT_EQ(req.size(), 4u);
    EXPECT_EQ(req[0].address, 0x4008006Au);
    EXPECT_EQ(req[1].address, 0x10u);
    EXPECT_EQ(req[2].address, 0x0u);
    EXPECT_EQ(req[3].address, 0x20u);

    // Enter in the address field reads; it does not insert a line break.
    sim::ClearRecord(0);
    SetText(IDC_SRW_EDIT_ADDR, "40080060");
    QTest::keyClick(dlg_->GetDlgItem(IDC_SRW_EDIT_ADDR), Qt::Key_Return);
    Pump();
    EXPECT_EQ(Requests().size(), 1u);
    EXPECT_EQ(dlg_->Item<QPlainTextEdit>(IDC_SRW_EDIT_ADDR)->toPlainText(), QStringLiteral("40080060"));
    dlg_->Item<QPlainTextEdit>(IDC_SRW_EDIT_ADDR)->moveCursor(QTextCursor::End);
    QTest::keyClick(dlg_->GetDlgItem(IDC_SRW_EDIT_ADDR), Qt::Key_Return, Qt::ShiftModifier);
    Pump();
    EXPECT_EQ(Requests().size(), 1u);  // Shift+Enter breaks the line instead
    EXPECT_EQ(dlg_->Item<QPlainTextEdit>(IDC_SRW_EDIT_ADDR)->toPlainText(), QStringLiteral("40080060\n"));

    sim::ClearRecord(0);
    SetText(IDC_SRW_EDIT_ADDR, "123456789");
    Click(IDC_SRW_READ);
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(messages_, std::vector<std::u16string>{spirw::msg::kTooLong});
}

TEST_F(ConsoleTest, RefusalsComeBeforeAnyTraffic) {
    dlg_->SetDevice(-1, nullptr);
    SetText(IDC_SRW_EDIT_ADDR, "4008006g");
    Click(IDC_SRW_READ);  // parsed before the device is looked at
    SetText(IDC_SRW_EDIT_ADDR, "40080060");
    Click(IDC_SRW_READ);
    SetText(IDC_SRW_EDIT_DATA, "1");
    Click(IDC_SRW_WRITE);
    dlg_->SetDevice(0, nullptr);

    SetText(IDC_SRW_EDIT_ADDR, "10,20,30");
    SetText(IDC_SRW_EDIT_DATA, "1,2");
    Click(IDC_SRW_WRITE);

    SelectCmd(spirw::kCmdOtherIndex);
    SetText(IDC_SRW_EDIT_ADDR, "10");
    SetText(IDC_SRW_EDIT_DATA, "1");
    Click(IDC_SRW_WRITE);  // empty CMD edit
    SetText(IDC_SRW_EDIT_CMD, "4000");
    SetReadBack(true);
    Click(IDC_SRW_WRITE);  // read-back word missing: nothing is written either
    SetText(IDC_SRW_EDIT_DATA, "");
    Click(IDC_SRW_WRITE);

    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(
        messages_,
        (std::vector<std::u16string>{
            u"The format of register address:4008006g is illegal!",
            u"Failed to read, please open the spi device first!", u"Failed to write, please open the spi device first!",
            u"The number of register addresses does not match the number of register data!",
            u"CMD values can't be empty!", u"Failed to obtain read command!", u"Register data can't be empty!"}));
}

TEST_F(ConsoleTest, OtherCommandWordsAndReadBack) {
    SelectCmd(spirw::kCmdOtherIndex);
    SetText(IDC_SRW_EDIT_CMD, "4000,0400");
    SetReadBack(true);
    SetText(IDC_SRW_EDIT_ADDR, "40080060, 40080040");
    SetText(IDC_SRW_EDIT_DATA, "0x55, 0x66");
    Click(IDC_SRW_WRITE);
    std::vector<Request> req = Requests();
    ASSERT_EQ(req.size(), 4u);  // all writes come before the first read-back
    EXPECT_TRUE(req[0].write && req[1].write);
    EXPECT_EQ(req[0].command, 0x4000);
    EXPECT_EQ(req[1].value, 0x66u);
    EXPECT_FALSE(req[2].write || req[3].write);
    EXPECT_EQ(req[2].command, 0x0400);
    EXPECT_EQ(req[3].address, 0x40080040u);
    EXPECT_EQ(sim::GetRegister(0, 0x4000, 0x40080060), 0x55u);
    const auto lines = LogLines();
    EXPECT_TRUE(Contains(lines, u"Write Register: 0x40080060, Value: 0x00000055 OK!"));
    EXPECT_TRUE(Contains(lines, u"REG: 0x40080040, Value: 0x00000066"));
    EXPECT_TRUE(messages_.empty());

    sim::ClearRecord(0);
    SetReadBack(false);  // without "Read back" the first word is used for both
    Click(IDC_SRW_WRITE);
    SetText(IDC_SRW_EDIT_ADDR, "40080060");
    Click(IDC_SRW_READ);
    SetText(IDC_SRW_EDIT_CMD, "12345");
    Click(IDC_SRW_READ);
    req = Requests();
    ASSERT_EQ(req.size(), 4u);
    EXPECT_EQ(req[0].command, 0x4000);
    EXPECT_EQ(req[2].command, 0x4000);
    EXPECT_FALSE(req[2].write);
    EXPECT_EQ(req[3].command, 0x2345);
}

TEST_F(ConsoleTest, ReadFailingAtTheSecondOfThree) {
    bool armed = false;
    sinkHook_ = [&](const std::u16string& line) {
        if (!armed && line.rfind(u"REG: ", 0) == 0) {
            armed = true;
            sim::InjectFault(0, sim::Fault::ReadRefused, 1);
        }
    };
    SetText(IDC_SRW_EDIT_ADDR, "40080060,4008000c,40080040");
    Click(IDC_SRW_READ);
    const std::vector<Request> req = Requests();
    ASSERT_EQ(req.size(), 2u);  // the third address is not read
    EXPECT_EQ(messages_, std::vector<std::u16string>{u"Read register 0x4008000c failed!"});
    const auto lines = LogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), u""), 1);
    ASSERT_FALSE(lines.empty());
    // The transaction's own failure line is in the list when the box appears.
    EXPECT_NE(lines.back().find(u"Read SPI failed!"), std::u16string::npos);

    // A failing write stops the run with the write message.
    messages_.clear();
    sim::ClearRecord(0);
    sim::InjectFault(0, sim::Fault::WrongReplyStatus, 1);
    SetText(IDC_SRW_EDIT_DATA, "1,2,3");
    Click(IDC_SRW_WRITE);
    EXPECT_EQ(Requests().size(), 1u);
    EXPECT_EQ(messages_, std::vector<std::u16string>{u"Write register:0x40080060, Data:0x00000001 failed!"});
}

TEST_F(ConsoleTest, EdidRoundTripThroughSequenceA) {
    SelectCmd(2);  // 0x0600/0x6000
    // Checked before any event is processed: the worker may finish quickly.
    dlg_->Item<QPushButton>(IDC_SRW_EDID_READ)->click();
    EXPECT_FALSE(dlg_->GetDlgItem(IDC_SRW_EDID_READ)->isEnabled());
    EXPECT_FALSE(dlg_->GetDlgItem(IDC_SRW_EDID_WRITE)->isEnabled());
    ASSERT_TRUE(WaitEdidIdle());
    EXPECT_TRUE(dlg_->GetDlgItem(IDC_SRW_EDID_READ)->isEnabled());

    std::vector<Request> req = Requests();
    const auto writes = std::count_if(req.begin(), req.end(), [](const Request& r) { return r.write; });
    EXPECT_EQ(writes, 123);
    EXPECT_EQ(req.size() - writes, 256u);
    for (const Request& r : req) {
        EXPECT_EQ(r.command, r.write ? 0x6000 : 0x0600);
        if (!r.write) {
            EXPECT_EQ(r.address, 0x5Fu);
        }
    }
    const std::u16string original = EdidTextOf(sim::DefaultEdid());
    EXPECT_EQ(EdidField(), AsShown(original));
    EXPECT_TRUE(messages_.empty());

    // Written back unchanged, then with one byte edited, and read again.
    sim::ClearRecord(0);
    Click(IDC_SRW_EDID_WRITE);
    ASSERT_TRUE(WaitEdidIdle());
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(sim::GetEdid(0), sim::DefaultEdid());
    req = Requests();
    EXPECT_EQ(std::count_if(req.begin(), req.end(), [](const Request& r) { return r.address == 0x59; }), 8 * 32 + 1);

    std::u16string edited = original;
    edited.replace(ByteOffset(20), 2, u"1ab");  // byte 20 typed as 1AB: the chip gets AB
    SetEdidText(edited);
    Click(IDC_SRW_EDID_WRITE);
    ASSERT_TRUE(WaitEdidIdle());
    auto expected = sim::DefaultEdid();
    expected[20] = 0xAB;
    EXPECT_EQ(sim::GetEdid(0), expected);
    SetEdidText(u"");
    Click(IDC_SRW_EDID_READ);
    ASSERT_TRUE(WaitEdidIdle());
    EXPECT_EQ(EdidField(), AsShown(EdidTextOf(expected)));
    EXPECT_EQ(dlg_->LastEdidText(), EdidTextOf(expected));
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ConsoleTest, EdidRefusalsSendNothing) {
    const std::u16string full = EdidTextOf(sim::DefaultEdid());
    SelectCmd(2);
    SetEdidText(full.substr(0, full.size() - 5));  // 255 values
    Click(IDC_SRW_EDID_WRITE);
    ASSERT_TRUE(WaitEdidIdle());
    SetEdidText(full.substr(0, 9) + u"zz " + full.substr(12));
    Click(IDC_SRW_EDID_WRITE);
    ASSERT_TRUE(WaitEdidIdle());
    SetEdidText(full);
    SelectCmd(3);  // sequence B cannot write
    Click(IDC_SRW_EDID_WRITE);
    ASSERT_TRUE(WaitEdidIdle());
    SelectCmd(0);
    Click(IDC_SRW_EDID_READ);
    ASSERT_TRUE(WaitEdidIdle());
    SelectCmd(spirw::kCmdOtherIndex);
    SetText(IDC_SRW_EDIT_CMD, "6000");
    SetReadBack(true);
    Click(IDC_SRW_EDID_WRITE);  // the unused read word must still be there
    ASSERT_TRUE(WaitEdidIdle());
    SetEdidText(u"");
    Click(IDC_SRW_EDID_WRITE);  // empty field: silently nothing
    ASSERT_TRUE(WaitEdidIdle());

    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(messages_,
              (std::vector<std::u16string>{u"CMD or datalen err!", u"The format of read/write data:zz is illegal!",
                                           u"CMD or datalen err!", u"CMD err!", u"Failed to obtain read command!"}));
    EXPECT_EQ(sim::GetEdid(0), sim::DefaultEdid());
}

TEST_F(ConsoleTest, EdidSequenceBReadsBlockWindow) {
    auto edid = sim::DefaultEdid();
    for (unsigned int i = 0; i < 256; ++i) edid[i] = static_cast<std::uint8_t>(i * 7 + 3);
    sim::SetEdid(0, edid);
    // The read of byte 1 fails: it shows as 00, the rest is read as usual.
    int reads = 0;
    sinkHook_ = [&](const std::u16string& line) {
        if (line.rfind(u"REG: ", 0) == 0 && ++reads == 1) sim::InjectFault(0, sim::Fault::ReadRefused, 1);
    };
    SelectCmd(3);  // 0x0700/0x7000
    Click(IDC_SRW_EDID_READ);
    ASSERT_TRUE(WaitEdidIdle());

    const std::vector<Request> req = Requests();
    std::vector<unsigned int> blocks;
    std::vector<unsigned int> readAddrs;
    for (const Request& r : req) {
        EXPECT_EQ(r.command, r.write ? 0x7000 : 0x0700);
        if (r.write && r.address == 0xB4) blocks.push_back(r.value);
        if (!r.write) readAddrs.push_back(r.address);
    }
    EXPECT_EQ(blocks, (std::vector<unsigned int>{0, 1, 2, 3, 4, 5, 6, 7}));
    ASSERT_EQ(readAddrs.size(), 256u);
    for (unsigned int i = 0; i < 256; ++i) EXPECT_EQ(readAddrs[i], 0x8A + i % 32);
    auto shown = edid;
    shown[1] = 0;
    EXPECT_EQ(EdidField(), AsShown(EdidTextOf(shown)));
}

// The EDID register sequences step by step, as the chip's documentation lists
// them: "cmd reg=value" a write, "cmd reg?" a read, "pause ms".
struct EdidSteps {
    unsigned short writeCmd, readCmd;
    std::vector<std::string> steps;

    void Write(unsigned int reg, unsigned int value) { Add("%04X %02X=%02X", writeCmd, reg, value); }
    void Writes(const std::string& list) {  // "FF=E0 EE=01 ..."
        std::istringstream in(list);
        std::string item;
        while (in >> item) Write(std::stoul(item.substr(0, 2), nullptr, 16), std::stoul(item.substr(3), nullptr, 16));
    }
    void Read(unsigned int reg) { Add("%04X %02X?", readCmd, reg, 0); }
    void Pause(unsigned int ms) { steps.push_back("pause " + std::to_string(ms)); }
    void Add(const char* format, unsigned int cmd, unsigned int reg, unsigned int value) {
        char text[32];
        snprintf(text, sizeof text, format, cmd, reg, value);
        steps.emplace_back(text);
    }
};

TEST_F(ConsoleTest, EdidSequencesSendTheirStepsInOrderWithTheirPauses) {
    std::mutex lock;
    std::vector<std::pair<size_t, unsigned int>> pauses;  // after how many requests, how long
    SetSleepObserverForTest([&](unsigned int ms) {
        const size_t sent = Requests().size();
        std::lock_guard<std::mutex> guard(lock);
        pauses.emplace_back(sent, ms);
    });
    // What the chip was sent, with the pauses where they fell.
    auto recorded = [&](unsigned short writeCmd, unsigned short readCmd) {
        EdidSteps out{writeCmd, readCmd, {}};
        const std::vector<Request> req = Requests();
        std::lock_guard<std::mutex> guard(lock);
        size_t p = 0;
        for (size_t i = 0; i <= req.size(); ++i) {
            for (; p < pauses.size() && pauses[p].first == i; ++p) out.Pause(pauses[p].second);
            if (i == req.size()) break;
            if (req[i].write)
                out.Add("%04X %02X=%02X", req[i].command, req[i].address, req[i].value);
            else
                out.Add("%04X %02X?", req[i].command, req[i].address, 0);
        }
        pauses.clear();
        return out.steps;
    };
    auto run = [&](int cmdIndex, int button) {
        sim::ClearRecord(0);
        SelectCmd(cmdIndex);
        Click(button);
        EXPECT_TRUE(WaitEdidIdle());
    };

    EdidSteps aRead{0x6000, 0x0600, {}};
    aRead.Writes("FF=E0 EE=01 5E=DF 58=00 59=50 5A=10 5A=00 58=21");
    for (unsigned int b = 0; b < 8; ++b) {
        aRead.Writes("FF=E1 03=BF 03=FF FF=E0 5E=5F 5A=20 5A=00 5B=00 5C=80");
        aRead.Write(0x5D, b * 32);
        aRead.Writes("5A=10 5A=00 58=21 FF=E0");
        for (int i = 0; i < 32; ++i) aRead.Read(0x5F);
        aRead.Pause(1);
    }
    aRead.Writes("5A=08 5A=00 58=00");
    run(2, IDC_SRW_EDID_READ);
    EXPECT_EQ(recorded(0x6000, 0x0600), aRead.steps);

    const auto edid = sim::DefaultEdid();
    EdidSteps aWrite{0x6000, 0x0600, {}};
    aWrite.Writes("FF=E0 EE=01 5E=DF 58=00 59=50 5A=10 5A=00 58=21 5A=04 5A=00 5B=00 5C=80 5D=00 5A=01 5A=00");
    aWrite.Pause(600);
    for (unsigned int b = 0; b < 8; ++b) {
        aWrite.Writes("FF=E1 03=BF 03=FF FF=E0 5A=04 5A=00 5E=DF 5A=20 5A=00 58=21");
        for (unsigned int i = 0; i < 32; ++i) aWrite.Write(0x59, edid[b * 32 + i]);
        aWrite.Writes("5B=00 5C=80");
        aWrite.Write(0x5D, b * 32);
        aWrite.Writes("5A=10 5A=00");
    }
    aWrite.Writes("5A=08 5A=00 58=00");
    SetEdidText(EdidTextOf(edid));
    run(2, IDC_SRW_EDID_WRITE);
    EXPECT_EQ(recorded(0x6000, 0x0600), aWrite.steps);

    EdidSteps bRead{0x7000, 0x0700, {}};
    for (unsigned int b = 0; b < 8; ++b) {
        bRead.Writes("FF=E0 DE=01 B0=57 B1=4B B2=36 B3=3B");
        bRead.Write(0xB4, b);
        bRead.Writes("DE=02 85=25");
        for (unsigned int i = 0; i < 32; ++i) bRead.Read(0x8A + i);
    }
    run(3, IDC_SRW_EDID_READ);
    EXPECT_EQ(recorded(0x7000, 0x0700), bRead.steps);
    SetSleepObserverForTest(nullptr);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ConsoleTest, ClosingWaitsForEdidAndNeverWrites) {
    SelectCmd(2);
    SetEdidText(EdidTextOf(sim::DefaultEdid()));
    Click(IDC_SRW_EDID_WRITE);  // pauses 600 ms after the erase
    ASSERT_TRUE(dlg_->IsEdidBusy());
    QTest::keyClick(dlg_.get(), Qt::Key_Escape);
    dlg_->close();
    Pump();
    EXPECT_TRUE(dlg_->isVisible());
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_NE(messages_[0].find(u"EDID operation is still running"), std::u16string::npos);

    // Raw reads meanwhile never interleave with the sequence on the bus.
    sim::SetTransferDelay(0, std::chrono::microseconds(200));
    SetText(IDC_SRW_EDIT_ADDR, "40080060");
    Click(IDC_SRW_READ);
    ASSERT_TRUE(WaitEdidIdle());
    const sim::BridgeRecord rec = sim::Inspect(0);
    EXPECT_EQ(rec.lostReplies, 0);
    EXPECT_EQ(rec.rejectedRequests, 0);
    EXPECT_EQ(sim::GetEdid(0), sim::DefaultEdid());

    sim::ClearRecord(0);
    SetText(IDC_SRW_EDIT_DATA, "1234");
    QTest::keyClick(dlg_.get(), Qt::Key_Escape);  // closes, does not write
    Pump();
    EXPECT_FALSE(dlg_->isVisible());
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(messages_.size(), 2u);
}

TEST_F(ConsoleTest, EdidWorkersThatCannotStartLeaveTheConsoleUsable) {
    SelectCmd(2);
    SetEdidText(EdidTextOf(sim::DefaultEdid()));
    SetWorkerStartFailureForTest(true);
    Click(IDC_SRW_EDID_READ);
    Click(IDC_SRW_EDID_WRITE);
    SetWorkerStartFailureForTest(false);
    EXPECT_EQ(messages_, (std::vector<std::u16string>{u"Failed to start reading the EDID!",
                                                      u"Failed to start writing the EDID!"}));
    EXPECT_FALSE(dlg_->IsEdidBusy());
    EXPECT_TRUE(dlg_->GetDlgItem(IDC_SRW_EDID_READ)->isEnabled());
    EXPECT_TRUE(dlg_->GetDlgItem(IDC_SRW_EDID_WRITE)->isEnabled());
    EXPECT_TRUE(Requests().empty());
    // The next press runs, and the console closes as usual.
    SetEdidText(u"");
    Click(IDC_SRW_EDID_READ);
    ASSERT_TRUE(WaitEdidIdle());
    EXPECT_EQ(EdidField(), AsShown(EdidTextOf(sim::DefaultEdid())));
    QTest::keyClick(dlg_.get(), Qt::Key_Escape);
    EXPECT_FALSE(dlg_->isVisible());
    EXPECT_EQ(messages_.size(), 2u);
}

TEST_F(ConsoleTest, LogListFollowsTheConsole) {
    AddLog(u"while open");
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(u"] while open"), std::u16string::npos);

    QMenu* menu = dlg_->LogPopupMenu();
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("Export"));
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
    menu->actions()[1]->trigger();
    EXPECT_EQ(dlg_->LogList()->GetCount(), 0);

    // Closed, the console leaves new lines in the queue for the main window.
    dlg_->hide();
    Pump();
    AddLog(u"after close");
    Pump();
    std::list<std::u16string> queued;
    EXPECT_TRUE(TakeLogLines(queued));
    EXPECT_EQ(dlg_->LogList()->GetCount(), 0);

    // Each opening starts afresh.
    SetText(IDC_SRW_EDIT_ADDR, "10");
    SetReadBack(true);
    dlg_->show();
    Pump();
    EXPECT_TRUE(dlg_->Item<QPlainTextEdit>(IDC_SRW_EDIT_ADDR)->toPlainText().isEmpty());
    EXPECT_FALSE(dlg_->Item<QCheckBox>(IDC_SRW_READ_BACK)->isChecked());
}

// The menu of the main window opens the console on the device the panel has
// open, and the lines logged meanwhile go to the console's list only.
using ConsoleFromMenuTest = DevicePanelTest;

TEST_F(ConsoleFromMenuTest, MenuOpensTheConsoleOnTheOpenDevice) {
    CreateWindow();
    OpenDevice();
    ClearLog();
    MessageBoxHook previous = SetMessageBoxHook([](QWidget*, const QString&) {});
    SpiReadWrite* console = nullptr;
    int device = -2;
    std::vector<std::u16string> consoleLines;
    RunModalHook previousModal = SetRunModalHook([&](QDialog* dialog) {
        console = qobject_cast<SpiReadWrite*>(dialog);
        if (console == nullptr) return 0;
        device = console->DeviceIndex();
        console->show();
        console->Item<QPlainTextEdit>(IDC_SRW_EDIT_ADDR)->setPlainText(QStringLiteral("40080060"));
        console->Item<QPushButton>(IDC_SRW_READ)->click();
        Pump();
        for (int i = 0; i < console->LogList()->GetCount(); ++i) consoleLines.push_back(console->LogList()->GetLine(i));
        QTest::keyClick(console, Qt::Key_Escape);
        return 0;
    });
    Command(ID_MENU_SPI_READWRITE);
    SetRunModalHook(previousModal);
    SetMessageBoxHook(previous);

    ASSERT_NE(console, nullptr);
    EXPECT_EQ(device, 0);
    EXPECT_FALSE(console->isVisible());
    bool sawValue = false;
    for (const auto& line : consoleLines) sawValue = sawValue || line.find(u"REG: 0x40080060") != std::u16string::npos;
    EXPECT_TRUE(sawValue);
    EXPECT_EQ(CountPrefix(Log(), "REG: 0x40080060"), 0);
    AddLog(u"back in the main window");
    EXPECT_NE(IndexOf(Log(), "back in the main window"), -1);
}

// Not a check: under Xvfb, with TUNEDESK_CONSOLE_SHOT=<file.png>, walks the EDID
// round trip a new user would (read, edit one byte, write, read again) and
// saves the console as it then looks.
TEST_F(ConsoleTest, Screenshot) {
    const char* path = std::getenv("TUNEDESK_CONSOLE_SHOT");
    if (path == nullptr) GTEST_SKIP() << "TUNEDESK_CONSOLE_SHOT not set";
    SelectCmd(2);
    Click(IDC_SRW_EDID_READ);
    ASSERT_TRUE(WaitEdidIdle());
    std::u16string text = EdidField();
    // Byte 0x10 (week of manufacture) starts the field's second line (49 = 16 * 3 + LF).
    text.replace(49, 2, u"2A");
    SetEdidText(text);
    Click(IDC_SRW_EDID_WRITE);
    ASSERT_TRUE(WaitEdidIdle());
    SetEdidText(u"");
    Click(IDC_SRW_EDID_READ);
    ASSERT_TRUE(WaitEdidIdle());
    EXPECT_EQ(sim::GetEdid(0)[0x10], 0x2A);
    EXPECT_EQ(EdidField(), text);
    SetText(IDC_SRW_EDIT_ADDR, "0x40080060");
    dlg_->raise();
    Pump();
    QTest::qWait(300);
    EXPECT_TRUE(dlg_->grab().save(QString::fromUtf8(path)));
}

}  // namespace
