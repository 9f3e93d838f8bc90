#include "app/widgets/FileIcons.h"

#include "app/widgets/Symbols.h"

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
    // Some text formats (index.theme, for one) name the archive icon as their generic
    // one; a text file should not look like a zip.
    const bool textInArchiveIcon = mime.inherits(QStringLiteral("text/plain")) &&
                                   mime.genericIconName() == QLatin1String("package-x-generic");
    if (result.isNull() && !textInArchiveIcon)
        result = QIcon::fromTheme(mime.genericIconName());
    if (result.isNull())
        result = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    if (result.isNull())
        result = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    cache.insert(key, result);
    return result;
}

} // namespace FileIcons
