#pragma once

#include "storage/UsageWalk.h"

#include <QByteArray>
#include <QList>

class Console;

// The regular files below some folders, at least `minimumBytes` long, read with the
// same walk as `scan` (links not followed, one file system per folder). Folders that
// cannot be read are reported on standard error as they are met.
class FileListing : public UsageWalk::Visitor {
public:
    struct File {
        QByteArray path;  // absolute
        QByteArray shown; // below the folder as it was given, the way find prints it
        qint64 bytes = 0;
    };

    FileListing(qint64 minimumBytes, Console &console) : m_minimum(minimumBytes), m_console(console)
    {
    }

    // Lists every root; false when any could not be read in full or the walk was stopped.
    bool list(const QList<QByteArray> &roots);

    QList<File> files;

    void enter(const UsageWalk::Item &, int) override {}
    void item(const UsageWalk::Item &item, int depth) override;
    void leave(const UsageWalk::Item &, const UsageWalk::Totals &, int) override {}

private:
    qint64 m_minimum;
    Console &m_console;
    bool m_complete = true;
    QByteArray m_root;
    QByteArray m_given;
};
