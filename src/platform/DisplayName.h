#pragma once

#include <QByteArray>
#include <QString>

// A name as one line of text, for every list, column and label that shows one: a line
// feed reads ⏎, any other control character its visible picture, and bytes that are not
// UTF-8 the replacement mark. A name with a line feed would otherwise draw as two lines
// over each other in a row one line high.
namespace DisplayName {

QString line(const QString &name);
// The bytes a name has on disk.
QString line(const QByteArray &nativeName);

} // namespace DisplayName
