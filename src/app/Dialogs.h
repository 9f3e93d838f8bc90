#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// Alerts and folder pickers, shown window-modal (the platform's sheet) and answered
// through a callback. Tests queue the next answers instead of clicking real dialogs.
namespace Dialogs {

struct Confirmation {
    QString title;
    QString text;
    QString confirmLabel;
    QString cancelLabel;
};

// Asks; `done(true)` when the user pressed the confirm button.
void confirm(QWidget *parent, const Confirmation &question, std::function<void(bool)> done);

// Picks one folder; `done` gets nothing on cancel.
void chooseFolder(QWidget *parent, const QString &startFolder, const QString &acceptLabel,
                  std::function<void(std::optional<QString>)> done);

// Test seam: the next confirm() answers this without showing anything.
void pushConfirmAnswer(bool answer);
// Test seam: the next chooseFolder() answers this without showing anything.
void pushFolderAnswer(std::optional<QString> folder);
// The last question asked through confirm(), answered or not.
std::optional<Confirmation> lastConfirmation();
void resetSeams();

} // namespace Dialogs
