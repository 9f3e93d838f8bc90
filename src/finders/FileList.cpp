#include "finders/FileList.h"

#include "platform/FileProperties.h"

void FileList::enterFolder(const char *path, size_t length)
{
    m_current.assign(path, length);
    m_currentStored = false;
}

void FileList::add(const char *name, size_t length, const FileIdentity &identity)
{
    if (!m_currentStored) {
        m_folders.emplace_back(quint32(m_text.size()), quint32(m_current.size()));
        m_text += m_current;
        m_currentStored = true;
    }
    m_files.push_back(
        {quint32(m_folders.size() - 1), quint32(m_text.size()), quint32(length), identity});
    m_text.append(name, length);
}

void FileList::addPath(const QByteArray &path, const FileIdentity &identity)
{
    m_files.push_back({kWhole, quint32(m_text.size()), quint32(path.size()), identity});
    m_text.append(path.constData(), size_t(path.size()));
}

QByteArray FileList::path(qsizetype i) const
{
    const File &f = m_files[size_t(i)];
    QByteArray out;
    if (f.folder != kWhole) {
        const auto [start, length] = m_folders[f.folder];
        out.reserve(qsizetype(length + 1 + f.nameLength));
        out.append(m_text.data() + start, qsizetype(length));
        if (length == 0 || m_text[start + length - 1] != '/')
            out += '/';
    }
    out.append(m_text.data() + f.nameAt, qsizetype(f.nameLength));
    return out;
}

QString FileList::text(qsizetype i) const
{
    const QByteArray bytes = path(i);
    return decodeNativePath(bytes.constData(), bytes.size());
}

QList<QByteArray> FileList::paths() const
{
    QList<QByteArray> out;
    out.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        out.append(path(i));
    return out;
}
