#pragma once
// The windows' message boxes and file dialogs answered as a test says: every box shown is
// kept in order with its kind, questions get the test's answers, file dialogs return the
// test's paths.

#include "widgets/Dialogs.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

struct ShownBox {
    enum Kind { kWarning, kQuestion, kCautious, kPlain };
    Kind kind = kWarning;
    QString title, text;
};

class ScriptedBoxes : public MessageBoxes {
public:
    void Warning(QWidget*, const QString& title, const QString& text) override
    {
        Show({ShownBox::kWarning, title, text});
    }
    bool Question(QWidget*, const QString& title, const QString& text) override
    {
        Show({ShownBox::kQuestion, title, text});
        return answer;
    }
    // Questions whose default is No take `cautiousAnswers` in turn, then `cautiousAnswer`.
    bool QuestionDefaultNo(QWidget*, const QString& title, const QString& text) override
    {
        Show({ShownBox::kCautious, title, text});
        if (cautiousAnswers.empty())
            return cautiousAnswer;
        const bool yes = cautiousAnswers.front();
        cautiousAnswers.pop_front();
        return yes;
    }
    void Plain(QWidget*, const QString& title, const QString& text) override
    {
        Show({ShownBox::kPlain, title, text});
    }

    // "title|text" of every box shown, in order.
    QStringList Shown() const
    {
        QStringList lines;
        for (const ShownBox& b : boxes)
            lines << b.title + "|" + b.text;
        return lines;
    }
    std::vector<ShownBox> Of(ShownBox::Kind kind) const
    {
        std::vector<ShownBox> found;
        for (const ShownBox& b : boxes)
            if (b.kind == kind)
                found.push_back(b);
        return found;
    }

    std::vector<ShownBox> boxes;
    bool answer = true;  // every question whose default is OK
    std::deque<bool> cautiousAnswers;
    bool cautiousAnswer = false;
    std::function<void(const ShownBox&)> onShown;  // called as each box is shown

private:
    void Show(ShownBox box)
    {
        boxes.push_back(std::move(box));
        if (onShown)
            onShown(boxes.back());
    }
};

// Open dialogs answer `opens` in turn, then `open`; save dialogs answer `save` (the base's
// default suffix added when it has no extension). Each dialog is counted with its filter.
class ScriptedFiles : public FileDialogs {
public:
    QString OpenFileName(QWidget*, const QString&, const QString& filter) override
    {
        Ask(filter);
        if (opens.empty())
            return open;
        QString path = opens.front();
        opens.pop_front();
        return path;
    }
    QString SaveFileName(QWidget*, const QString&, const QString& filter) override
    {
        Ask(filter);
        return save;
    }

    std::deque<QString> opens;
    QString open, save;
    int asked = 0;
    QString lastFilter;

private:
    void Ask(const QString& filter)
    {
        ++asked;
        lastFilter = filter;
    }
};
