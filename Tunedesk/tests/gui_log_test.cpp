// The log path end to end (AddLog -> queue -> WM_LOG_MESSAGE -> view), the
// export file and Clear, and the two custom controls: the log list's
// horizontal extent and the processing-area picture.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <QFontMetrics>
#include <QImage>
#include <QRegularExpression>
#include <QScrollBar>

#include "CHListBox.h"
#include "CProcessingArea.h"
#include "Ch347Sim.h"
#include "Convert.h"
#include "FileUtil.h"
#include "TunedeskDlg.h"
#include "support/core_fixture.h"
#include "support/gui_panel.h"

namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

fs::path OutputLogDir() {
    std::string base;
    CString2Ansi(GetBaseDir(), base);
    return fs::path(base) / "OutputLog";
}

class LogViewTest : public SettingsFileTest {
protected:
    void SetUp() override {
        SettingsFileTest::SetUp();
        PanelApp();
        sim::Reset();
        sim::RemoveAllBridges();  // nothing of the start-up refresh gets in the way
        DiscardQueuedLog();
        dlg_ = std::make_unique<CTunedeskDlg>();
        DrainEvents();
    }
    void TearDown() override {
        dlg_.reset();
        DiscardQueuedLog();
        sim::Reset();
        SettingsFileTest::TearDown();
    }

    // Delivers notifications until the queue and the window's backlog are empty.
    void DrainLog() const {
        int last = -1;
        while (dlg_->LogList()->GetCount() != last) {
            last = dlg_->LogList()->GetCount();
            DrainEvents();
        }
    }

    std::vector<QString> View() const {
        std::vector<QString> out;
        for (int i = 0; i < dlg_->LogList()->GetCount(); ++i) out.push_back(dlg_->LogList()->GetText(i));
        return out;
    }

    std::unique_ptr<CTunedeskDlg> dlg_;
};

const QRegularExpression kStamped(QStringLiteral(R"(^\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3}\] (.*)$)"),
                                  QRegularExpression::DotMatchesEverythingOption);

QString Body(const QString& line) {
    const auto m = kStamped.match(line);
    return m.hasMatch() ? m.captured(1) : QStringLiteral("<no stamp>") + line;
}

TEST_F(LogViewTest, LinesAreStampedAndLineFeedsAddABlankLine) {
    AddLog(u"Failed to initialize SPI!\n");
    AddLog(u"\nabc");
    AddLog(u"");
    AddLog(u"a\nb\r");
    DrainEvents();
    const auto view = View();
    ASSERT_EQ(view.size(), 6u);
    EXPECT_EQ(Body(view[0]), QStringLiteral("Failed to initialize SPI!\n"));
    EXPECT_EQ(view[1], QString());
    EXPECT_EQ(Body(view[2]), QStringLiteral("\nabc")) << "a line feed at position 0 adds no blank line";
    EXPECT_EQ(view[3], QString()) << "an empty text is an empty line without a stamp";
    EXPECT_EQ(Body(view[4]), QStringLiteral("a\nb\r"));
    EXPECT_EQ(view[5], QString());

    // The newest line is scrolled into view.
    for (int i = 0; i < 200; ++i) AddLog(u"filler");
    DrainEvents();
    CHListBox* list = dlg_->LogList();
    EXPECT_EQ(list->GetCount(), 206);
    EXPECT_GT(list->GetTopIndex(), 0);
    EXPECT_EQ(list->GetTopIndex(), list->verticalScrollBar()->maximum());
}

TEST_F(LogViewTest, TwoThreadsShowEveryLineOnceInQueueOrder) {
    constexpr int kPerThread = 20000;
    auto writer = [](char16_t tag) {
        for (int i = 0; i < kPerThread; ++i) {
            std::u16string text(1, tag);
            text += u' ';
            for (char c : std::to_string(i)) text += static_cast<char16_t>(c);
            AddLog(text);
        }
    };
    std::atomic<int> done{0};
    std::thread a([&] {
        writer(u'A');
        ++done;
    });
    std::thread b([&] {
        writer(u'B');
        ++done;
    });
    // The GUI thread keeps draining while the writers run.
    while (done.load() < 2) DrainEvents();
    a.join();
    b.join();
    DrainLog();

    const auto view = View();
    ASSERT_EQ(view.size(), static_cast<size_t>(2 * kPerThread));
    int next[2] = {0, 0};
    QString lastStamp;
    for (const QString& line : view) {
        const QString body = Body(line);
        ASSERT_TRUE(body.startsWith(u'A') || body.startsWith(u'B')) << line.toStdString();
        const int who = body.startsWith(u'A') ? 0 : 1;
        ASSERT_EQ(body.mid(2).toInt(), next[who]) << "each thread's lines once and in its order";
        ++next[who];
        const QString stamp = line.mid(1, 23);
        ASSERT_GE(stamp, lastStamp) << "stamps follow the order the lines took the lock";
        lastStamp = stamp;
    }
    EXPECT_EQ(next[0], kPerThread);
    EXPECT_EQ(next[1], kPerThread);
}

