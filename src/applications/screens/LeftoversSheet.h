#pragma once

#include "applications/AppLeftovers.h"
#include "applications/LeftoverReport.h"

#include <QDialog>
#include <QFuture>
#include <QList>
#include <QSet>

#include <optional>

class AppState;
class QCheckBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The sheet that offers what a removed application left behind: every item with a tick,
// the chosen total, and "Move to Trash". It cannot be closed while a removal runs.
class LeftoversSheet : public QDialog {
    Q_OBJECT
public:
    explicit LeftoversSheet(AppState *appState, QWidget *parent = nullptr);
    // A removal under way still logs through the state object: let it end first.
    ~LeftoversSheet() override;

    // Shows a report; the ticks and the result start afresh.
    void setReport(const LeftoverReport &report);
    const LeftoverReport &report() const { return m_report; }

    QSet<QByteArray> chosen() const { return m_chosen; }
    void setChosen(const QByteArray &id, bool ticked);
    bool isWorking() const { return m_isWorking; }
    std::optional<QString> result() const { return m_result; }
    QString footerText() const;

    QList<QCheckBox *> checkBoxes() const { return m_boxes; }
    QPushButton *trashButton() const { return m_trash; }
    QPushButton *closeButton() const { return m_close; }

    // Moves the ticked items to the Trash in the background, one after the other.
    void trashChosen();

    void reject() override;

signals:
    void removalFinished();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void rebuildRows();
    void updateState();

    AppState *m_appState;
    LeftoverReport m_report;
    QSet<QByteArray> m_chosen;
    bool m_isWorking = false;
    std::optional<QString> m_result;
    QList<QCheckBox *> m_boxes;
    QLabel *m_icon;
    QLabel *m_title;
    QWidget *m_rows;
    QVBoxLayout *m_rowsLayout;
    QLabel *m_footer;
    QLabel *m_resultLabel;
    QPushButton *m_close;
    QPushButton *m_trash;
    int m_generation = 0;
    QFuture<AppLeftovers::RemovalSummary> m_removal;
};
