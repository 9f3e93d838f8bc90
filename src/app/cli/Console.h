#pragma once

#include "exec/CancelToken.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Where quillmar-cli writes: results on standard output as bytes, messages on standard
// error, and a progress line on standard error only when that is a terminal. Ctrl+C
// (or SIGTERM) cancels interrupt(); whatever runs checks it, and a second signal, or a
// first one not obeyed within a second, ends the program on the spot (nothing is ever
// half deleted: removals are single renames).
class Console {
public:
    Console();
    ~Console();
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    void out(const QByteArray &bytes);
    void err(const QByteArray &bytes);
    // "quillmar-cli: <subject>: <message>" on standard error; the subject as its bytes.
    void error(const QByteArray &subject, const QString &message);

    bool showsProgress() const { return m_progress; }
    // Runs `work`; while it runs, and only on a terminal, shows status() now and then.
    void withProgress(const std::function<void()> &work, const std::function<QByteArray()> &status);

    const CancelToken &interrupt() const { return m_interrupt; }
    bool interrupted() const { return m_interrupt.isCancelled(); }
    // 128 + the signal that interrupted, as shells report it.
    static int interruptStatus();

    // Sizes as `du -h` prints them: powers of 1024, rounded up, one decimal below 10.
    static QByteArray humanSize(qint64 bytes);

private:
    void clearProgress();

    CancelToken m_interrupt;
    bool m_progress = false;
    bool m_lineShown = false;
};
