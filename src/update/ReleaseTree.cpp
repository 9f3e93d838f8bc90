#include "update/ReleaseTree.h"

#include "platform/DirectoryReader.h"

#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Ours are a few kilobytes; anything near this is not.
constexpr qint64 kLargestList = 1 << 20;

// A plain file's bytes, reached without following a link at the end.
std::optional<QByteArray> readSmallFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<QByteArray> out;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kLargestList) {
        QByteArray data(qsizetype(st.st_size), Qt::Uninitialized);
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t n = ::read(fd, data.data() + done, size_t(data.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        if (done == data.size())
            out = data;
    }
    ::close(fd);
    return out;
}

struct Listed {
    QSet<QByteArray> files;
    QSet<QByteArray> folders; // every folder on the way to a listed file
};

// `relative` is "" for the top, else "a/b/".
bool onlyListed(DirectoryReader &folder, const QByteArray &relative, const Listed &listed)
{
    DirectoryReader::Kind kind;
    while (const char *name = folder.next(kind)) {
        const QByteArray path = relative + name;
        if (kind != DirectoryReader::Kind::Directory && kind != DirectoryReader::Kind::SymLink) {
            DirectoryReader::Node node;
            if (!folder.statChild(name, node))
                return false;
            kind = node.kind;
        }
        if (kind != DirectoryReader::Kind::Directory) {
            if (!listed.files.contains(path))
                return false;
            continue;
        }
        if (!listed.folders.contains(path))
            return false;
        DirectoryReader child;
        if (!child.openChild(folder, name) || !onlyListed(child, path + '/', listed))
            return false;
    }
    return true;
}

} // namespace

namespace ReleaseTree {

std::optional<Info> readInfo(const QByteArray &folder)
{
    const std::optional<QByteArray> text = readSmallFile(folder + '/' + info);
    if (!text)
        return std::nullopt;
    Info out;
    for (const QByteArray &line : text->split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = line.left(equals).trimmed();
        const QString value = QString::fromUtf8(line.mid(equals + 1).trimmed());
        if (equals <= 0)
            continue;
        if (key == "version")
            out.version = value;
        else if (key == "build")
            out.build = value;
    }
    if (out.version.isEmpty() || out.build.isEmpty())
        return std::nullopt;
    return out;
}

bool holdsOnlyListed(const QByteArray &folder)
{
    const std::optional<QByteArray> text = readSmallFile(folder + '/' + manifest);
    if (!text)
        return false;
    Listed listed;
    for (const QByteArray &line : text->split('\n')) {
        if (line.isEmpty())
            continue;
        listed.files.insert(line);
        for (qsizetype slash = line.indexOf('/'); slash > 0; slash = line.indexOf('/', slash + 1))
            listed.folders.insert(line.left(slash));
    }
    DirectoryReader top;
    return top.open(folder.constData()) && onlyListed(top, QByteArray(), listed);
}

bool hasFile(const QByteArray &folder, const char *path)
{
    struct stat st {};
    return ::lstat((folder + '/' + path).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           st.st_size > 0;
}

} // namespace ReleaseTree
