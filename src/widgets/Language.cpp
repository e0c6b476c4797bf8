#include "widgets/Language.h"

#include <QCoreApplication>
#include <QTranslator>

std::optional<Language> ChooseLanguage(const QString& option, const QStringList& uiLanguages)
{
    if (option == QLatin1String("en"))
        return Language::English;
    if (option == QLatin1String("zh"))
        return Language::Chinese;
    if (!option.isEmpty())
        return std::nullopt;
    for (const QString& ui : uiLanguages) {
        if (ui.startsWith(QLatin1String("en")))
            return Language::English;
        if (ui.startsWith(QLatin1String("zh")))
            return Language::Chinese;
    }
    return Language::Chinese;
}

bool InstallLanguage(QCoreApplication& app, Language language)
{
    if (language == Language::Chinese)
        return true;
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral(":/i18n/servo-debugger_en.qm"))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
