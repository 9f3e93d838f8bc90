#pragma once

#include "platform/FileIdentity.h"
#include "platform/Trash.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

struct RemovalBatch;

// One item of a removal as the journal keeps it.
struct JournalItem {
    enum class State { InTrash, PutBack, Emptied };

    QByteArray path;         // where it was
    QByteArray resolvedPath; // the same place with the links above it resolved
    QByteArray trashedPath;  // where it went in the Trash
    FileIdentity identity;   // what went; a put back refuses anything else in the Trash
    qint64 bytes = -1;       // allocated bytes, a folder's contents included; -1: unknown
    State state = State::InTrash;

    // Where a put back renames it to: its place as resolved when it went.
    QByteArray placeBack() const { return resolvedPath.isEmpty() ? path : resolvedPath; }
    friend bool operator==(const JournalItem &, const JournalItem &) = default;
};

// One removal: everything one action moved to the Trash.
struct JournalEntry {
    QString key;         // unique across sessions
    quint64 batchId = 0; // the removal's number in the session that made it; 0 for others
    QDateTime when;
    QString origin; // the tab it came from
    QList<JournalItem> items;

    qint64 bytes() const;
    friend bool operator==(const JournalEntry &, const JournalEntry &) = default;
};

// The record of every removal the program made: a file in the state folder, one line
// of JSON per removal and per put back, paths percent-encoded so any byte survives.
// Lines are appended with one write() each to a file opened with O_APPEND, so two
// programs appending at once never mix their lines and a crash costs at most the line
// being written; a damaged line is skipped (and logged) when read, never the rest.
namespace RemovalJournal {

QString file();

// The journal's entry for a batch the removal hub announced; a folder's size is measured
// where it lies in the Trash now. Reads the disk: call off the main thread.
JournalEntry entryOf(const RemovalBatch &batch);
// Appends a line; the reason when it could not.
QString append(const JournalEntry &entry);
QString appendPutBack(const QString &key, const QByteArray &path);

struct Contents {
    QList<JournalEntry> entries; // newest first, each item's state as the disk says now
    int damagedLines = 0;
    QString error; // the file exists and cannot be read
};
// Reads the whole journal and looks at each item in the Trash: one no longer there (or
// another one there) was emptied. Call off the main thread.
Contents read();

// Renames an item back from the Trash to its place and records that it was put back.
Trash::Result putBack(const QString &key, const JournalItem &item);

// The line for an entry, and back (nothing for a damaged line); for tests.
QByteArray line(const JournalEntry &entry);

} // namespace RemovalJournal
