#include "app/widgets/FileIcons.h"

#include "app/widgets/Symbols.h"

#include <QApplication>
#include <QHash>
#include <QMimeDatabase>
#include <QStyle>

namespace FileIcons {

QMimeType typeOf(const QString &path)
{
    // Matching a name against every known pattern costs more than drawing its row: a
    // list draws the same names again and again.
    static QMimeDatabase db;
    static QHash<QString, QMimeType> byName;
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    auto it = byName.constFind(name);
    if (it != byName.constEnd())
        return *it;
    if (byName.size() >= 4096)
        byName.clear();
    const QMimeType mime = db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    byName.insert(name, mime);
    return mime;
}

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
    const QMimeType mime = typeOf(path);
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
