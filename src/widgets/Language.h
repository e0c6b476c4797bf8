#pragma once
// The window's language. Its texts are Chinese in the code and stay the default; an English
// translation, built from translations/servo-debugger_en.ts and embedded, replaces them when
// the user asks for English (--language en) or the system's UI language is English.

#include <QString>
#include <QStringList>

#include <optional>

class QCoreApplication;

enum class Language { Chinese, English };

// `option` is --language's value ("en", "zh" or empty); without one the first English or
// Chinese entry of `uiLanguages` decides, and Chinese stands when there is none (the C locale).
// An unknown option gives nothing.
std::optional<Language> ChooseLanguage(const QString& option, const QStringList& uiLanguages);

// Installs the English translation on `app` for English; false when it cannot be loaded.
bool InstallLanguage(QCoreApplication& app, Language language);
