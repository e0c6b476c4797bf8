#include "widgets/Language.h"

#include <QCoreApplication>
#include <QTranslator>

#include <algorithm>
#include <vector>

namespace {

// The phrases the core writes into texts the window shows, as the core writes them. A text
// may hold several (a fault list, a test line) or a phrase with numbers and names filled
// around it, so each is replaced where it stands. A new core text the window shows joins
// this list (and then the .ts).
const char* const kCorePhrases[] = {
    // The feedback's and the memory table's status.
    QT_TRANSLATE_NOOP("CoreText", "舵机正常"),
    QT_TRANSLATE_NOOP("CoreText", "通信超时"),
    QT_TRANSLATE_NOOP("CoreText", "过压/欠压"),
    QT_TRANSLATE_NOOP("CoreText", "过热"),
    QT_TRANSLATE_NOOP("CoreText", "过流"),
    QT_TRANSLATE_NOOP("CoreText", "过载"),
    QT_TRANSLATE_NOOP("CoreText", "传感器出错"),
    QT_TRANSLATE_NOOP("CoreText", " 度"),
    QT_TRANSLATE_NOOP("CoreText", "未知型号"),
    // The programming page's write button and its messages (shared with servoctl).
    QT_TRANSLATE_NOOP("CoreText", "保存"),
    QT_TRANSLATE_NOOP("CoreText", "设置"),
    QT_TRANSLATE_NOOP("CoreText", "不能小于"),
    QT_TRANSLATE_NOOP("CoreText", "不能大于"),
    QT_TRANSLATE_NOOP("CoreText", "参数错误"),
    QT_TRANSLATE_NOOP("CoreText", "参数保存"),
    QT_TRANSLATE_NOOP("CoreText", "舵参数保存成功"),
    QT_TRANSLATE_NOOP("CoreText", "舵参数保存失败"),
    QT_TRANSLATE_NOOP("CoreText", "参数设置"),
    QT_TRANSLATE_NOOP("CoreText", "舵参数设置失败"),
    QT_TRANSLATE_NOOP("CoreText", "风险操作"),
    QT_TRANSLATE_NOOP("CoreText", "继续操作会产生损环舵机风险是否继续住下操作?"),
    QT_TRANSLATE_NOOP("CoreText", "操作成功如舵机产生异常请联系售后"),
    QT_TRANSLATE_NOOP("CoreText", "操作失败"),
    QT_TRANSLATE_NOOP("CoreText", "无法保存参数文件"),
    QT_TRANSLATE_NOOP("CoreText", "无法打开参数文件"),
    QT_TRANSLATE_NOOP("CoreText", "参数载入"),
    QT_TRANSLATE_NOOP("CoreText", "参数载入成功"),
    QT_TRANSLATE_NOOP("CoreText", "参数载入失败"),
    QT_TRANSLATE_NOOP("CoreText", "参数恢复"),
    QT_TRANSLATE_NOOP("CoreText", "参数恢复成功"),
    QT_TRANSLATE_NOOP("CoreText", "参数恢复失败"),
    QT_TRANSLATE_NOOP("CoreText", "角度重置"),
    QT_TRANSLATE_NOOP("CoreText", "角度重置成功，圈数清除，角度恢复单圈角度!"),
    QT_TRANSLATE_NOOP("CoreText", "角度重置失败!"),
    // The communication test's lines.
    QT_TRANSLATE_NOOP("CoreText", "舵机ID:"),
    QT_TRANSLATE_NOOP("CoreText", "响应时间:"),
    QT_TRANSLATE_NOOP("CoreText", "超时次数:"),
    QT_TRANSLATE_NOOP("CoreText", "通信速度:"),
    QT_TRANSLATE_NOOP("CoreText", "通信流量:"),
};

// The phrases longest first, so that a whole message is replaced before a shorter phrase
// inside it could be.
const std::vector<QString>& PhrasesLongestFirst()
{
    static const std::vector<QString> phrases = [] {
        std::vector<QString> list;
        for (const char* p : kCorePhrases)
            list.push_back(QString::fromUtf8(p));
        std::stable_sort(list.begin(), list.end(),
                         [](const QString& a, const QString& b) { return a.size() > b.size(); });
        return list;
    }();
    return phrases;
}

}  // namespace

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

namespace {

QString TranslatePhrases(QString shown)
{
    for (const QString& source : PhrasesLongestFirst()) {
        if (!shown.contains(source))
            continue;
        const QString translated =
            QCoreApplication::translate("CoreText", source.toUtf8().constData());
        if (translated != source)
            shown.replace(source, translated);
    }
    return shown;
}

}  // namespace

QString CoreText(const std::string& text, const std::string& catalogueText)
{
    const QString shown = QString::fromStdString(text);
    if (catalogueText.empty())
        return TranslatePhrases(shown);
    const QString kept = QString::fromStdString(catalogueText);
    QStringList pieces = shown.split(kept);
    for (QString& piece : pieces)
        piece = TranslatePhrases(piece);
    return pieces.join(kept);
}
