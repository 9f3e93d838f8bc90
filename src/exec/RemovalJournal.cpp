#include "exec/RemovalJournal.h"

#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/PathList.h"
#include "platform/RemovalHub.h"
#include "platform/SystemLog.h"
#include "storage/UsageWalk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString text(const QByteArray &path)
{
    return QString::fromLatin1(PathList::encode(path));
}

std::optional<QByteArray> pathOf(const QJsonValue &value, bool optional = false)
{
    if (optional && (value.isUndefined() || value.toString().isEmpty()))
        return QByteArray();
    if (!value.isString())
        return std::nullopt;
    return PathList::decode(value.toString().toLatin1());
}

// 64-bit numbers travel as text: a JSON number keeps 53 bits.
std::optional<qint64> numberOf(const QJsonValue &value)
{
    bool ok = false;
    const qint64 n = value.toString().toLongLong(&ok);
    return ok ? std::optional(n) : std::nullopt;
}

class Quiet : public UsageWalk::Visitor {
    void enter(const UsageWalk::Item &, int) override {}
    void item(const UsageWalk::Item &, int) override {}
    void leave(const UsageWalk::Item &, const UsageWalk::Totals &, int) override {}
};

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// One write of the whole line; a line cut short by an earlier failure is ended first, so
// only that one stays damaged (read and write: the last byte is looked at).
QString appendLine(QByteArray line)
{
    const QString path = RemovalJournal::file();
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QStringLiteral("Cannot create %1").arg(QFileInfo(path).path());
    const int fd = ::open(nativePath(path).constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return systemError(errno);
    const off_t end = ::lseek(fd, 0, SEEK_END);
    char last = '\n';
    if (end > 0 && ::pread(fd, &last, 1, end - 1) != 1)
        last = '\n';
    if (last != '\n')
        line.prepend('\n');
    line += '\n';
    ssize_t written;
    do
        written = ::write(fd, line.constData(), size_t(line.size()));
    while (written < 0 && errno == EINTR);
    const int err = written < 0 ? errno : 0;
    ::close(fd);
    if (err)
        return systemError(err);
    if (written != line.size())
        return QStringLiteral("The disk took only part of the record");
    return {};
}

std::optional<JournalEntry> entryFrom(const QJsonObject &o)
{
    JournalEntry entry;
    entry.key = o.value(QLatin1String("removal")).toString();
    entry.origin = o.value(QLatin1String("origin")).toString();
    entry.when = QDateTime::fromString(o.value(QLatin1String("when")).toString(), Qt::ISODateWithMs)
                     .toLocalTime();
    if (entry.key.isEmpty() || !entry.when.isValid())
        return std::nullopt;
    for (const QJsonValue &v : o.value(QLatin1String("items")).toArray()) {
        const QJsonObject i = v.toObject();
        const auto path = pathOf(i.value(QLatin1String("path")));
        const auto resolved = pathOf(i.value(QLatin1String("resolved")), true);
        const auto trashed = pathOf(i.value(QLatin1String("trashed")));
        const auto device = numberOf(i.value(QLatin1String("device")));
        const auto inode = numberOf(i.value(QLatin1String("inode")));
        const auto size = numberOf(i.value(QLatin1String("size")));
        const auto modified = numberOf(i.value(QLatin1String("modified")));
        const auto bytes = numberOf(i.value(QLatin1String("bytes")));
        if (!path || !resolved || !trashed || !device || !inode || !size || !modified || !bytes)
            return std::nullopt;
        JournalItem item{*path,
                         *resolved,
                         *trashed,
                         {quint64(*device), quint64(*inode), *size, *modified,
                          i.value(QLatin1String("folder")).toBool()},
                         *bytes};
        entry.items.append(item);
    }
    if (entry.items.isEmpty())
        return std::nullopt;
    return entry;
}

} // namespace

qint64 JournalEntry::bytes() const
{
    qint64 total = 0;
    for (const JournalItem &item : items)
        total += qMax<qint64>(0, item.bytes);
    return total;
}

QString RemovalJournal::file()
{
    return Locations::current().stateFolder + QStringLiteral("/removals.journal");
}

