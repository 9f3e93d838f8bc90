#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeView;
class RecentlyRemovedViewModel;

// Every removal the program made, newest first: each removal with the tab it came from,
// under it its items with their sizes and whether each is still in the Trash, put back or
// emptied. "Put Back" returns the selected item, or every item of the selected removal.
// The journal is read off the main thread; the list shows only the rows on screen.
class RecentlyRemovedSheet : public QDialog {
    Q_OBJECT
public:
    explicit RecentlyRemovedSheet(RecentlyRemovedViewModel *model, QWidget *parent = nullptr);

    QTreeView *list() const { return m_list; }
    QPushButton *putBackButton() const { return m_putBack; }

    // Reads the journal again and shows the sheet.
    void open() override;

private:
    void refresh();
    void putBackSelected();

    RecentlyRemovedViewModel *m_model;
    class Rows;
    Rows *m_rows;
    QTreeView *m_list;
    QLabel *m_status;
    QPushButton *m_putBack;
};
