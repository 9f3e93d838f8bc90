#pragma once

#include "app/TabNavigation.h"

#include <QWidget>

#include <functional>
#include <optional>

class QHBoxLayout;
class QLabel;
class QPushButton;

// The band at the top of every screen: the tab's title over its subtitle (plus an
// optional detail), the screen's own controls at the trailing side, a divider below.
class TabHeader : public QWidget {
    Q_OBJECT
public:
    explicit TabHeader(TabNavigation tab, QWidget *parent = nullptr);

    void setDetail(const std::optional<QString> &detail);
    // Marks what the tab lists as what a stopped scan found.
    void setIncomplete(bool incomplete);
    // The subtitle line as shown: the subtitle, then " · " + detail, then the mark.
    QString subtitleText() const;
    static QString incompleteMark();
    // Adds a trailing control, after the ones already there.
    void addAction(QWidget *widget);
    // Adds the tab's own rescan; `label` names it.
    QPushButton *addRescan(const std::function<void()> &rescan,
                           const QString &label = QStringLiteral("Rescan"));

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void showSubtitle();

    TabNavigation m_tab;
    std::optional<QString> m_detail;
    bool m_incomplete = false;
    QLabel *m_subtitle;
    QHBoxLayout *m_actions;
};
