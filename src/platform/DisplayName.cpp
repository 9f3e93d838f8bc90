#include "platform/DisplayName.h"

namespace {

// What a character shows as, or itself.
char16_t shown(char16_t c)
{
    if (c == u'\n' || c == 0x85 || c == 0x2028 || c == 0x2029)
        return 0x23CE; // ⏎: every character that breaks a line
    if (c < 0x20)
        return 0x2400 + c; // the control pictures: ␀ … ␟
    if (c == 0x7F)
        return 0x2421; // ␡
    if (c >= 0x80 && c < 0xA0)
        return 0x2426; // ␦: the C1 controls have no pictures of their own
    return c;
}

} // namespace

namespace DisplayName {

QString line(const QString &name)
{
    qsizetype first = 0;
    while (first < name.size() && shown(name.at(first).unicode()) == name.at(first).unicode())
        ++first;
    if (first == name.size())
        return name;
    QString out = name;
    for (qsizetype i = first; i < out.size(); ++i)
        out[i] = QChar(shown(out.at(i).unicode()));
    return out;
}

QString line(const QByteArray &nativeName)
{
    // Bytes that are not UTF-8 decode to U+FFFD.
    return line(QString::fromUtf8(nativeName));
}

} // namespace DisplayName
