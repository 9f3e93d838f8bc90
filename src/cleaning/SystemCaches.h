#pragma once

#include "exec/CancelToken.h"

#include <QList>
#include <QPair>
#include <QString>

class AppHost;

// One cache only a system tool may clear; the tool runs in the terminal after a
// confirmation, and what it removes is gone for good.
struct SystemCache {
    QString name;
    QString description;
    qint64 bytes = -1;    // -1: the tool cannot tell beforehand
    QString command;      // the shell line the terminal runs
    QString confirmation; // what the question before it says
};

// The system's own caches on Linux: downloaded packages, journal files, unused Flatpak
// runtimes and disabled snap revisions. A tool that is not installed has no row. Blocks
// (it asks the tools how much they hold): call it off the main thread.
namespace SystemCaches {

QList<SystemCache> list(AppHost *appState = nullptr, const CancelToken &cancel = {});

// "Archived and active journals take up 1.2G in the file system." → bytes; -1 when unread.
qint64 parseJournalUsage(const QString &output);
// The disabled revisions in `snap list --all`: (name, revision).
QList<QPair<QString, QString>> parseDisabledSnaps(const QString &output);

// The size the journal is vacuumed down to.
constexpr const char journalKeep[] = "100M";

} // namespace SystemCaches
