#include "app/screens/GeneralSettingsView.h"

#include "platform/NotificationCenter.h"
#include "platform/PlatformTexts.h"
#include "platform/Preferences.h"
#include "update/Website.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

GeneralSettingsView::GeneralSettingsView(QWidget *parent) : SettingsForm(parent)
{
    setObjectName(QStringLiteral("generalSettings"));

    QVBoxLayout *appearance = addSection(QStringLiteral("Appearance"));
    auto *themeRow = new QFormLayout;
    m_theme = new QComboBox(widget());
    m_theme->addItem(QStringLiteral("Match System"), 0);
    m_theme->addItem(QStringLiteral("Light"), 1);
    m_theme->addItem(QStringLiteral("Dark"), 2);
    const int stored = Preferences::intValue(PrefKey::themePreference, 0);
    m_theme->setCurrentIndex(stored == 1 || stored == 2 ? stored : 0);
    connect(m_theme, &QComboBox::currentIndexChanged, this, [this](int index) {
        Preferences::setValue(PrefKey::themePreference, m_theme->itemData(index).toInt());
    });
    themeRow->addRow(QStringLiteral("Theme"), m_theme);
    appearance->addLayout(themeRow);

    auto addSwitch = [this](QVBoxLayout *section, const QString &text, const char *key,
                            const QString &note) {
        auto *box = new QCheckBox(text, widget());
        box->setChecked(Preferences::boolValue(QLatin1String(key), true));
        const QString k = QLatin1String(key);
        connect(box, &QCheckBox::toggled, this, [k](bool on) { Preferences::setValue(k, on); });
        section->addWidget(box);
        section->addWidget(new Note(note, widget()));
        return box;
    };

    m_autoScan = addSwitch(
        addSection(QStringLiteral("Scanning")),
        QStringLiteral("Scan everything when Quillmar opens"), PrefKey::autoScanOnLaunch,
        QStringLiteral("Fills every tab on launch. Off: each tab scans when you first open it. "
                       "Duplicates and Large "
                       "Files read many files, so the first scan can take a few minutes."));

    m_updates = addSwitch(
        addSection(QStringLiteral("Updates")), QStringLiteral("Check for updates automatically"),
        PrefKey::checkForUpdatesAutomatically,
        QStringLiteral("Once a day, Quillmar checks ") + Website::host() +
            QStringLiteral(" for a new version and offers to install it. Check now from Quillmar → "
                           "Check for Updates."));

    m_watchTrash = addSwitch(addSection(QStringLiteral("Removed apps")),
                             QStringLiteral("Offer to clean up after apps moved to the Trash"),
                             PrefKey::watchTrashForApps,
                             PlatformTexts::text(QStringLiteral(
                                 "While Quillmar is open, dragging an app to the Trash shows the "
                                 "caches, preferences, containers and support files it left in "
                                 "your Library, so you can remove them too. Uninstall in the "
                                 "Applications tab does the same.")));
    connect(m_watchTrash, &QCheckBox::toggled, this,
            [] { NotificationCenter::instance()->post(QStringLiteral("watchTrashChanged")); });
    addStretch();
}
