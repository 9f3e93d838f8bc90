#pragma once

#include "exec/SafetyHelper.h"
#include "storage/StorageScanner.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <optional>

class AppState;
class ExportButton;
class QHBoxLayout;
class QLabel;
class QAction;
class QMenu;
class QPropertyAnimation;
class QPushButton;
class QScrollArea;
class QToolButton;
class StorageBlockMap;
class StorageColumn;
class StorageViewModel;
class TabHeader;

// The Storage Map tab: the header with the start-folder menu and "Rescan This Folder", a
// horizontal column browser, the action bar for the chosen item and the block map of
// the folder being looked at.
class StorageView : public QWidget {
    Q_OBJECT
public:
    StorageView(AppState *appState, StorageViewModel *model, QWidget *parent = nullptr);

    TabHeader *header() const { return m_header; }
    QPushButton *rootMenuButton() const { return m_rootButton; }
    QMenu *rootMenu() const { return m_rootMenu; }
    // The root menu's entries for the mounted disks, in their order.
    QList<QAction *> volumeActions() const;
    QPushButton *rescanButton() const { return m_rescan; }
    ExportButton *exportButton() const { return m_export; }
    QList<StorageColumn *> columnViews() const { return m_columnViews; }
    // The loading column's text; empty when no column is being measured.
    QString loadingText() const;
    QWidget *loadingColumn() const { return m_loading; }
    QScrollArea *browser() const { return m_browser; }
    QPushButton *revealButton() const { return m_reveal; }
    QPushButton *trashButton() const { return m_trash; }
    QLabel *hintLabel() const { return m_hint; }
    StorageBlockMap *blockMap() const { return m_map; }

    // The confirmation's message for an entry.
    static QString confirmationText(const StorageEntry &entry);
    // Asks to move the chosen item to the Trash and, when confirmed, moves it.
    void confirmTrash();

signals:
    // A move to the Trash the user confirmed has ended (moved or not).
    void trashFinished(bool moved);

protected:
    // Measuring starts once the view's first frame is drawn, so it never delays it.
    bool event(QEvent *event) override;

private:
    void fillVolumes();
    void rebuildColumns();
    void updateSelection();
    void updateLoading();
    void updateHeader();
    void updateActionBar();
    void updateTrashButton();
    void trashEnded(const StorageEntry &entry, const SafetyHelper::Outcome &outcome);
    // Arrow keys in column `column`: into the folder chosen there, back to the one before.
    void stepInto(int column);
    void stepBack(int column);
    void scrollToNewest();

    AppState *m_appState;
    StorageViewModel *m_model;
    TabHeader *m_header;
    QPushButton *m_rootButton;
    QPushButton *m_orderButton = nullptr;
    QMenu *m_rootMenu;
    QAction *m_volumesSeparator = nullptr;
    QList<QAction *> m_volumeActions;
    QPushButton *m_rescan;
    ExportButton *m_export;
    QScrollArea *m_browser;
    QWidget *m_strip;
    QHBoxLayout *m_stripLayout;
    QList<StorageColumn *> m_columnViews;
    QList<QWidget *> m_separators;
    QWidget *m_loading;
    QLabel *m_loadingLabel;
    QWidget *m_actionBar;
    QLabel *m_chosenIcon;
    QLabel *m_chosenName;
    QLabel *m_chosenSize;
    QLabel *m_partialNote;
    QPushButton *m_reveal;
    QPushButton *m_trash;
    QLabel *m_hint;
    StorageBlockMap *m_map;
    std::optional<StorageEntry> m_confirmTrash;
    // Which chosen entry the safety check last answered for.
    std::optional<StorageEntry> m_checked;
    bool m_opened = false;
    bool m_chosenIsSafe = false;
    bool m_safetyAnswered = false;
    bool m_trashing = false;
    // Set by a move, cleared by the user's next choice.
    bool m_afterMove = false;
    QPointer<QPropertyAnimation> m_scrollAnimation;
};
