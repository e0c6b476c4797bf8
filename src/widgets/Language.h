#pragma once
// The window's language. Its texts are Chinese in the code and stay the default; an English
// translation, built from translations/servo-debugger_en.ts and embedded, replaces them when
// the user asks for English (--language en) or the system's UI language is English.

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

class QCoreApplication;

enum class Language { Chinese, English };

// `option` is --language's value ("en", "zh" or empty); without one the first English or
// Chinese entry of `uiLanguages` decides, and Chinese stands when there is none (the C locale).
// An unknown option gives nothing.
std::optional<Language> ChooseLanguage(const QString& option, const QStringList& uiLanguages);

// Installs the English translation on `app` for English; false when it cannot be loaded.
bool InstallLanguage(QCoreApplication& app, Language language);

// A text the Qt-free core made (a status, a fault list, a refusal, a test line) in the
// window's language: each of the core's phrases in it is replaced by its translation. Where
// the text holds `catalogueText` (an item's name filled into a refusal), that stays as it
// is, whatever phrases it contains.
QString CoreText(const std::string& text, const std::string& catalogueText = {});
