#include "storage/screens/StorageSettingsView.h"

#include "app/widgets/Dialogs.h"
#include "platform/Locations.h"
#include "platform/PlatformTexts.h"
#include "platform/Preferences.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

StorageSettingsView::StorageSettingsView(QWidget *parent) : SettingsForm(parent)
{
    setObjectName(QStringLiteral("storageSettings"));
    QVBoxLayout *section =
        addSection(QStringLiteral("Start the map at"),
                   PlatformTexts::text(QStringLiteral(
                       "Used the next time Quillmar opens. The whole disk includes "
                       "hidden and system folders; other disks in /Volumes are left out.")));
    auto *form = new QFormLayout;
    m_location = new QComboBox(widget());
    form->addRow(QStringLiteral("Location"), m_location);
    section->addLayout(form);

    auto *chooseRow = new QHBoxLayout;
    chooseRow->addStretch(1);
    auto *choose = new QPushButton(QStringLiteral("Choose Folder…"), widget());
    choose->setObjectName(QStringLiteral("chooseStartFolder"));
    connect(choose, &QPushButton::clicked, this, [this] {
        Dialogs::chooseFolder(
            this, Preferences::stringValue(PrefKey::storageMapRoot, QStringLiteral("/")),
            QStringLiteral("Choose"), [this](std::optional<QString> folder) {
                if (folder)
                    store(*folder);
            });
    });
    chooseRow->addWidget(choose);
    section->addLayout(chooseRow);
    addStretch();

    rebuild();
    connect(m_location, &QComboBox::activated, this, [this](int index) {
        Preferences::setValue(PrefKey::storageMapRoot, m_location->itemData(index).toString());
    });
}

void StorageSettingsView::store(const QString &path)
{
    Preferences::setValue(PrefKey::storageMapRoot, path);
    rebuild();
}

void StorageSettingsView::rebuild()
{
    const Locations &loc = Locations::current();
    const QString stored = Preferences::stringValue(PrefKey::storageMapRoot, QStringLiteral("/"));
    m_location->clear();
    m_location->addItem(Locations::current().rootDisplayName + QStringLiteral(" (whole disk)"),
                        QStringLiteral("/"));
    m_location->addItem(QStringLiteral("Home Folder"), loc.home);
    if (stored != QLatin1String("/") && stored != loc.home)
        m_location->addItem(loc.abbreviateHome(stored), stored);
    m_location->setCurrentIndex(m_location->findData(stored));
}
