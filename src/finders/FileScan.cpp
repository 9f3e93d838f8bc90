#include "finders/FileScan.h"

#include "platform/DirectoryWalk.h"
#include "platform/FileProperties.h"

#include <algorithm>

QList<FileScan::SizedPath> FileScan::largestFiles(const QString &folder, int limit)
{
    QList<SizedPath> files;
    const bool walked =
        DirectoryWalk::walk(folder, [&](const QString &path, const FileProperties &p) {
            if (p.isRegularFile)
                files.append({path, p.fileSize});
        });
    if (!walked || limit <= 0)
        return {};
    std::stable_sort(files.begin(), files.end(),
                     [](const SizedPath &a, const SizedPath &b) { return a.bytes > b.bytes; });
    if (files.size() > limit)
        files.resize(limit);
    return files;
}

QString FileScan::modifiedDay(const QString &path)
{
    const auto p = FileProperties::read(path);
    if (!p || !p->modified.isValid())
        return {};
    return p->modified.toLocalTime().toString(QStringLiteral("yyyy-MM-dd"));
}
