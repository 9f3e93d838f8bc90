#include "app/screens/FullDiskAccessRequestView.h"
#include "platform/PlatformTexts.h"

#include "app/AppState.h"
#include "app/widgets/Style.h"
#include "app/widgets/SymbolView.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

FullDiskAccessRequestView::FullDiskAccessRequestView(AppState *appState, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("fullDiskAccessRequest"));
    auto *outer = new QVBoxLayout(this);
    outer->addStretch(1);

    auto *column = new QWidget(this);
    column->setMinimumWidth(500);
    column->setMaximumWidth(560);
    auto *layout = new QVBoxLayout(column);
    layout->setSpacing(18);

    auto *icon = new SymbolView(QStringLiteral("lock.shield"), 54,
                                QApplication::palette().color(QPalette::Highlight), column);
    layout->addWidget(icon, 0, Qt::AlignHCenter);

    auto *title = new QLabel(QStringLiteral("Give Quillmar Full Disk Access"), column);
    Style::apply(title, Style::Text::Title);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    auto *text = new QLabel(
        PlatformTexts::text(QStringLiteral(
            "Quillmar measures and cleans folders across your Mac, including Desktop, Documents, "
            "Downloads and Library. With Full Disk Access, macOS asks once instead of once per "
            "folder. "
            "Nothing is scanned until you decide.")),
        column);
    text->setFont(Style::font(Style::Text::Body));
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);

    const QStringList steps = {
        QStringLiteral("Click Open System Settings"),
        QStringLiteral(
            "Turn on Quillmar in the Full Disk Access list (use + to add it if it isn't there)"),
        QStringLiteral("Come back here; Quillmar continues by itself"),
    };
    auto *stepsBox = new QVBoxLayout;
    stepsBox->setSpacing(8);
    for (int i = 0; i < steps.size(); ++i) {
        auto *row = new QHBoxLayout;
        row->setSpacing(8);
        auto *number = new SymbolView(QString::number(i + 1) + QStringLiteral(".circle"), 18,
                                      QColor(), column);
        auto *step = new QLabel(steps.at(i), column);
        step->setFont(Style::font(Style::Text::Body));
        step->setWordWrap(true);
        row->addWidget(number, 0, Qt::AlignTop);
        row->addWidget(step, 1);
        stepsBox->addLayout(row);
    }
    auto *stepsHolder = new QHBoxLayout;
    stepsHolder->addStretch(1);
    stepsHolder->addLayout(stepsBox, 4);
    stepsHolder->addStretch(1);
    layout->addLayout(stepsHolder);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *open = new QPushButton(QStringLiteral("Open System Settings"), column);
    open->setObjectName(QStringLiteral("openSystemSettings"));
    open->setDefault(true);
    open->setStyleSheet(
        QStringLiteral("QPushButton { background: palette(highlight); color: "
                       "palette(highlighted-text); border: none;"
                       " border-radius: 6px; padding: 6px 14px; font-weight: 600; }"));
    connect(open, &QPushButton::clicked, appState, &AppState::openFullDiskAccessSettings);
    auto *relaunch = new QPushButton(QStringLiteral("Relaunch Quillmar"), column);
    relaunch->setObjectName(QStringLiteral("relaunch"));
    relaunch->setToolTip(
        QStringLiteral("If access is on but Quillmar hasn't noticed, relaunch it"));
    connect(relaunch, &QPushButton::clicked, appState, &AppState::relaunch);
    buttons->addWidget(open);
    buttons->addWidget(relaunch);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    auto *skip = new QPushButton(QStringLiteral("Continue without Full Disk Access"), column);
    skip->setObjectName(QStringLiteral("continueWithoutAccess"));
    skip->setFlat(true);
    skip->setCursor(Qt::PointingHandCursor);
    skip->setForegroundRole(QPalette::Link);
    skip->setStyleSheet(QStringLiteral("QPushButton { border: none; color: palette(link); }"));
    skip->setToolTip(PlatformTexts::text(
        QStringLiteral("macOS will ask about each protected folder as Quillmar reaches it")));
    connect(skip, &QPushButton::clicked, appState,
            [appState] { appState->setProceedWithoutAccess(true); });
    layout->addWidget(skip, 0, Qt::AlignHCenter);

    auto *centre = new QHBoxLayout;
    centre->addStretch(1);
    centre->addWidget(column);
    centre->addStretch(1);
    outer->addLayout(centre);
    outer->addStretch(1);
}