// Stands in for the register console: records the log notifications it gets.
class FakeConsole : public QObject {
public:
    int notified = 0;
    bool event(QEvent* e) override {
        if (const WinMsgEvent* msg = AsWinMsg(e); msg && msg->message() == WM_LOG_MESSAGE) {
            ++notified;
            return true;
        }
        return QObject::event(e);
    }
};

std::chrono::system_clock::time_point g_fakeNow;
std::chrono::system_clock::time_point FakeNow() { return g_fakeNow; }

// A line that lost the race for the queue by a few milliseconds takes the
// stamp of the line before it, so stamps never run backwards in the view; but
// a wall clock set back (by hand, or stepped by time sync) shows at once
// instead of every later line repeating the stamp from before the change.
TEST_F(LogViewTest, StampsStayInOrderYetFollowAClockSetBack) {
    using namespace std::chrono;
    const LogClockFn oldClock = SetLogClock(&FakeNow);
    // Later than any line an earlier test stamped.
    g_fakeNow = floor<seconds>(system_clock::now()) + milliseconds(2500);
    const std::u16string first = GetLogTimeString();
    AddLog(u"first");
    g_fakeNow -= milliseconds(5);
    AddLog(u"raced");
    g_fakeNow -= hours(1);
    const std::u16string setBack = GetLogTimeString();
    AddLog(u"set back");
    g_fakeNow += milliseconds(1);
    const std::u16string next = GetLogTimeString();
    AddLog(u"next");
    SetLogClock(oldClock);
    DrainEvents();

    const auto view = View();
    ASSERT_EQ(view.size(), 4u);
    auto stamped = [](const std::u16string& stamp, const char* text) {
        return QStringLiteral("[%1] %2").arg(QString::fromStdU16String(stamp), QString::fromUtf8(text)).toStdString();
    };
    EXPECT_EQ(view[0].toStdString(), stamped(first, "first"));
    EXPECT_EQ(view[1].toStdString(), stamped(first, "raced"));
    EXPECT_EQ(view[2].toStdString(), stamped(setBack, "set back"));
    EXPECT_EQ(view[3].toStdString(), stamped(next, "next"));
}

TEST_F(LogViewTest, VisibleConsoleTakesTheLinesUntilItIsHidden) {
    FakeConsole console;
    SetLogConsole(&console);
    AddLog(u"for the console");
    DrainEvents();
    SetLogConsole(nullptr);
    EXPECT_EQ(console.notified, 1);
    EXPECT_EQ(dlg_->LogList()->GetCount(), 0) << "the main window was not told";
    std::list<std::u16string> taken;
    ASSERT_TRUE(TakeLogLines(taken));
    EXPECT_EQ(taken.size(), 1u);

    AddLog(u"for the main window");
    DrainEvents();
    EXPECT_EQ(console.notified, 1);
    ASSERT_EQ(dlg_->LogList()->GetCount(), 1);
}

