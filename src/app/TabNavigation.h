#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

#include <optional>

// The sidebar tabs. The raw value is what "selectedTab" stores.
class TabNavigation {
public:
    enum Case {
        dashboard,
        storage,
        applications,
        docker,
        runtimes,
        homebrew,
        deepClean,
        junk,
        duplicates,
        largeFiles,
        installers,
    };

    static constexpr const char defaultsKey[] = "selectedTab";

    constexpr TabNavigation(Case c = dashboard) : m_case(c) {}
    constexpr operator Case() const { return m_case; }

    static QList<TabNavigation> allCases();
    // Absent text, or a text that is no raw value, gives dashboard.
    static TabNavigation restored(const std::optional<QString> &rawValue);
    static std::optional<TabNavigation> fromRawValue(const QString &rawValue);

    QString rawValue() const;
    QString id() const { return rawValue(); }
    QString title() const;
    QString subtitle() const;
    QString systemImage() const;

private:
    Case m_case;
};

Q_DECLARE_METATYPE(TabNavigation)
