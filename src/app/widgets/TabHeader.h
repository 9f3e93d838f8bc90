#pragma once

#include "app/TabNavigation.h"

#include <QWidget>

#include <optional>

class QHBoxLayout;
class QLabel;

// The band at the top of every screen: the tab's title over its subtitle (plus an
// optional detail), the screen's own controls at the trailing side, a divider below.
class TabHeader : public QWidget {
    Q_OBJECT
public:
    explicit TabHeader(TabNavigation tab, QWidget *parent = nullptr);

    void setDetail(const std::optional<QString> &detail);
    // The subtitle line as shown: the subtitle, or subtitle + " · " + detail.
    QString subtitleText() const;
    // Adds a trailing control, after the ones already there.
    void addAction(QWidget *widget);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TabNavigation m_tab;
    QLabel *m_subtitle;
    QHBoxLayout *m_actions;
};
