#include "finders/ListExport.h"

#include "platform/FileProperties.h"
#include "platform/PathText.h"

#include <QHash>
#include <QSaveFile>

namespace {

QByteArray csvPath(const QByteArray &path)
{
    return PathText::csvField(PathText::escaped(path));
}

QByteArray bytesOf(const FileItem &item)
{
    return item.nativePath.isEmpty() ? nativePath(item.path) : item.nativePath;
}

qint64 sizeOf(const FileItem &item)
{
    return item.identity.isNull() ? qint64(item.sizeMB * 1024 * 1024) : item.identity.size;
}

} // namespace

namespace ListExport {

QByteArray filesCsv(const QList<File> &files)
{
    QByteArray out = "path,bytes,kind\r\n";
    for (const File &f : files)
        out += csvPath(f.path) + ',' + QByteArray::number(f.bytes) + ',' +
               PathText::csvField(f.kind.toUtf8()) + "\r\n";
    return out;
}

QByteArray filesJson(const QList<File> &files)
{
    QByteArray out = "[";
    for (qsizetype i = 0; i < files.size(); ++i) {
        const File &f = files[i];
        out += i == 0 ? "\n" : ",\n";
        out += "{\"path\":" + PathText::json(f.path) + ",\"bytes\":" + QByteArray::number(f.bytes) +
               ",\"kind\":" + PathText::json(f.kind.toUtf8()) + '}';
    }
    out += "\n]\n";
    return out;
}

QByteArray groupsCsv(const QList<Group> &groups)
{
    QByteArray out = "group,bytes,path\r\n";
    for (qsizetype g = 0; g < groups.size(); ++g) {
        for (const QByteArray &path : groups[g].paths)
            out += QByteArray::number(g + 1) + ',' + QByteArray::number(groups[g].bytes) + ',' +
                   csvPath(path) + "\r\n";
    }
    return out;
}

QByteArray groupsJson(const QList<Group> &groups)
{
    QByteArray out = "[";
    for (qsizetype g = 0; g < groups.size(); ++g) {
        out += g == 0 ? "\n" : ",\n";
        out += "{\"bytes\":" + QByteArray::number(groups[g].bytes) + ",\"paths\":[";
        for (qsizetype i = 0; i < groups[g].paths.size(); ++i)
            out += (i == 0 ? "" : ",") + PathText::json(groups[g].paths[i]);
        out += "]}";
    }
    out += "\n]\n";
    return out;
}

QList<File> files(const QList<FileItem> &items)
{
    QList<File> out;
    out.reserve(items.size());
    for (const FileItem &item : items)
        out.append(File{bytesOf(item), sizeOf(item), item.sizeDesc});
    return out;
}

QList<Group> groups(const QList<FileItem> &items)
{
    QList<Group> out;
    QHash<QString, qsizetype> index;
    for (const FileItem &item : items) {
        auto at = index.constFind(item.md5Hash);
        if (at == index.cend()) {
            at = index.insert(item.md5Hash, out.size());
            out.append(Group{sizeOf(item), {}});
        }
        out[*at].paths.append(bytesOf(item));
    }
    return out;
}

QList<Group> groups(const QList<DuplicateGroupRecord> &records)
{
    QList<Group> out;
    out.reserve(records.size());
    for (const DuplicateGroupRecord &r : records)
        out.append(Group{r.bytes, r.nativePaths});
    return out;
}

QString save(const QString &fileName, const QByteArray &contents)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() ||
        !file.commit())
        return file.errorString();
    return {};
}

} // namespace ListExport
