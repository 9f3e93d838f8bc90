#include "platform/BytePath.h"

QByteArray BytePath::parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray BytePath::lastName(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray BytePath::join(const QByteArray &folder, const QByteArray &name)
{
    return folder == "/" ? '/' + name : folder + '/' + name;
}

bool BytePath::isStrictlyInside(const QByteArray &path, const QByteArray &folder)
{
    if (folder == "/")
        return path.size() > 1 && path.startsWith('/');
    return path.size() > folder.size() && path.startsWith(folder) && path.at(folder.size()) == '/';
}

bool BytePath::isSameOrInside(const QByteArray &path, const QByteArray &folder)
{
    return path == folder || isStrictlyInside(path, folder);
}

QByteArray BytePath::folded(const QByteArray &path)
{
    if (path.isEmpty())
        return path;
    const bool absolute = path.startsWith('/');
    QList<QByteArray> parts;
    for (const QByteArray &part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty() && parts.last() != "..")
                parts.removeLast();
            else if (!absolute)
                parts.append(part);
            continue;
        }
        parts.append(part);
    }
    QByteArray out;
    out.reserve(path.size());
    for (const QByteArray &part : parts) {
        if (absolute || !out.isEmpty())
            out += '/';
        out += part;
    }
    if (out.isEmpty())
        out = absolute ? QByteArray("/") : QByteArray(".");
    return out;
}
