#include "platform/DirectoryWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

// `dirFd` is owned here and closed before returning (fdopendir takes it over).
void walkFolder(int dirFd, const std::string &prefix, const DirectoryWalk::Visitor &visit)
{
    DIR *dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (struct dirent *e = ::readdir(dir)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        struct stat st;
        if (::fstatat(dirfd(dir), n, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const std::string path = prefix + '/' + n;
        visit(decodeNativePath(path.data(), qsizetype(path.size())), FileProperties::fromStat(st));
        if (S_ISDIR(st.st_mode)) {
            const int child =
                ::openat(dirfd(dir), n, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                walkFolder(child, path, visit);
        }
    }
    ::closedir(dir);
}

} // namespace

bool DirectoryWalk::walk(const QString &folder, const Visitor &visit)
{
    if (folder.isEmpty())
        return false;
    const QByteArray root = nativePath(folder);
    const int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string prefix(root.constData(), size_t(root.size()));
    while (prefix.size() > 1 && prefix.back() == '/')
        prefix.pop_back();
    if (prefix == "/")
        prefix.clear();
    walkFolder(fd, prefix, visit);
    return true;
}
