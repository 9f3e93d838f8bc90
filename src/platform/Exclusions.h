#pragma once

#include "platform/FileIdentity.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

// The folders the user keeps out of every scan and every clean, and the paths the
// cleaners and finders never offer again ("Keep"). Each list is a file of its own in the
// settings folder, so the window and quillmar-cli read the same lists. A list that cannot
// be read closes the way to every removal until it can.
class Exclusions {
public:
    enum class List { ExcludedFolders, KeepList };
    static QString fileOf(List list);

    // Both lists as their files hold them now; the files are read again only when they
    // changed. Safe from any thread.
    static Exclusions current();
    // Replaces a list whole; the reason when it could not be written.
    static QString write(List list, const QList<QByteArray> &paths);

    bool isReadable() const { return m_error.isEmpty(); }
    // Why removals are closed: which list cannot be read, and why.
    QString error() const { return m_error; }
    QList<QByteArray> excludedFolders() const { return m_excluded; }
    QList<QByteArray> keptPaths() const { return m_kept; }

    // The path is an excluded folder or lies inside one (as written or with its links
    // resolved).
    bool isExcluded(const QByteArray &path) const;
    // The path is exactly an excluded folder: the map shows it, marked, with no size.
    bool isExcludedFolder(const QByteArray &path) const;
    // The folder found by a walk is an excluded one, by its device and inode.
    bool isExcludedId(const FileId &id) const { return m_excludedIds.contains(id); }
    // An excluded folder lies below the path: moving the path would take it along.
    bool holdsExcluded(const QByteArray &path) const;
    bool isKept(const QByteArray &path) const;
    // Whether a cleaner or finder may offer the item: both lists were read, and it is
    // neither excluded nor kept, nor holds what is.
    bool offers(const QByteArray &path) const;
    // Why the item must not be moved to the Trash (a list unreadable, an excluded folder
    // in or around it); empty when it may.
    QString removalRefusal(const QByteArray &path) const;

private:
    QString m_error;
    QList<QByteArray> m_excluded, m_kept;
    // Each entry as written and with its links resolved.
    QList<QByteArray> m_excludedSpellings, m_keptSpellings;
    QSet<FileId> m_excludedIds;
};
