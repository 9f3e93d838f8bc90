#include "app/screens/SettingsTab.h"

namespace {
struct PaneInfo {
    const char *raw;
    const char *title;
    const char *symbol;
};
constexpr PaneInfo kPanes[] = {
    {"general", "General", "gearshape"},
    {"privacy", "Privacy", "lock.shield"},
    {"storage", "Storage Map", "square.grid.3x3"},
    {"exclusions", "Exclusions", "eye.slash"},
    {"homebrew", "Homebrew", "mug"},
    {"applications", "Applications", "app.badge"},
    {"about", "About", "info.circle"},
};
} // namespace

QList<SettingsTab> SettingsTab::allCases()
{
    QList<SettingsTab> all;
    for (int i = 0; i <= int(about); ++i)
        all.append(SettingsTab(Case(i)));
    return all;
}

SettingsTab SettingsTab::restored(const QString &rawValue)
{
    for (int i = 0; i <= int(about); ++i) {
        if (rawValue == QLatin1String(kPanes[i].raw))
            return SettingsTab(Case(i));
    }
    return general;
}

QString SettingsTab::rawValue() const
{
    return QString::fromLatin1(kPanes[m_case].raw);
}

QString SettingsTab::title() const
{
    return QString::fromLatin1(kPanes[m_case].title);
}

QString SettingsTab::symbol() const
{
    return QString::fromLatin1(kPanes[m_case].symbol);
}
