#pragma once

#include "app/widgets/SettingsForm.h"

class ExclusionsViewModel;
class QLabel;
class QListWidget;
class QPushButton;

// The Exclusions pane: the folders no scan walks into and no cleaner touches (added with
// a folder picker), and the paths the cleaners and finders no longer offer (added with
// "Keep" in their rows' menus); each list with its Remove. Says out loud when a list
// cannot be read or written.
class ExclusionsSettingsView : public SettingsForm {
    Q_OBJECT
public:
    explicit ExclusionsSettingsView(ExclusionsViewModel *model, QWidget *parent = nullptr);

    QListWidget *excludedList() const { return m_excluded; }
    QListWidget *keptList() const { return m_kept; }

private:
    void refresh();

    ExclusionsViewModel *m_model;
    QLabel *m_problem;
    QListWidget *m_excluded;
    QListWidget *m_kept;
    QPushButton *m_removeExcluded;
    QPushButton *m_removeKept;
};
