#pragma once

#include "app/widgets/SettingsForm.h"

class AppState;
class QLabel;
class SymbolView;

// The Full Disk Access status with a re-check, and what the program does with access.
class PrivacySettingsView : public SettingsForm {
    Q_OBJECT
public:
    explicit PrivacySettingsView(AppState *appState, QWidget *parent = nullptr);

    bool hasAccess() const { return m_hasAccess; }
    QString statusText() const;
    // Reads the access again into this pane only.
    void checkAgain();

private:
    void refresh();

    bool m_hasAccess;
    SymbolView *m_icon;
    QLabel *m_status;
    QLabel *m_detail;
};
