#pragma once

#include <QPair>
#include <QString>

#include <functional>
#include <optional>

class QMessageBox;
class QPalette;
class QWidget;

// Alerts and folder pickers, shown window-modal (the platform's sheet) and answered
// through a callback. The question is the alert's text and the detail its informative
// text, so it reads the same with or without a window title; Escape answers "cancel";
// focus goes back to the widget that had it. Tests queue the next answers instead of
// clicking real dialogs.
namespace Dialogs {

struct Confirmation {
    QString title; // the question, shown as the alert's text
    QString text;  // the detail under it
    QString confirmLabel;
    QString cancelLabel;
    // The confirm button reads and looks destructive (red); false for a plain one.
    bool destructive = true;
};

// Asks; `done(true)` when the user pressed the confirm button.
void confirm(QWidget *parent, const Confirmation &question, std::function<void(bool)> done);

// Says that something failed: `title` as the text, `detail` (the reason) below it, one
// "OK" button. `done` runs when it is dismissed.
void alert(QWidget *parent, const QString &title, const QString &detail,
           std::function<void()> done = {});

// Says how something ended that went well: as alert(), with the information icon.
void inform(QWidget *parent, const QString &title, const QString &detail);

// Picks one folder; `done` gets nothing on cancel.
void chooseFolder(QWidget *parent, const QString &startFolder, const QString &acceptLabel,
                  std::function<void(std::optional<QString>)> done);

// Picks a file to write, asking before replacing one; `done` gets nothing on cancel.
// `filter` is a name filter ("CSV files (*.csv)"); a name without a suffix gets `suffix`.
void chooseSaveFile(QWidget *parent, const QString &suggestedPath, const QString &filter,
                    const QString &suffix, std::function<void(std::optional<QString>)> done);

// The look of a destructive push button in the theme of `palette`: white on red, and
// when disabled red on a faint red, both 4.5:1. Buttons that outlive a theme switch set
// it again (Style::followTheme).
QString destructiveButtonStyleSheet(const QPalette &palette);

// Test seam: the next confirm() answers this without showing anything.
void pushConfirmAnswer(bool answer);
// Test seam: the next chooseFolder() or chooseSaveFile() answers this without showing
// anything.
void pushFolderAnswer(std::optional<QString> folder);
// The last question asked through confirm(), answered or not.
std::optional<Confirmation> lastConfirmation();
// The last alert or notice shown: its title and detail.
std::optional<QPair<QString, QString>> lastAlert();
// The alert or confirmation on screen now, if any (tests press its keys).
QMessageBox *openBox();
void resetSeams();

} // namespace Dialogs
