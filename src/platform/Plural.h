#pragma once

#include <QString>

namespace Plural {

// A count with the word that goes with it: "1 item", "0 items", "3 items".
QString count(qint64 n, const QString &one, const QString &many);

} // namespace Plural
