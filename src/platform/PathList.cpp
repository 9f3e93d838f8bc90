#include "platform/PathList.h"

#include "platform/FileProperties.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QByteArray kHeader = QByteArrayLiteral("# quillmar path list 1");

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool isPlain(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

} // namespace

QByteArray PathList::encode(const QByteArray &path)
{
    return path.toPercentEncoding("/");
}

std::optional<QByteArray> PathList::decode(const QByteArray &line)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line.at(i) == '%') {
            if (i + 2 >= line.size() || !isHex(line.at(i + 1)) || !isHex(line.at(i + 2)))
                return std::nullopt;
            i += 2;
        } else if (!isPlain(line.at(i))) {
            return std::nullopt;
        }
    }
    const QByteArray path = QByteArray::fromPercentEncoding(line);
    if (!path.startsWith('/') || path.contains('\0'))
        return std::nullopt;
    return path;
}

PathList::Read PathList::read(const QString &file)
{
    Read result;
    QFile f(file);
    if (!f.exists())
        return result;
    if (!f.open(QIODevice::ReadOnly)) {
        result.error = f.errorString();
        return result;
    }
    const QByteArray text = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        result.error = f.errorString();
        return result;
    }
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty() || lines.first() != kHeader) {
        result.error = QStringLiteral("it is not a list this program wrote");
        return result;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const std::optional<QByteArray> path = decode(lines.at(i));
        if (!path) {
            // Half a list would let through what the missing half keeps out.
            result.error = QStringLiteral("line %1 is damaged").arg(i + 1);
            result.paths.clear();
            return result;
        }
        result.paths.append(*path);
    }
    return result;
}

QString PathList::write(const QString &file, const QList<QByteArray> &paths)
{
    if (!QDir().mkpath(QFileInfo(file).path()))
        return QStringLiteral("Cannot create %1").arg(QFileInfo(file).path());
    QByteArray text = kHeader + '\n';
    for (const QByteArray &path : paths)
        text += encode(path) + '\n';
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit())
        return out.errorString();
    return {};
}
