#include "platform/Plural.h"

namespace Plural {

QString count(qint64 n, const QString &one, const QString &many)
{
    return QString::number(n) + QLatin1Char(' ') + (n == 1 ? one : many);
}

} // namespace Plural
