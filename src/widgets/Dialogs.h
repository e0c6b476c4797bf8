#pragma once
// The two seams through which the windows talk to the user in modal dialogs: message boxes
// and file dialogs. The program uses Qt's; tests answer them.

#include <QMessageBox>
#include <QString>

#include <memory>

class QWidget;

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A warning icon and an OK button.
    virtual void Warning(QWidget* parent, const QString& title, const QString& text) = 0;
    // A question icon, OK and Cancel; true for OK.
    virtual bool Question(QWidget* parent, const QString& title, const QString& text) = 0;
    // The same with Cancel as the default button, for a step that is safer not taken.
    virtual bool QuestionDefaultNo(QWidget* parent, const QString& title, const QString& text)
    {
        return Question(parent, title, text);
    }
    // No icon, an OK button; boxes that answer with a warning unless told otherwise.
    virtual void Plain(QWidget* parent, const QString& title, const QString& text)
    {
        Warning(parent, title, text);
    }
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The chosen path, empty when the user cancels.
    virtual QString OpenFileName(QWidget* parent, const QString& title, const QString& filter) = 0;
    virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& filter) = 0;
    // A save dialog that appends `suffix` to a name typed without an extension (before it
    // asks whether to overwrite an existing file of that name).
    virtual QString SaveFileNameWithSuffix(QWidget* parent, const QString& title,
                                           const QString& filter, const QString& suffix);
};

class QtMessageBoxes : public MessageBoxes {
public:
    void Warning(QWidget* parent, const QString& title, const QString& text) override;
    bool Question(QWidget* parent, const QString& title, const QString& text) override;
    bool QuestionDefaultNo(QWidget* parent, const QString& title, const QString& text) override;
    void Plain(QWidget* parent, const QString& title, const QString& text) override;

    // The boxes as they are shown, for a look at their icons and buttons.
    static std::unique_ptr<QMessageBox> MakeWarning(QWidget* parent, const QString& title,
                                                    const QString& text);
    static std::unique_ptr<QMessageBox> MakeQuestion(QWidget* parent, const QString& title,
                                                     const QString& text);
};

class QtFileDialogs : public FileDialogs {
public:
    QString OpenFileName(QWidget* parent, const QString& title, const QString& filter) override;
    QString SaveFileName(QWidget* parent, const QString& title, const QString& filter) override;
    QString SaveFileNameWithSuffix(QWidget* parent, const QString& title, const QString& filter,
                                   const QString& suffix) override;
};
