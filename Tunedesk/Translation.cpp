#include "Translation.h"

#include <memory>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "AppPaths.h"

namespace {

std::unique_ptr<QTranslator>& Loaded() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

// Qt's own texts (file dialogs, standard buttons), from Qt's translations.
std::unique_ptr<QTranslator>& QtLoaded() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

// Qt's texts in the captions' language: the file dialog of a Japanese window
// reads Japanese too. Qt's texts are English by themselves; a language Qt has
// no translation for (package qt6-translations-l10n missing) keeps them so.
void InstallQtTranslation(const QString& language) {
    if (QtLoaded()) {
        QCoreApplication::removeTranslator(QtLoaded().get());
        QtLoaded().reset();
    }
    if (language == QLatin1String("en")) return;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return;
    }
    QCoreApplication::installTranslator(translator.get());
    QtLoaded() = std::move(translator);
}

// "en_GB.UTF-8" -> "en".
std::string LanguageOf(const std::string& lang) { return lang.substr(0, lang.find_first_of("_.@")); }

}  // namespace

bool InstallTranslation(const std::string& lang, std::string& error) {
    const std::string language = LanguageOf(lang);
    if (language.empty() || language == "ja") {
        RemoveTranslation();
        InstallQtTranslation(QStringLiteral("ja"));
        return true;
    }
    const QString name = QStringLiteral("tunedesk_") + QString::fromStdString(language);
    auto translator = std::make_unique<QTranslator>();
    for (const std::u16string& folder : TranslationDirs()) {
        if (translator->load(name, QString::fromStdU16String(folder))) {
            RemoveTranslation();
            QCoreApplication::installTranslator(translator.get());
            Loaded() = std::move(translator);
            InstallQtTranslation(QString::fromStdString(language));
            return true;
        }
    }
    // The captions stay as they were; with no translation they are Japanese.
    if (!Loaded()) InstallQtTranslation(QStringLiteral("ja"));
    error = "no translation for language \"" + lang + "\" (" + name.toStdString() +
            ".qm is neither beside the program nor in ../share/tunedesk/translations)";
    return false;
}

void RemoveTranslation() {
    InstallQtTranslation(QStringLiteral("en"));
    if (!Loaded()) return;
    QCoreApplication::removeTranslator(Loaded().get());
    Loaded().reset();
}