// One test for the whole export, since every export of the program goes to the
// one OutputLog folder beside it.
TEST_F(LogViewTest, ExportWritesEachLineWithCarriageReturnAndReportsFailures) {
    std::error_code ec;
    fs::remove_all(OutputLogDir(), ec);

    MessageBoxRecorder boxes;
    dlg_->OnMenuExportLog();
    EXPECT_TRUE(boxes.texts.empty()) << "an empty view exports nothing";
    EXPECT_FALSE(fs::exists(OutputLogDir())) << "and creates no folder";

    AddLog(u"A");
    AddLog(u"B");
    AddLog(u"two\nlines");
    AddLog(QString::fromUtf8("デバイス").toStdU16String());
    DrainEvents();
    const auto view = View();
    ASSERT_EQ(view.size(), 5u);

    dlg_->OnMenuExportLog();
    ASSERT_EQ(boxes.texts.size(), 1u);
    const QString prefix = QStringLiteral("Export Output Log OK! The storage path for the exported file is: ");
    ASSERT_TRUE(boxes.texts[0].startsWith(prefix)) << boxes.texts[0].toStdString();
    ASSERT_TRUE(boxes.texts[0].endsWith(QStringLiteral(".log!")));
    const fs::path path = boxes.texts[0].mid(prefix.size()).chopped(1).toStdString();
    EXPECT_EQ(path.parent_path(), OutputLogDir());
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^Output_\d{4}-\d{2}-\d{2}_\d{6}\.log$)"))
                    .match(QString::fromStdString(path.filename().string()))
                    .hasMatch());

    std::string expected;
    for (const QString& line : view) {
        std::string utf8 = line.toStdString();
        for (char c : utf8) {
            if (c == '\n') expected += '\r';
            expected += c;
        }
        expected += '\r';
    }
    EXPECT_EQ(ReadBytes(path), expected);
    EXPECT_NE(expected.find("] A\r["), std::string::npos);
    EXPECT_NE(expected.find("two\r\nlines\r\r"), std::string::npos) << "the blank line follows";

    // Export that cannot be written.

    boxes.texts.clear();
    dlg_->OnMenuClearLog();
    for (int i = 0; i < 400; ++i) AddLog(std::u16string(100, u'x'));
    DrainEvents();

    // A full disk: the file may hold at most 1 KiB.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    dlg_->OnMenuExportLog();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_TRUE(boxes.texts[0].startsWith(QStringLiteral("Failed to export the log to ")))
        << boxes.texts[0].toStdString();
    EXPECT_TRUE(boxes.texts[0].endsWith(QStringLiteral(".log!")));
    EXPECT_FALSE(fs::exists(boxes.texts[0].mid(28).chopped(1).toStdString())) << "no truncated file passes for the log";
    EXPECT_EQ(dlg_->LogList()->GetCount(), 400) << "the view keeps every line";
    fs::remove_all(OutputLogDir(), ec);
}

TEST_F(LogViewTest, ClearEmptiesTheViewButNotTheQueue) {
    AddLog(u"first");
    DrainEvents();
    AddLog(u"queued before clear");  // posted, not yet delivered
    dlg_->OnMenuClearLog();
    EXPECT_EQ(dlg_->LogList()->GetCount(), 0);
    EXPECT_EQ(dlg_->LogList()->GetMaxExtent(), 0);
    DrainEvents();
    AddLog(u"after clear");
    DrainEvents();
    const auto view = View();
    ASSERT_EQ(view.size(), 2u);
    EXPECT_EQ(Body(view[0]), QStringLiteral("queued before clear"));
    EXPECT_EQ(Body(view[1]), QStringLiteral("after clear"));
    EXPECT_EQ(dlg_->LogList()->GetTopIndex(), 0);
}

TEST(CHListBoxTest, ExtentFollowsTheWidestLine) {
    PanelApp();
    CHListBox list;
    list.resize(200, 100);
    list.show();
    DrainEvents();
    const QFontMetrics fm(list.font());
    const QString shortLine = QStringLiteral("short");
    const QString longLine = QStringLiteral("a much, much longer line of the log view [2026/12/07]");
    const QString middle = QStringLiteral("a middle sized line");

    // The margin is three border widths; measuring agrees with the font.
    EXPECT_NEAR(list.TextExtent(longLine), fm.horizontalAdvance(longLine) + 3, 1);

    EXPECT_EQ(list.AddString(shortLine), 0);
    EXPECT_EQ(list.GetHorizontalExtent(), list.TextExtent(shortLine));
    EXPECT_EQ(list.InsertString(1, longLine), 1);
    const int wide = list.TextExtent(longLine);
    EXPECT_EQ(list.GetHorizontalExtent(), wide);
    EXPECT_EQ(list.GetMaxExtent(), wide);
    EXPECT_EQ(list.InsertString(0, middle), 0);
    EXPECT_EQ(list.GetHorizontalExtent(), wide) << "a narrower line changes nothing";
    EXPECT_EQ(list.horizontalScrollBar()->maximum(), std::max(0, wide - list.viewport()->width()));

    EXPECT_EQ(list.InsertString(9, shortLine), CHListBox::LB_ERR);
    EXPECT_EQ(list.DeleteString(3), CHListBox::LB_ERR);
    EXPECT_EQ(list.DeleteString(2), 2) << "deleting the widest line";
    EXPECT_EQ(list.GetHorizontalExtent(), list.TextExtent(middle)) << "shrinks to the next widest";
    EXPECT_EQ(list.GetText(0), middle);
    EXPECT_EQ(list.GetText(1), shortLine);

    list.AddString(longLine);
    list.ResetContent();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetMaxExtent(), 0);
    EXPECT_EQ(list.GetHorizontalExtent(), wide) << "the range stays until the next line";
    list.AddString(shortLine);
    EXPECT_EQ(list.GetHorizontalExtent(), list.TextExtent(shortLine));

    // Characters the font engine shapes are measured by it.
    const QString japanese = QString::fromUtf8("デバイスを開く");
    list.AddString(japanese);
    EXPECT_EQ(list.GetMaxExtent(), std::max(list.TextExtent(shortLine), fm.horizontalAdvance(japanese) + 3));
}

