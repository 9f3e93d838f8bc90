#pragma once

#include <QFrame>

class QLabel;
class QPushButton;
class RecentlyRemovedViewModel;

// The strip under a tab after a removal: "Moved 3 items (1.2 GB) to the Trash" with Undo
// and a way to the list of every removal, for as long as the model offers the notice.
// A put back that leaves something in the Trash says why in an alert.
class UndoNotice : public QFrame {
    Q_OBJECT
public:
    explicit UndoNotice(RecentlyRemovedViewModel *model, QWidget *parent = nullptr);

    QLabel *text() const { return m_text; }
    QPushButton *undoButton() const { return m_undo; }
    QPushButton *listButton() const { return m_list; }

signals:
    void listRequested();

private:
    void refresh();

    RecentlyRemovedViewModel *m_model;
    QLabel *m_text;
    QPushButton *m_undo;
    QPushButton *m_list;
};
