#pragma once

#include "app/widgets/SettingsForm.h"

#include <QStringList>

class QCheckBox;
class QPushButton;
class QVBoxLayout;

// The Settings window's Applications pane: which folders the Applications tab lists.
// Changes are stored at once and used by the next scan.
class AppScanSettingsView : public SettingsForm {
    Q_OBJECT
public:
    explicit AppScanSettingsView(QWidget *parent = nullptr);

    QCheckBox *systemSwitch() const { return m_system; }
    QCheckBox *userSwitch() const { return m_user; }
    QPushButton *addButton() const { return m_add; }

    // The custom folders as stored; text that does not decode gives none.
    static QStringList customDirs();
    static void setCustomDirs(const QStringList &folders);
    // Appends the folder unless it is listed already.
    void addFolder(const QString &folder);
    void removeFolder(int index);

private:
    void rebuildFolders();

    QCheckBox *m_system;
    QCheckBox *m_user;
    QVBoxLayout *m_folders;
    QPushButton *m_add;
};
