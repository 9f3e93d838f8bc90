#include "app/FileIcons.h"

#include "app/Symbols.h"

#include <QApplication>
#include <QHash>
#include <QMimeDatabase>
#include <QStyle>

namespace FileIcons {

QIcon icon(const QString &path, bool isDirectory)
{
    Symbols::ensureIconTheme();
    static QHash<QString, QIcon> cache;
    if (isDirectory) {
        if (!cache.contains(QStringLiteral("/dir"))) {
            QIcon folder = QIcon::fromTheme(QStringLiteral("folder"));
            if (folder.isNull())
                folder = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
            cache.insert(QStringLiteral("/dir"), folder);
        }
        return cache.value(QStringLiteral("/dir"));
    }
    static QMimeDatabase db;
    const QMimeType mime = db.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    const QString key = mime.name();
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    QIcon result = QIcon::fromTheme(mime.iconName());
    if (result.isNull())
        result = QIcon::fromTheme(mime.genericIconName());
    if (result.isNull())
        result = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    if (result.isNull())
        result = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    cache.insert(key, result);
    return result;
}

} // namespace FileIcons
