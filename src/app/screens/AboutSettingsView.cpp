#include "app/screens/AboutSettingsView.h"

#include "app/widgets/Style.h"
#include "platform/PlatformTexts.h"
#include "platform/desktop/AppInfo.h"
#include "platform/desktop/Workspace.h"
#include "update/Website.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutSettingsView::AboutSettingsView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("aboutSettings"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 28, 28, 28);
    layout->setSpacing(14);
    layout->addStretch(1);

    auto *icon = new QLabel(this);
    icon->setPixmap(AppInfo::icon().pixmap(88, 88));
    layout->addWidget(icon, 0, Qt::AlignHCenter);

    auto *name = new QLabel(AppInfo::name(), this);
    Style::apply(name, Style::Text::Title);
    layout->addWidget(name, 0, Qt::AlignHCenter);

    auto *version = new QLabel(AppInfo::versionLine(), this);
    version->setObjectName(QStringLiteral("versionLine"));
    Style::apply(version, Style::Text::Subheadline, true);
    layout->addWidget(version, 0, Qt::AlignHCenter);

    auto *tagline = new QLabel(
        PlatformTexts::text(QStringLiteral("See what fills your Mac and clear it safely.")), this);
    tagline->setFont(Style::font(Style::Text::Body));
    layout->addWidget(tagline, 0, Qt::AlignHCenter);

    auto *links = new QHBoxLayout;
    links->addStretch(1);
    const QList<QPair<QString, QString>> pages = {
        {QStringLiteral("Website"), QString()},
        {QStringLiteral("Report a Bug"), QStringLiteral("/feedback")},
    };
    for (const auto &[title, path] : pages) {
        auto *link = new QPushButton(title, this);
        link->setFlat(true);
        link->setCursor(Qt::PointingHandCursor);
        link->setStyleSheet(QStringLiteral("QPushButton { border: none; color: palette(link); }"));
        connect(link, &QPushButton::clicked, this,
                [path] { Workspace::openUrl(Website::page(path)); });
        links->addWidget(link);
    }
    links->addStretch(1);
    layout->addLayout(links);
    layout->addStretch(1);
}
