#include "platform/DesktopEntry.h"

#include "platform/ReadOnlyFile.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr qint64 kMaxBytes = 256 * 1024;

// The value escapes of the format: \s \n \t \r \\.
QString unescapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar e = value.at(++i);
        switch (e.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += QLatin1Char('\\');
            out += e;
        }
    }
    return out;
}

QStringList listValue(const QString &value)
{
    QStringList items = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString &item : items)
        item = item.trimmed();
    return items;
}

} // namespace

bool DesktopEntry::shownOn(const QString &currentDesktop) const
{
    if (hidden || noDisplay || (!type.isEmpty() && type != QLatin1String("Application")))
        return false;
    const QStringList desktops = currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &d : desktops)
        if (notShowIn.contains(d, Qt::CaseInsensitive))
            return false;
    if (onlyShowIn.isEmpty())
        return true;
    for (const QString &d : desktops)
        if (onlyShowIn.contains(d, Qt::CaseInsensitive))
            return true;
    return false;
}

std::optional<DesktopEntry> DesktopEntry::read(const QString &path)
{
    // Entries are often links (Flatpak exports its entries so); a pipe among them must
    // not block the read.
    ReadOnlyFile file;
    if (!file.open(path, true) || file.size() > kMaxBytes)
        return std::nullopt;
    QByteArray text(file.size(), Qt::Uninitialized);
    if (file.readAt(0, text.data(), text.size()) != text.size())
        return std::nullopt;
    QString id = QFileInfo(path).fileName();
    if (id.endsWith(QLatin1String(".desktop")))
        id.chop(8);
    return parse(text, id);
}

std::optional<DesktopEntry> DesktopEntry::parse(const QByteArray &text, const QString &id)
{
    DesktopEntry entry;
    entry.id = id;
    bool inGroup = false;
    bool seenGroup = false;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            seenGroup = seenGroup || inGroup;
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = unescapeValue(line.mid(eq + 1).trimmed());
        if (key == QLatin1String("Name"))
            entry.name = value;
        else if (key == QLatin1String("Exec"))
            entry.exec = value;
        else if (key == QLatin1String("TryExec"))
            entry.tryExec = value;
        else if (key == QLatin1String("Hidden"))
            entry.hidden = value == QLatin1String("true");
        else if (key == QLatin1String("NoDisplay"))
            entry.noDisplay = value == QLatin1String("true");
        else if (key == QLatin1String("Type"))
            entry.type = value;
        else if (key == QLatin1String("Icon"))
            entry.icon = value;
        else if (key == QLatin1String("StartupWMClass"))
            entry.startupWMClass = value;
        else if (key == QLatin1String("X-Flatpak"))
            entry.flatpakId = value;
        else if (key == QLatin1String("X-SnapInstanceName"))
            entry.snapName = value;
        else if (key == QLatin1String("OnlyShowIn"))
            entry.onlyShowIn = listValue(value);
        else if (key == QLatin1String("NotShowIn"))
            entry.notShowIn = listValue(value);
    }
    if (!seenGroup)
        return std::nullopt;
    return entry;
}

QStringList DesktopEntry::execArguments() const
{
    // Double quotes group; inside them a backslash escapes " ` $ and \.
    QStringList args;
    QString current;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                current += exec.at(++i);
            } else {
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (any || !current.isEmpty())
                args.append(current);
            current.clear();
            any = false;
        } else {
            current += c;
        }
    }
    if (any || !current.isEmpty())
        args.append(current);
    return args;
}

QString DesktopEntry::program() const
{
    QString candidate = tryExec;
    if (candidate.isEmpty()) {
        const QStringList args = execArguments();
        if (args.isEmpty())
            return {};
        candidate = args.first();
    }
    if (candidate.startsWith(QLatin1Char('/')))
        return candidate;
    if (candidate.contains(QLatin1Char('/')))
        return {};
    return QStandardPaths::findExecutable(candidate);
}

bool DesktopEntry::names(const QString &path) const
{
    return !path.isEmpty() && (tryExec == path || execArguments().contains(path));
}
