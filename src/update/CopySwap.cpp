#include "update/CopySwap.h"

#include "exec/SafetyHelper.h"
#include "platform/BytePath.h"
#include "platform/FileProperties.h"
#include "platform/SystemLog.h"
#include "platform/Trash.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

#ifndef RENAME_EXCHANGE
#define RENAME_EXCHANGE (1 << 1)
#endif

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The old copy to the Trash, then the new one into its place; when the second move fails
// the old copy comes back.
std::optional<QString> replaceByTwoMoves(const QByteArray &copy, const QByteArray &staged,
                                         const std::function<void()> &betweenMoves)
{
    const Trash::Result trashed = Trash::moveNativeToTrash(copy);
    if (!trashed.ok)
        return trashed.error;
    if (betweenMoves)
        betweenMoves();
    if (::rename(staged.constData(), copy.constData()) == 0)
        return std::nullopt;
    const QString reason = systemError(errno);
    // Put back where the Trash found it: its folder as the system resolves it.
    const QByteArray folder = BytePath::parentOf(copy);
    if (!Trash::putBack(trashed,
                        BytePath::join(realPath(folder).value_or(folder), BytePath::lastName(copy)))
             .ok)
        SystemLog::write(SystemLog::Level::Error,
                         QStringLiteral("The previous copy stays in the Trash at ") +
                             trashed.trashedPath);
    return reason;
}

} // namespace

namespace CopySwap {

std::optional<QString> replace(const QByteArray &copy, const QByteArray &staged,
                               const Options &options)
{
    if (options.exchange) {
        if (::renameat2(AT_FDCWD, staged.constData(), AT_FDCWD, copy.constData(),
                        RENAME_EXCHANGE) == 0) {
            // The old copy now sits where the new one was staged; its record names the
            // place it was swapped out of, where a restore should put it.
            const SafetyHelper::Outcome moved = SafetyHelper::moveNativeToTrashFrom(staged, copy);
            if (!moved.ok)
                SystemLog::write(SystemLog::Level::Error,
                                 QStringLiteral("The previous copy stays staged: ") + moved.reason);
            return std::nullopt;
        }
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return systemError(errno);
    }
    return replaceByTwoMoves(copy, staged, options.betweenMoves);
}

} // namespace CopySwap
