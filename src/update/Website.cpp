#include "update/Website.h"

namespace Website {

QString base()
{
    static const QString value = [] {
        QString b = qEnvironmentVariable("QUILLMAR_UPDATE_BASE");
        if (b.isEmpty())
            b = QStringLiteral("https://quillmar.app");
        while (b.endsWith(QLatin1Char('/')))
            b.chop(1);
        return b;
    }();
    return value;
}

QString host()
{
    return QUrl(base()).host();
}

QUrl page(const QString &path)
{
    return QUrl(base() + path);
}

} // namespace Website
