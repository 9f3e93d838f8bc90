#include "applications/screens/AppScanSettingsView.h"

#include "app/widgets/Dialogs.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "applications/ApplicationsViewModel.h"
#include "platform/Locations.h"
#include "platform/PlatformTexts.h"
#include "platform/Preferences.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

AppScanSettingsView::AppScanSettingsView(QWidget *parent) : SettingsForm(parent)
{
    setObjectName(QStringLiteral("appScanSettings"));
    QVBoxLayout *section = addSection(QStringLiteral("Folders the Applications tab lists"));

    auto addSwitch = [&](const QString &text, const char *key, const QString &caption) {
        auto *box = new QCheckBox(text, widget());
        box->setChecked(Preferences::boolValue(QLatin1String(key), true));
        const QString k = QLatin1String(key);
        connect(box, &QCheckBox::toggled, this, [k](bool on) { Preferences::setValue(k, on); });
        section->addWidget(box);
        section->addWidget(new Note(caption, widget()));
        return box;
    };
    m_system = addSwitch(QStringLiteral("Applications"), ApplicationsViewModel::scanSystemAppsKey,
                         PlatformTexts::text(QStringLiteral("/Applications")));
    m_user = addSwitch(QStringLiteral("Your Applications"), ApplicationsViewModel::scanUserAppsKey,
                       PlatformTexts::text(QStringLiteral("~/Applications")));

    m_folders = new QVBoxLayout;
    m_folders->setSpacing(4);
    section->addLayout(m_folders);

    auto *addRow = new QHBoxLayout;
    m_add = new QPushButton(QStringLiteral("Add Folder…"), widget());
    m_add->setObjectName(QStringLiteral("addAppFolder"));
    connect(m_add, &QPushButton::clicked, this, [this] {
        Dialogs::chooseFolder(this, Locations::current().home, QStringLiteral("Add Folder"),
                              [this](std::optional<QString> folder) {
                                  if (folder)
                                      addFolder(*folder);
                              });
    });
    addRow->addWidget(m_add);
    addRow->addStretch(1);
    section->addLayout(addRow);
    section->addWidget(
        new Note(QStringLiteral("Changes show on the next Applications scan."), widget()));
    addStretch();
    rebuildFolders();
}

QStringList AppScanSettingsView::customDirs()
{
    return ApplicationsViewModel::customFolders();
}

void AppScanSettingsView::setCustomDirs(const QStringList &folders)
{
    const QByteArray json =
        QJsonDocument(QJsonArray::fromStringList(folders)).toJson(QJsonDocument::Compact);
    Preferences::setValue(QLatin1String(ApplicationsViewModel::customAppDirsKey),
                          QString::fromUtf8(json));
}

void AppScanSettingsView::addFolder(const QString &folder)
{
    QStringList folders = customDirs();
    if (folders.contains(folder))
        return;
    folders.append(folder);
    setCustomDirs(folders);
    rebuildFolders();
}

void AppScanSettingsView::removeFolder(int index)
{
    QStringList folders = customDirs();
    if (index < 0 || index >= folders.size())
        return;
    folders.removeAt(index);
    setCustomDirs(folders);
    rebuildFolders();
}

void AppScanSettingsView::rebuildFolders()
{
    // A row's own remove button may be what asked for this: delete rows later.
    while (QLayoutItem *item = m_folders->takeAt(0)) {
        if (QWidget *row = item->widget()) {
            row->hide();
            row->deleteLater();
        }
        delete item;
    }
    const QStringList folders = customDirs();
    for (int i = 0; i < folders.size(); ++i) {
        auto *row = new QWidget(widget());
        row->setObjectName(QStringLiteral("appFolderRow"));
        auto *h = new QHBoxLayout(row);
        h->setContentsMargins(0, 2, 0, 2);
        auto *icon = new QLabel(row);
        icon->setPixmap(Symbols::icon(QStringLiteral("folder")).pixmap(16, 16));
        h->addWidget(icon);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(0);
        QString last = folders.at(i);
        while (last.size() > 1 && last.endsWith(QLatin1Char('/')))
            last.chop(1);
        auto *name = new QLabel(last.mid(last.lastIndexOf(QLatin1Char('/')) + 1), row);
        name->setFont(Style::font(Style::Text::Body));
        texts->addWidget(name);
        auto *path = new QLabel(Locations::current().abbreviateHome(folders.at(i)), row);
        Style::apply(path, Style::Text::Caption, true);
        texts->addWidget(path);
        h->addLayout(texts, 1);
        auto *remove = new QToolButton(row);
        remove->setObjectName(QStringLiteral("removeAppFolder"));
        remove->setAutoRaise(true);
        remove->setIcon(Symbols::icon(QStringLiteral("minus.circle")));
        remove->setToolTip(QStringLiteral("Stop scanning this folder"));
        connect(remove, &QToolButton::clicked, this, [this, i] { removeFolder(i); });
        h->addWidget(remove);
        m_folders->addWidget(row);
        row->show();
    }
}
