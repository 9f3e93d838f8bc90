#include "app/screens/ProgressBannerView.h"

#include "app/AppState.h"
#include "app/widgets/ActivityIndicator.h"
#include "app/widgets/Style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

ProgressBannerView::ProgressBannerView(AppState *appState, QWidget *parent)
    : QWidget(parent), m_appState(appState)
{
    setObjectName(QStringLiteral("progressBanner"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 7, 14, 7);
    layout->setSpacing(8);
    m_spinner = new ActivityIndicator(13, this);
    layout->addWidget(m_spinner);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("progressMessage"));
    Style::apply(m_message, Style::Text::Subheadline);
    layout->addWidget(m_message);
    layout->addStretch(1);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setRange(0, 100);
    m_bar->setTextVisible(false);
    m_bar->setFixedSize(150, 8);
    layout->addWidget(m_bar);
    m_percentage = new QLabel(this);
    m_percentage->setObjectName(QStringLiteral("progressPercentage"));
    Style::apply(m_percentage, Style::Text::Caption, true);
    layout->addWidget(m_percentage);
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    m_stop->setObjectName(QStringLiteral("stopScan"));
    m_stop->setAccessibleName(QStringLiteral("Stop scan"));
    m_stop->setToolTip(QStringLiteral("Stop this scan and keep what it found so far"));
    connect(m_stop, &QPushButton::clicked, appState, &AppState::stopScan);
    layout->addWidget(m_stop);

    connect(appState, &AppState::scanStatusMessageChanged, this, &ProgressBannerView::refresh);
    connect(appState, &AppState::scanPercentageChanged, this, &ProgressBannerView::refresh);
    connect(appState, &AppState::isScanBusyChanged, this, &ProgressBannerView::refresh);
    connect(appState, &AppState::canStopScanChanged, this, &ProgressBannerView::refresh);
    refresh();
}

void ProgressBannerView::refresh()
{
    m_message->setText(m_appState->scanStatusMessage());
    const double pct = m_appState->scanPercentage();
    const bool busy = m_appState->isScanBusy();
    const bool share = pct > 0 && !busy;
    m_bar->setVisible(share || busy);
    m_percentage->setVisible(share);
    // A range of nothing draws the style's busy bar.
    m_bar->setRange(0, busy ? 0 : 100);
    if (share) {
        m_bar->setValue(int(qBound(0.0, pct, 100.0)));
        m_percentage->setText(QString::number(int(pct)) + QLatin1Char('%'));
    }
    m_stop->setVisible(m_appState->canStopScan());
}

QString ProgressBannerView::message() const
{
    return m_message->text();
}

bool ProgressBannerView::showsBar() const
{
    return !m_bar->isHidden();
}

QString ProgressBannerView::percentageText() const
{
    return m_percentage->isHidden() ? QString() : m_percentage->text();
}

void ProgressBannerView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(0, 0, width(), 0);
}
