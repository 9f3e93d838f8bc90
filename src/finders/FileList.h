#pragma once

#include "platform/FileIdentity.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

// Files a search found, kept small: the path of each folder that holds one is stored once,
// each file as its name and what the system said of it. A home of many thousand files
// then costs tens of bytes a file, not a path and its text a file.
class FileList {
public:
    struct File {
        quint32 folder = 0; // index of the folder's path; kWhole: the name is the whole path
        quint32 nameAt = 0; // where the name starts in the text
        quint32 nameLength = 0;
        FileIdentity identity; // as listed; its size is the file's
    };
    static constexpr quint32 kWhole = 0xffffffffu;

    // The files added next sit in this folder (its path as the listing spells it).
    void enterFolder(const char *path, size_t length);
    void add(const char *name, size_t length, const FileIdentity &identity);
    // A file given by its whole path.
    void addPath(const QByteArray &path, const FileIdentity &identity);

    qsizetype size() const { return qsizetype(m_files.size()); }
    bool isEmpty() const { return m_files.empty(); }
    const File &at(qsizetype i) const { return m_files[size_t(i)]; }
    // The path bytes: the folder's, a separator unless it ends in one, the name.
    QByteArray path(qsizetype i) const;
    // The path as text, names that are not UTF-8 decoded leniently.
    QString text(qsizetype i) const;
    // Every path, in the order they were added.
    QList<QByteArray> paths() const;

private:
    std::string m_text;
    std::vector<std::pair<quint32, quint32>> m_folders; // start and length in m_text
    std::vector<File> m_files;
    std::string m_current; // the folder entered, stored once a file is added in it
    bool m_currentStored = false;
};
