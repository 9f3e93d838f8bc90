#include "app/widgets/Dialogs.h"

#include "app/widgets/Style.h"
#include "platform/desktop/AppInfo.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QQueue>

namespace {
QQueue<bool> gConfirmAnswers;
QQueue<std::optional<QString>> gFolderAnswers;
std::optional<Dialogs::Confirmation> gLast;
std::optional<QPair<QString, QString>> gLastAlert;
QPointer<QMessageBox> gOpenBox;

// Builds the box; `finished` runs once it closes, after focus went back to the widget
// that had it when the box opened.
QMessageBox *makeBox(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                     const QString &detail)
{
    auto *box = new QMessageBox(icon, AppInfo::name(), text, QMessageBox::NoButton, parent);
    box->setInformativeText(detail);
    box->setTextFormat(Qt::PlainText);
    // The question stands out above its detail, and a short detail still gets a line
    // of reasonable width.
    if (auto *question = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))) {
        QFont bold = question->font();
        bold.setBold(true);
        question->setFont(bold);
        question->setMinimumWidth(260);
        // A long question wraps rather than running off the box's edge.
        question->setWordWrap(true);
    }
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Without this the focus lands on whatever the window picks next (often the search
    // field).
    QPointer<QWidget> opener = QApplication::focusWidget();
    QObject::connect(box, &QMessageBox::finished, box, [opener] {
        if (opener && opener->isVisible() && opener->isEnabled())
            opener->setFocus(Qt::OtherFocusReason);
    });
    gOpenBox = box;
    return box;
}

} // namespace

namespace Dialogs {

QString destructiveButtonStyleSheet(const QPalette &palette)
{
    return Style::filledButtonSheet(Style::red(), palette);
}

void confirm(QWidget *parent, const Confirmation &question, std::function<void(bool)> done)
{
    gLast = question;
    if (!gConfirmAnswers.isEmpty()) {
        done(gConfirmAnswers.dequeue());
        return;
    }
    QMessageBox *box =
        makeBox(parent, question.destructive ? QMessageBox::Warning : QMessageBox::Question,
                question.title, question.text);
    QPushButton *confirmButton =
        box->addButton(question.confirmLabel, question.destructive ? QMessageBox::DestructiveRole
                                                                   : QMessageBox::AcceptRole);
    if (question.destructive)
        confirmButton->setStyleSheet(destructiveButtonStyleSheet(box->palette()));
    QPushButton *cancelButton = box->addButton(question.cancelLabel, QMessageBox::RejectRole);
    // Return must never remove anything by accident.
    box->setDefaultButton(cancelButton);
    box->setEscapeButton(cancelButton);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, confirmButton, done] { done(box->clickedButton() == confirmButton); });
    box->open();
    // Nor Space: under a window manager the box may start on its first button otherwise.
    cancelButton->setFocus(Qt::OtherFocusReason);
}

namespace {

void tell(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &detail,
          std::function<void()> done)
{
    gLastAlert = qMakePair(title, detail);
    QMessageBox *box = makeBox(parent, icon, title, detail);
    QPushButton *ok = box->addButton(QMessageBox::Ok);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    QObject::connect(box, &QMessageBox::finished, box, [done] {
        if (done)
            done();
    });
    box->open();
}

} // namespace

void alert(QWidget *parent, const QString &title, const QString &detail, std::function<void()> done)
{
    tell(parent, QMessageBox::Warning, title, detail, std::move(done));
}

void inform(QWidget *parent, const QString &title, const QString &detail)
{
    tell(parent, QMessageBox::Information, title, detail, {});
}

namespace {

// Opens a picker; the answer goes to `done`, the focus back to what had it.
void openPicker(QFileDialog *dialog, QWidget *parent,
                std::function<void(std::optional<QString>)> done)
{
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<QWidget> opener = QApplication::focusWidget();
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done, opener](int result) {
        if (opener && opener->isVisible() && opener->isEnabled())
            opener->setFocus(Qt::OtherFocusReason);
        const QStringList picked = dialog->selectedFiles();
        if (result == QDialog::Accepted && !picked.isEmpty())
            done(picked.first());
        else
            done(std::nullopt);
    });
    dialog->open();
}

} // namespace

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
    openPicker(dialog, parent, std::move(done));
}

void chooseSaveFile(QWidget *parent, const QString &suggestedPath, const QString &filter,
                    const QString &suffix, std::function<void(std::optional<QString>)> done)
{
    if (!gFolderAnswers.isEmpty()) {
        done(gFolderAnswers.dequeue());
        return;
    }
    auto *dialog = new QFileDialog(parent, QString(), suggestedPath, filter);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(suffix);
    openPicker(dialog, parent, std::move(done));
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

std::optional<QPair<QString, QString>> lastAlert()
{
    return gLastAlert;
}

QMessageBox *openBox()
{
    return gOpenBox && gOpenBox->isVisible() ? gOpenBox.data() : nullptr;
}

void resetSeams()
{
    gConfirmAnswers.clear();
    gFolderAnswers.clear();
    gLast.reset();
    gLastAlert.reset();
}

} // namespace Dialogs
