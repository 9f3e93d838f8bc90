#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

// Reads property lists, the XML and the binary ("bplist00") kinds, without any system
// service. Values come back as QVariantMap (dict), QVariantList (array), QString,
// qint64 (integer), double (real), bool, QByteArray (data) and QDateTime (date, UTC).
// Damaged or truncated input gives nothing rather than a partial answer.
namespace PropertyList {

std::optional<QVariant> parse(const QByteArray &data);
// Files larger than a few megabytes are not property lists worth reading; a link or
// anything but a regular file is not read at all.
std::optional<QVariant> readFile(const QString &path);

// The text under `key` of a top-level dict; nothing when absent or not text.
std::optional<QString> stringValue(const QVariant &plist, const QString &key);

} // namespace PropertyList
