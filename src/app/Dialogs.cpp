#include "app/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QQueue>
#include <QTimer>

namespace {
QQueue<bool> gConfirmAnswers;
QQueue<std::optional<QString>> gFolderAnswers;
std::optional<Dialogs::Confirmation> gLast;
} // namespace

namespace Dialogs {

void confirm(QWidget *parent, const Confirmation &question, std::function<void(bool)> done)
{
    gLast = question;
    if (!gConfirmAnswers.isEmpty()) {
        done(gConfirmAnswers.dequeue());
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Warning, question.title, question.text,
                                QMessageBox::NoButton, parent);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *confirmButton =
        box->addButton(question.confirmLabel, QMessageBox::DestructiveRole);
    QPushButton *cancelButton = box->addButton(question.cancelLabel, QMessageBox::RejectRole);
    box->setDefaultButton(cancelButton);
    box->setEscapeButton(cancelButton);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, confirmButton, done] { done(box->clickedButton() == confirmButton); });
    box->open();
}

void chooseFolder(QWidget *parent, const QString &startFolder, const QString &acceptLabel,
                  std::function<void(std::optional<QString>)> done)
{
    if (!gFolderAnswers.isEmpty()) {
        done(gFolderAnswers.dequeue());
        return;
    }
    auto *dialog = new QFileDialog(parent, QString(), startFolder);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setLabelText(QFileDialog::Accept, acceptLabel);
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done](int result) {
        const QStringList picked = dialog->selectedFiles();
        if (result == QDialog::Accepted && !picked.isEmpty())
            done(picked.first());
        else
            done(std::nullopt);
    });
    dialog->open();
}

void pushConfirmAnswer(bool answer)
{
    gConfirmAnswers.enqueue(answer);
}

void pushFolderAnswer(std::optional<QString> folder)
{
    gFolderAnswers.enqueue(std::move(folder));
}

std::optional<Confirmation> lastConfirmation()
{
    return gLast;
}

void resetSeams()
{
    gConfirmAnswers.clear();
    gFolderAnswers.clear();
    gLast.reset();
}

} // namespace Dialogs
