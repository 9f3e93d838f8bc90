#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Reads a desktop entry back as a launcher does, and strictly: anything the entry format
// forbids gives nothing, so a writer's mistake cannot pass as another reading.
namespace DesktopEntryReader {

// The value of `key` after the value escapes (\s \n \t \r \\).
inline std::optional<QString> value(const QByteArray &entry, const QString &key)
{
    for (const QString &line : QString::fromUtf8(entry).split('\n')) {
        if (!line.startsWith(key + '='))
            continue;
        QString out;
        for (qsizetype i = key.size() + 1; i < line.size(); ++i) {
            if (line[i] != '\\') {
                out += line[i];
                continue;
            }
            const qsizetype escape = ++i < line.size() ? QString("sntr\\").indexOf(line[i]) : -1;
            if (escape < 0)
                return std::nullopt;
            out += QString(" \n\t\r\\")[escape];
        }
        return out;
    }
    return std::nullopt;
}

// Exec= as the program and its arguments: "%%" is the only field code expected; a
// reserved character outside double quotes, or a backslash inside them before anything
// but " ` $ \, is an error.
inline std::optional<QStringList> execArguments(const QByteArray &entry)
{
    const std::optional<QString> exec = value(entry, "Exec");
    if (!exec || exec->count('%') != 2 * exec->count("%%"))
        return std::nullopt;
    const QString line = QString(*exec).replace("%%", "%");
    QStringList arguments;
    QString current;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == '\\') {
            if (++i == line.size() || !QString("\"`$\\").contains(line[i]))
                return std::nullopt;
            current += line[i];
        } else if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && c == ' ') {
            if (any || !current.isEmpty())
                arguments.append(current);
            current.clear();
            any = false;
        } else if (!quoted && QString("\t\n'\\><~|&;$*?#()`").contains(c)) {
            return std::nullopt;
        } else {
            current += c;
        }
    }
    if (quoted)
        return std::nullopt;
    if (any || !current.isEmpty())
        arguments.append(current);
    return arguments;
}

} // namespace DesktopEntryReader
