#pragma once

#include "dashboard/DashboardViewModel.h"

#include <QColor>
#include <QWidget>

// The used share of the disk, a bar of one segment per category plus the free space, and
// a legend. Drawn at paint time from the palette, so theme switches recolour it.
class SegmentedHorizontalBarChart : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedHorizontalBarChart(QWidget *parent = nullptr);

    // `unknown`: the disk's figures could not be read, and none are coming.
    void setValues(const QList<DiskCategory> &categories, const DiskSpace &space,
                   bool unknown = false);
    QString headingText() const;
    QString subheadingText() const;
    // Each segment's tooltip and span on the bar, left to right; never past its end.
    struct Segment {
        QString tooltip;
        double from = 0;
        double to = 0;
        QColor color;
    };
    QList<Segment> segments(double barWidth) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QRectF barRect() const;

    QList<DiskCategory> m_categories;
    double m_totalGB = 0;
    double m_freeGB = 0; // what can still be written
    int m_usedPercent = 0;
    bool m_unknown = false;
};
