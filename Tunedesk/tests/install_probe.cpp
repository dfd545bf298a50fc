// tunedesk_install_probe: scripts/install-check.sh copies it into an
// installed bin/ folder and runs it there, so that the real settings and
// log-export code decide where their files go for an installed program.
// Prints "settings=PATH", "logs=PATH", "translation=en" (when the English
// captions are found) and "exported=MESSAGE"; exit 0 when the
// settings file and the exported log were written.
#include <cstdio>
#include <string>

#include "AppPaths.h"
#include "SpiSettingFile.h"
#include "TunedeskDlg.h"
#include "TunedeskDlgIds.h"
#include "Translation.h"
#include "Convert.h"
#include "IniFile.h"
#include "support/gui_panel.h"

int main() {
    std::printf("settings=%s\nlogs=%s\n", Utf16ToUtf8(SettingsFilePath()).c_str(), Utf16ToUtf8(OutputLogDir()).c_str());
    // A first run finds no settings file and works with the defaults.
    std::printf("first-run SpiMode=%d SPIRWDelay=%d\n", LoadSpiMode(), LoadSPIRWDelay());
    if (!SaveSpiMode(2) || LoadSpiMode() != 2) {
        std::fprintf(stderr, "tunedesk_install_probe: the settings file was not written\n");
        return 1;
    }
    PanelApp();
    std::string error;
    std::printf("translation=%s\n", InstallTranslation("en", error) ? "en" : error.c_str());
    MessageBoxRecorder boxes;
    int result = 1;
    {
        CTunedeskDlg dlg(nullptr);
        CTunedeskDlg::AddLog(u"install probe");
        DrainEvents();
        dlg.OnCommand(ID_MENU_EXPORT_LOG);
        if (boxes.texts.size() == 1 && boxes.texts[0].startsWith(QStringLiteral("Export Output Log OK!"))) {
            std::printf("exported=%s\n", boxes.texts[0].toStdString().c_str());
            result = 0;
        } else {
            std::fprintf(stderr, "tunedesk_install_probe: the log was not exported\n");
        }
    }
    return result;
}
