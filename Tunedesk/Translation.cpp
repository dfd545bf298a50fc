#include "Translation.h"

#include <memory>

#include <QCoreApplication>
#include <QTranslator>

#include "AppPaths.h"

namespace {

std::unique_ptr<QTranslator>& Loaded() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

// "en_GB.UTF-8" -> "en".
std::string LanguageOf(const std::string& lang) { return lang.substr(0, lang.find_first_of("_.@")); }

}  // namespace

bool InstallTranslation(const std::string& lang, std::string& error) {
    const std::string language = LanguageOf(lang);
    if (language.empty() || language == "ja") {
        RemoveTranslation();
        return true;
    }
    const QString name = QStringLiteral("tunedesk_") + QString::fromStdString(language);
    auto translator = std::make_unique<QTranslator>();
    for (const std::u16string& folder : TranslationDirs()) {
        if (translator->load(name, QString::fromStdU16String(folder))) {
            RemoveTranslation();
            QCoreApplication::installTranslator(translator.get());
            Loaded() = std::move(translator);
            return true;
        }
    }
    error = "no translation for language \"" + lang + "\" (" + name.toStdString() +
            ".qm is neither beside the program nor in ../share/tunedesk/translations)";
    return false;
}

void RemoveTranslation() {
    if (!Loaded()) return;
    QCoreApplication::removeTranslator(Loaded().get());
    Loaded().reset();
}
