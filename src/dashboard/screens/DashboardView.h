#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>

class AppState;
class DashboardViewModel;
class MetricCard;
class QLabel;
class RecommendationCard;
class SegmentedHorizontalBarChart;

// The first tab: four figures, the disk breakdown, the digest and recommendations, each
// leading to the tab where the user can act.
class DashboardView : public QWidget {
    Q_OBJECT
public:
    DashboardView(AppState *appState, DashboardViewModel *model, QWidget *parent = nullptr);

    // "%.1f GB" of MiB / 1024 above 1000 MiB, else "%.0f MB".
    static QString duplicateSpaceText(double megabytes);
    // What removing all but one copy of each duplicate group frees, in MiB.
    double duplicateSpaceMB() const;

    MetricCard *card(int index) const { return m_cards.value(index); }
    SegmentedHorizontalBarChart *chart() const { return m_chart; }
    // Shown while the breakdown predates a removal.
    QLabel *staleNote() const { return m_staleNote; }
    RecommendationCard *digestCard() const { return m_digest; }
    RecommendationCard *duplicatesCard() const { return m_duplicates; }
    RecommendationCard *outdatedCard() const { return m_outdated; }
    // The sheet listing the system's outdated packages, while it is open.
    QDialog *packagesSheet() const { return m_packagesSheet; }
    void showOutdatedPackages();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refresh();

    AppState *m_appState;
    DashboardViewModel *m_model;
    QList<MetricCard *> m_cards;
    SegmentedHorizontalBarChart *m_chart;
    QLabel *m_staleNote;
    RecommendationCard *m_digest;
    QLabel *m_recommendations;
    RecommendationCard *m_duplicates;
    RecommendationCard *m_outdated;
    QPointer<QDialog> m_packagesSheet;
    bool m_shown = false;
};
