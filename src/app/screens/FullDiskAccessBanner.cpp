#include "app/screens/FullDiskAccessBanner.h"

#include "app/AppState.h"
#include "app/widgets/Style.h"
#include "app/widgets/SymbolView.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

FullDiskAccessBanner::FullDiskAccessBanner(AppState *appState, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("fullDiskAccessBanner"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->setSpacing(12);

    auto *icon =
        new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), 22, Style::orange(), this);
    layout->addWidget(icon);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(1);
    auto *title = new QLabel(QStringLiteral("Full Disk Access Required"), this);
    Style::apply(title, Style::Text::Headline);
    auto *text = new QLabel(QStringLiteral("Quillmar needs Full Disk Access to scan your system "
                                           "without showing folder-by-folder popups."),
                            this);
    Style::apply(text, Style::Text::Caption, true);
    text->setWordWrap(true);
    texts->addWidget(title);
    texts->addWidget(text);
    layout->addLayout(texts, 1);

    auto *check = new QPushButton(QStringLiteral("Check Again"), this);
    check->setObjectName(QStringLiteral("checkAgain"));
    connect(check, &QPushButton::clicked, appState, &AppState::checkFullDiskAccess);
    layout->addWidget(check);

    auto *grant = new QPushButton(QStringLiteral("Grant Access"), this);
    grant->setObjectName(QStringLiteral("grantAccess"));
    Style::followTheme(grant, [this, grant] {
        const QString sheet = Style::filledButtonSheet(Style::orange(), QApplication::palette()) +
                              QStringLiteral("QPushButton { font-weight: 600; }");
        if (grant->styleSheet() != sheet)
            grant->setStyleSheet(sheet);
    });
    connect(grant, &QPushButton::clicked, appState, &AppState::openFullDiskAccessSettings);
    layout->addWidget(grant);
}

void FullDiskAccessBanner::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QColor fill = Style::orange();
    fill.setAlphaF(0.10);
    p.fillRect(rect(), fill);
    QColor line = Style::orange();
    line.setAlphaF(0.30);
    p.setPen(line);
    p.drawLine(0, height() - 1, width(), height() - 1);
}