TEST(CHListBoxTest, BigBacklogAppendsInSlicesKeepingOrder) {
    PanelApp();
    CHListBox list;
    std::list<std::u16string> backlog;
    for (int i = 0; i < 2000; ++i) {
        std::u16string line = u"line ";
        for (char c : std::to_string(i)) line += static_cast<char16_t>(c);
        if (i == 1500) line += u" with a much longer tail than every other line";
        backlog.push_back(line);
    }
    // A slice whose time is up stops after its first batch; the rest waits.
    EXPECT_TRUE(list.AppendLines(backlog, std::chrono::steady_clock::now() - std::chrono::seconds(1)));
    EXPECT_EQ(list.GetCount(), 512);
    EXPECT_EQ(backlog.size(), 1488u);
    EXPECT_FALSE(list.AppendLines(backlog, std::chrono::steady_clock::now() + std::chrono::hours(1)));
    ASSERT_EQ(list.GetCount(), 2000);
    EXPECT_TRUE(backlog.empty());
    for (int i : {0, 511, 512, 1999}) EXPECT_TRUE(list.GetText(i).startsWith(QStringLiteral("line %1").arg(i)));
    EXPECT_EQ(list.GetMaxExtent(), list.TextExtent(list.GetText(1500)));
    EXPECT_EQ(list.GetHorizontalExtent(), list.GetMaxExtent());
}

TEST(CProcessingAreaTest, DrawsTheFourAreas) {
    PanelApp();
    CProcessingArea::Edges out{};
    ASSERT_TRUE(CProcessingArea::AreaEdges({0, 0, 104, 60}, CProcessingArea::kAreaCenter, out));
    EXPECT_EQ(std::tie(out.left, out.top, out.right, out.bottom), std::make_tuple(26, 15, 78, 45));
    ASSERT_TRUE(CProcessingArea::AreaEdges({0, 0, 104, 60}, CProcessingArea::kAreaLeft, out));
    EXPECT_EQ(std::tie(out.left, out.right), std::make_tuple(0, 52));
    ASSERT_TRUE(CProcessingArea::AreaEdges({0, 0, 105, 61}, CProcessingArea::kAreaRight, out));
    EXPECT_EQ(std::tie(out.left, out.right), std::make_tuple(52, 105));
    EXPECT_FALSE(CProcessingArea::AreaEdges({0, 0, 104, 60}, 4, out));

    CProcessingArea area;
    area.resize(104, 60);
    const QColor purple(138, 0, 139);
    const QColor white(255, 255, 255);
    area.SetArea(CProcessingArea::kAreaCenter);
    QImage image = area.grab().toImage();
    ASSERT_EQ(image.size(), QSize(104, 60));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(103, 59), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(26, 15), purple);
    EXPECT_EQ(image.pixelColor(77, 44), purple);
    EXPECT_EQ(image.pixelColor(52, 30), purple);
    EXPECT_EQ(image.pixelColor(25, 30), white);
    EXPECT_EQ(image.pixelColor(78, 30), white);
    EXPECT_EQ(image.pixelColor(52, 14), white);
    EXPECT_EQ(image.pixelColor(52, 45), white);

    area.SetArea(CProcessingArea::kAreaAll);
    image = area.grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(1, 1), purple);

    area.SetArea(CProcessingArea::kAreaRight);
    image = area.grab().toImage();
    EXPECT_EQ(image.pixelColor(51, 30), white);
    EXPECT_EQ(image.pixelColor(53, 30), purple);

    area.SetArea(4);
    image = area.grab().toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            ASSERT_NE(c, QColor(Qt::black));
            ASSERT_NE(c, purple);
        }
    }
}

}  // namespace
