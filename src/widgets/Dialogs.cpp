#include "widgets/Dialogs.h"

#include "support/FileName.h"

#include <QFileDialog>

std::unique_ptr<QMessageBox> QtMessageBoxes::MakeWarning(QWidget* parent, const QString& title,
                                                         const QString& text)
{
    return std::make_unique<QMessageBox>(QMessageBox::Warning, title, text, QMessageBox::Ok,
                                         parent);
}

std::unique_ptr<QMessageBox> QtMessageBoxes::MakeQuestion(QWidget* parent, const QString& title,
                                                          const QString& text)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, title, text,
                                             QMessageBox::Ok | QMessageBox::Cancel, parent);
    box->setDefaultButton(QMessageBox::Ok);
    return box;
}

void QtMessageBoxes::Warning(QWidget* parent, const QString& title, const QString& text)
{
    MakeWarning(parent, title, text)->exec();
}

bool QtMessageBoxes::Question(QWidget* parent, const QString& title, const QString& text)
{
    return MakeQuestion(parent, title, text)->exec() == QMessageBox::Ok;
}

bool QtMessageBoxes::QuestionDefaultNo(QWidget* parent, const QString& title, const QString& text)
{
    auto box = MakeQuestion(parent, title, text);
    box->setDefaultButton(QMessageBox::Cancel);
    return box->exec() == QMessageBox::Ok;
}

QString QtFileDialogs::OpenFileName(QWidget* parent, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QString QtFileDialogs::SaveFileName(QWidget* parent, const QString& title, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, title, QString(), filter);
}

void QtMessageBoxes::Plain(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent).exec();
}

QString FileDialogs::SaveFileNameWithSuffix(QWidget* parent, const QString& title,
                                            const QString& filter, const QString& suffix)
{
    const QString path = SaveFileName(parent, title, filter);
    if (path.isEmpty())
        return path;
    return QString::fromStdString(WithDefaultSuffix(path.toStdString(), suffix.toStdString()));
}

QString QtFileDialogs::SaveFileNameWithSuffix(QWidget* parent, const QString& title,
                                              const QString& filter, const QString& suffix)
{
    // The dialog appends the suffix itself, so its overwrite question names the real file.
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().front();
}
