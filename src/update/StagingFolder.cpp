#include "update/StagingFolder.h"

#include "exec/SafetyHelper.h"
#include "platform/SystemLog.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

StagingFolder::~StagingFolder()
{
    if (m_fd < 0)
        return;
    ::unlinkat(m_fd, archiveName, 0);
    ::unlinkat(m_fd, signatureName, 0);
    ::close(m_fd);
    // What is left (an unpacked tree) goes to the Trash with the folder.
    if (::rmdir(m_path.constData()) == 0 || errno == ENOENT)
        return;
    const SafetyHelper::Outcome moved = SafetyHelper::moveNativeToTrash(m_path);
    if (!moved.ok)
        SystemLog::write(SystemLog::Level::Error,
                         QStringLiteral("Staged update left behind: ") + moved.reason);
}

bool StagingFolder::create(const QString &path)
{
    m_path = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(m_path.constData(), &st) == 0 && !SafetyHelper::moveNativeToTrash(m_path).ok)
        return false;
    if (::mkdir(m_path.constData(), 0700) != 0)
        return false;
    m_fd = ::open(m_path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return m_fd >= 0;
}

QString StagingFolder::filePath(const char *name) const
{
    return QFile::decodeName(m_path + '/' + name);
}
