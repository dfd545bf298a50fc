// The profile menu of the main window: captions, save and load through the
// file dialog hook, the outcome in the log and the controls read back.
#include <fstream>
#include <sstream>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include "Ch347Sim.h"
#include "SPIUtil.h"
#include "TunedeskDlg.h"
#include "UiHooks.h"
#include "support/gui_device_fixture.h"

namespace {

class ProfileMenuTest : public DevicePanelTest {
protected:
    void SetUp() override {
        DevicePanelTest::SetUp();
        previous_ = SetFileDialogHook([this](QWidget*, bool save, const QString&, const QString&) {
            saves_.push_back(save);
            return answer_;
        });
    }
    void TearDown() override {
        SetFileDialogHook(previous_);
        DevicePanelTest::TearDown();
    }
    QString answer_;
    std::vector<bool> saves_;
    FileDialogHook previous_;
};

TEST_F(ProfileMenuTest, SaveAndLoadThroughTheMenuRestoreTheChipAndTheControls) {
    CreateWindow();
    // "プロファイル" follows "スルー表示", with its two items.
    const QList<QAction*> menus = dlg_->MenuBar()->actions();
    int through = -1;
    for (int i = 0; i < menus.size(); ++i)
        if (menus[i]->text() == QString::fromUtf8("スルー表示")) through = i;
    ASSERT_GE(through, 0);
    ASSERT_LT(through + 1, menus.size());
    EXPECT_EQ(menus[through + 1]->text().toStdString(), "プロファイル");
    const QList<QAction*> items = menus[through + 1]->menu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text().toStdString(), "保存...");
    EXPECT_EQ(items[1]->text().toStdString(), "読み込み...");

    // No device: no dialog, a line in the log.
    Command(ID_MENU_PROFILE_SAVE);
    EXPECT_TRUE(saves_.empty());
    EXPECT_THAT(Log(), ::testing::ElementsAre("Failed to control, please open the device first!\n", ""));

    OpenDevice();
    const std::string path = (dir_ / "bench.ini").string();
    answer_ = QString::fromStdString(path);
    ClearLog();
    Command(ID_MENU_PROFILE_SAVE);
    EXPECT_GE(IndexOf(Log(), "Save Profile to " + path + " OK!"), 0);
    std::stringstream saved;
    saved << std::ifstream(path).rdbuf();
    EXPECT_NE(saved.str().find("[Picture]\nvivid=on\nvivid.range=medium\nvivid.intensity=130\n"), std::string::npos)
        << saved.str();

    // The chip changes behind the panel's back; loading the profile puts it
    // back and the controls show it again.
    sim::SetRegister(0, kReadCommand, kRegVividIntensity, 7);
    sim::SetRegister(0, kReadCommand, kRegBrightnessThreshold, 0x0A05);
    ClearLog();
    Command(ID_MENU_PROFILE_LOAD);
    WaitReadBack();
    EXPECT_EQ(saves_, (std::vector<bool>{true, false}));
    EXPECT_GE(IndexOf(Log(), "Apply Profile " + path + " OK!"), 0);
    EXPECT_EQ(sim::GetRegister(0, kReadCommand, kRegVividIntensity), 130u);
    EXPECT_EQ(sim::GetRegister(0, kReadCommand, kRegBrightnessThreshold), 0x0A80u);
    EXPECT_EQ(Text(IDC_LABEL_VIVID_INTENSITY), "130");

    // A bad file: its reason and "failed" in the log, the chip untouched.
    std::ofstream(path, std::ios::trunc) << "[Picture]\nvivid.intensity=999\n";
    ClearLog();
    Command(ID_MENU_PROFILE_LOAD);
    WaitReadBack();
    const std::vector<std::string> log = Log();
    EXPECT_GE(IndexOf(log, path + ": vivid.intensity: 999 is out of range (0-255)"), 0);
    EXPECT_GE(IndexOf(log, "Apply Profile " + path + " failed!"), 0);
    EXPECT_EQ(sim::GetRegister(0, kReadCommand, kRegVividIntensity), 130u);

    // Cancelled: nothing happens.
    answer_.clear();
    ClearLog();
    Command(ID_MENU_PROFILE_LOAD);
    EXPECT_TRUE(Log().empty());
}

}  // namespace
