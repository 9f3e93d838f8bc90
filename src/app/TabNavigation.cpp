#include "app/TabNavigation.h"

#include "platform/PlatformTexts.h"

namespace {

struct TabInfo {
    const char *raw;
    const char *title;
    const char *subtitle;
    const char *image;
};

// In declaration order.
constexpr TabInfo kTabs[] = {
    {"dashboard", "Dashboard", "How your disk is used", "chart.pie.fill"},
    {"storage", "Storage Map", "What fills your disk, folder by folder", "square.grid.3x3.fill"},
    {"applications", "Applications", "Installed apps and the space they use", "app.badge.fill"},
    {"docker", "Docker", "Images, containers and volumes", "shippingbox.fill"},
    {"runtimes", "Runtimes & Binaries", "Java, Python and other tools installed for development",
     "terminal.fill"},
    {"homebrew", "Homebrew", "Formulae and casks", "mug.fill"},
    {"deepClean", "Deep Clean", "node_modules folders in your projects", "folder.fill.badge.minus"},
    {"junk", "Junk Cleaner", "Caches and logs that are safe to clear", "trash.fill"},
    {"duplicates", "Duplicate Files", "Files with identical contents", "doc.on.doc.fill"},
    {"largeFiles", "Large Files", "Files over 50 MB in Downloads, Desktop and Documents",
     "internaldrive.fill"},
    {"installers", "Installers", "Leftover .dmg and .pkg files", "archivebox.fill"},
};

constexpr int kCount = int(sizeof kTabs / sizeof kTabs[0]);

} // namespace

QList<TabNavigation> TabNavigation::allCases()
{
    QList<TabNavigation> all;
    for (int i = 0; i < kCount; ++i)
        all.append(TabNavigation(Case(i)));
    return all;
}

std::optional<TabNavigation> TabNavigation::fromRawValue(const QString &rawValue)
{
    for (int i = 0; i < kCount; ++i) {
        if (rawValue == QLatin1String(kTabs[i].raw))
            return TabNavigation(Case(i));
    }
    return std::nullopt;
}

TabNavigation TabNavigation::restored(const std::optional<QString> &rawValue)
{
    if (!rawValue)
        return dashboard;
    return fromRawValue(*rawValue).value_or(dashboard);
}

QString TabNavigation::rawValue() const
{
    return QString::fromLatin1(kTabs[m_case].raw);
}

QString TabNavigation::title() const
{
    return QString::fromUtf8(kTabs[m_case].title);
}

QString TabNavigation::subtitle() const
{
    return PlatformTexts::text(QString::fromUtf8(kTabs[m_case].subtitle));
}

QString TabNavigation::systemImage() const
{
    return QString::fromLatin1(kTabs[m_case].image);
}
