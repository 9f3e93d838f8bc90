#include "update/Updater.h"

#include "QuillmarBuild.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Updater {

std::optional<Release> parseFeed(const QByteArray &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject feed = doc.object();
    if (!feed.value(QStringLiteral("version")).isString())
        return std::nullopt;
    Release release;
    release.version = feed.value(QStringLiteral("version")).toString();
    const QJsonValue notes = feed.value(QStringLiteral("notes"));
    if (notes.isArray()) {
        for (const QJsonValue &note : notes.toArray())
            release.notes.append(note.toString());
    }
    return release;
}

QString currentVersion()
{
    const QString build = QStringLiteral(QUILLMAR_BUILD);
    return build.isEmpty() ? QStringLiteral("0") : build;
}

} // namespace Updater
