#pragma once

#include "app/widgets/SettingsForm.h"

class QComboBox;

// Where the storage map starts on the next launch.
class StorageSettingsView : public SettingsForm {
    Q_OBJECT
public:
    explicit StorageSettingsView(QWidget *parent = nullptr);

    QComboBox *locationPicker() const { return m_location; }
    // Stores a start folder and shows it in the picker.
    void store(const QString &path);

private:
    void rebuild();

    QComboBox *m_location;
};
