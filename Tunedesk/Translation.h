// Captions in another language on request (--lang / TUNEDESK_LANG). The
// Japanese captions are the program's own texts: no translation is
// loaded unless one is asked for. Log lines are never translated.
#pragma once

#include <string>

// Loads and installs tunedesk_<lang>.qm for the running QCoreApplication,
// replacing one loaded before. "" and "ja" (with any _REGION or .CODESET
// suffix) keep the Japanese captions. The file is looked for beside the
// program (build folder) and in ../share/tunedesk/translations (installed).
// Qt's own texts (file dialogs, standard buttons) follow: qtbase_<lang>.qm
// from Qt's translations folder, Japanese with the Japanese captions, Qt's
// built-in English with English ones. False with a one-line *error when the
// language has no caption translation.
bool InstallTranslation(const std::string& lang, std::string& error);

// Back to the Japanese captions and Qt's built-in texts. Widgets built before
// keep their texts.
void RemoveTranslation();