JournalEntry RemovalJournal::entryOf(const RemovalBatch &batch)
{
    JournalEntry entry;
    entry.batchId = batch.id;
    entry.when = batch.when.isValid() ? batch.when : QDateTime::currentDateTime();
    entry.key = QStringLiteral("%1-%2-%3")
                    .arg(entry.when.toMSecsSinceEpoch())
                    .arg(QCoreApplication::applicationPid())
                    .arg(batch.id);
    entry.origin = batch.origin;
    for (const RemovedItem &removed : batch.items) {
        JournalItem item{removed.path, removed.resolvedPath, removed.trashed.trashedNativePath,
                         removed.identity, removed.allocatedBytes};
        if (item.bytes < 0 && !item.trashedPath.isEmpty()) {
            UsageWalk walk;
            Quiet quiet;
            if (const auto totals = walk.run(item.trashedPath, quiet))
                item.bytes = totals->allocatedBytes;
        }
        entry.items.append(item);
    }
    return entry;
}

QByteArray RemovalJournal::line(const JournalEntry &entry)
{
    QJsonArray items;
    for (const JournalItem &item : entry.items) {
        const FileIdentity &id = item.identity;
        items.append(QJsonObject{
            {QStringLiteral("path"), text(item.path)},
            {QStringLiteral("resolved"), text(item.resolvedPath)},
            {QStringLiteral("trashed"), text(item.trashedPath)},
            {QStringLiteral("device"), QString::number(id.device)},
            {QStringLiteral("inode"), QString::number(id.inode)},
            {QStringLiteral("size"), QString::number(id.size)},
            {QStringLiteral("modified"), QString::number(id.modifiedNs)},
            {QStringLiteral("folder"), id.isFolder},
            {QStringLiteral("bytes"), QString::number(item.bytes)},
        });
    }
    const QJsonObject o{{QStringLiteral("removal"), entry.key},
                        {QStringLiteral("when"), entry.when.toUTC().toString(Qt::ISODateWithMs)},
                        {QStringLiteral("origin"), entry.origin},
                        {QStringLiteral("items"), items}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString RemovalJournal::append(const JournalEntry &entry)
{
    return appendLine(line(entry));
}

QString RemovalJournal::appendPutBack(const QString &key, const QByteArray &path)
{
    const QJsonObject o{{QStringLiteral("putBack"), key}, {QStringLiteral("path"), text(path)}};
    return appendLine(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

RemovalJournal::Contents RemovalJournal::read()
{
    Contents contents;
    QFile f(file());
    if (!f.exists())
        return contents;
    if (!f.open(QIODevice::ReadOnly)) {
        contents.error = f.errorString();
        return contents;
    }
    QHash<QString, QSet<QByteArray>> putBack;
    int number = 0;
    while (!f.atEnd()) {
        QByteArray raw = f.readLine();
        ++number;
        if (raw.endsWith('\n'))
            raw.chop(1);
        if (raw.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(raw).object();
        if (o.contains(QLatin1String("putBack"))) {
            if (const auto path = pathOf(o.value(QLatin1String("path")))) {
                putBack[o.value(QLatin1String("putBack")).toString()].insert(*path);
                continue;
            }
        } else if (const auto entry = entryFrom(o)) {
            contents.entries.prepend(*entry);
            continue;
        }
        ++contents.damagedLines;
        SystemLog::write(
            SystemLog::Level::Error,
            QStringLiteral("Skipped line %1 of %2: it is damaged").arg(number).arg(f.fileName()));
    }
    for (JournalEntry &entry : contents.entries) {
        const QSet<QByteArray> back = putBack.value(entry.key);
        for (JournalItem &item : entry.items) {
            if (back.contains(item.path)) {
                item.state = JournalItem::State::PutBack;
                continue;
            }
            const std::optional<FileIdentity> there = FileIdentity::read(item.trashedPath);
            item.state = there && there->id() == item.identity.id() ? JournalItem::State::InTrash
                                                                    : JournalItem::State::Emptied;
        }
    }
    return contents;
}

Trash::Result RemovalJournal::putBack(const QString &key, const JournalItem &item)
{
    Trash::Result trashed;
    trashed.ok = true;
    trashed.trashedNativePath = item.trashedPath;
    trashed.trashedPath = decodeNativePath(item.trashedPath.constData(), item.trashedPath.size());
    Trash::Result back = Trash::putBack(trashed, item.placeBack(), item.identity);
    if (back.ok) {
        if (const QString why = appendPutBack(key, item.path); !why.isEmpty())
            SystemLog::write(
                SystemLog::Level::Error,
                QStringLiteral("Could not record a put back in %1: %2").arg(file(), why));
    }
    return back;
}
