#pragma once

#include "app/TabNavigation.h"

#include <QWidget>

class ActivityIndicator;
class QLabel;
class SymbolView;

// One sidebar row: icon, title, the "BETA" badge for Docker, and at the trailing edge
// either a spinner (a scan runs and the tab has nothing yet) or the count in a capsule.
class SidebarLabel : public QWidget {
    Q_OBJECT
public:
    explicit SidebarLabel(TabNavigation tab, QWidget *parent = nullptr);

    TabNavigation tab() const { return m_tab; }
    void update(bool isScanning, int count);
    void setSelected(bool selected);

    bool showsSpinner() const;
    // The capsule's text; empty when no capsule shows.
    QString badgeText() const;

    // The count capsule and the "BETA" badge (tests read their colours).
    QLabel *countBadge() const { return m_count; }
    QLabel *betaBadge() const { return m_beta; }

private:
    void restyleBadges();

    TabNavigation m_tab;
    QLabel *m_beta = nullptr;
    bool m_selected = false;
    SymbolView *m_icon;
    QLabel *m_title;
    ActivityIndicator *m_spinner;
    QLabel *m_count;
};
