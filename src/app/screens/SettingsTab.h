#pragma once

#include <QList>
#include <QString>

// The panes of the Settings window, in tab-bar order. The raw value is what
// "settingsTab" stores.
class SettingsTab {
public:
    enum Case { general, privacy, storage, exclusions, homebrew, applications, about };

    constexpr SettingsTab(Case c = general) : m_case(c) {}
    constexpr operator Case() const { return m_case; }

    static QList<SettingsTab> allCases();
    // A stored text that names no pane counts as general.
    static SettingsTab restored(const QString &rawValue);

    QString rawValue() const;
    QString title() const;
    QString symbol() const;

private:
    Case m_case;
};
