#include "app/Dialogs.h"

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

QString QtFileDialogs::OpenFileName(QWidget* parent, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QString QtFileDialogs::SaveFileName(QWidget* parent, const QString& title, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, title, QString(), filter);
}
