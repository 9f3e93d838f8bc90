#pragma once

#include "app/widgets/SettingsForm.h"

class QCheckBox;
class QComboBox;

// Appearance, launch scanning, updates and the Trash watch.
class GeneralSettingsView : public SettingsForm {
    Q_OBJECT
public:
    explicit GeneralSettingsView(QWidget *parent = nullptr);

    QComboBox *themePicker() const { return m_theme; }
    QCheckBox *autoScanSwitch() const { return m_autoScan; }
    QCheckBox *updatesSwitch() const { return m_updates; }
    QCheckBox *watchTrashSwitch() const { return m_watchTrash; }

private:
    QComboBox *m_theme;
    QCheckBox *m_autoScan;
    QCheckBox *m_updates;
    QCheckBox *m_watchTrash;
};
