#pragma once

#include <QByteArray>
#include <QString>

// The folder an update is downloaded and unpacked into, beside the running copy: the
// swap needs the same file system, and a large download must not fill a memory-backed
// temporary folder. Whatever is left in it goes when the object does.
class StagingFolder {
public:
    // The only files the updater makes in it itself; they hold nothing of the user's.
    static constexpr char archiveName[] = "release.tar.gz";
    static constexpr char signatureName[] = "release.tar.gz.sig";

    StagingFolder() = default;
    ~StagingFolder();
    StagingFolder(const StagingFolder &) = delete;
    StagingFolder &operator=(const StagingFolder &) = delete;

    // Makes a fresh, empty folder at `path`; anything already there (an earlier
    // attempt's, or planted) goes to the Trash unread, links not followed.
    bool create(const QString &path);
    int descriptor() const { return m_fd; }
    const QByteArray &path() const { return m_path; }
    QString filePath(const char *name) const;

private:
    QByteArray m_path;
    int m_fd = -1;
};
