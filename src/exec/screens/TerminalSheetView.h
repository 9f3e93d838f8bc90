#pragma once

#include "exec/TerminalStream.h"

#include <QDialog>
#include <QPointer>
#include <QProcess>

#include <functional>
#include <optional>

class ActivityIndicator;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class SymbolView;

// Runs one shell command and shows what it prints, live, in a sheet over a window.
// The command starts when the sheet is first shown. While it runs the sheet cannot be
// closed: the process belongs to the sheet until it exits. "Done" appears at the end.
class TerminalSheetView : public QDialog {
    Q_OBJECT
public:
    TerminalSheetView(const QString &title, const QString &command, std::function<void()> onDone,
                      QWidget *parent = nullptr);
    // Only when the program is gone (quitting): stops its whole process group.
    ~TerminalSheetView() override;

    QString title() const { return m_title; }
    QString command() const { return m_command; }
    QString output() const { return m_output; }
    bool isRunning() const { return m_isRunning; }
    // The command's exit status once it has ended; nothing while it runs or when it
    // could not start or was killed by a signal.
    std::optional<int> exitStatus() const { return m_exitStatus; }
    QPlainTextEdit *outputView() const { return m_view; }
    QPushButton *doneButton() const { return m_done; }

    // Opens a sheet into `sheet`, which clears when Done is pressed; `onDone` then runs
    // (a rescan, say). Nothing when `sheet` still holds one.
    static void openOnce(QPointer<TerminalSheetView> &sheet, const QString &title,
                         const QString &command, std::function<void()> onDone, QWidget *parent);

    // Whether any sheet's command is still running (quitting asks first).
    static bool anyRunning();
    // Stops every running sheet's command (the user chose to quit anyway).
    static void stopAllRunning();

signals:
    void outputChanged();
    void runFinished();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void runCommand();
    void append(const QString &text);
    void finish(const QString &trailer);
    void stopGroup();

    QString m_title;
    QString m_command;
    std::function<void()> m_onDone;
    QString m_output;
    bool m_isRunning = true;
    bool m_started = false;
    bool m_pendingCarriageReturn = false;
    std::optional<int> m_exitStatus;
    QProcess *m_process = nullptr;
    TerminalStream m_stdout;
    TerminalStream m_stderr;

    ActivityIndicator *m_spinner;
    SymbolView *m_finishedIcon;
    QLabel *m_completed;
    QPushButton *m_done;
    QPlainTextEdit *m_view;
};
