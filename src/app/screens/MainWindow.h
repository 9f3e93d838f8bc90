#pragma once

#include <QMainWindow>

#include <functional>

class AppState;
class FullDiskAccessBanner;
class FullDiskAccessRequestView;
class LeftoversSheet;
class MainContentView;
class ProgressBannerView;
class QLabel;
class RecentlyRemovedSheet;
class UndoNotice;
class QLineEdit;
class QMenu;
class QSplitter;
class QStackedWidget;
class QToolButton;
class SettingsView;
class SidebarView;

// The main window: sidebar and detail side by side, the search field and rescan in the
// toolbar, the access gate's screens and the progress banner, the menu commands.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppState *appState, QWidget *parent = nullptr);
    ~MainWindow() override;

    // 75 % of the screen's visible width, 80 % of its height, centred on it.
    static QRect initialFrame(const QRect &visibleArea);

    SidebarView *sidebar() const { return m_sidebar; }
    MainContentView *content() const { return m_content; }
    QLineEdit *searchField() const { return m_search; }
    QToolButton *rescanButton() const { return m_rescan; }
    FullDiskAccessBanner *accessBanner() const { return m_banner; }
    FullDiskAccessRequestView *accessRequest() const { return m_request; }
    ProgressBannerView *progressBanner() const { return m_progress; }
    QSplitter *splitter() const { return m_splitter; }
    // The sheet over the window while the state object holds a leftover report.
    LeftoversSheet *leftoversSheet() const { return m_leftovers; }
    // Whether the detail area shows the tabs (else the access request).
    bool showsTabs() const;

    SettingsView *openSettings();
    RecentlyRemovedSheet *openRecentlyRemoved();
    UndoNotice *undoNotice() const { return m_undoNotice; }
    // Says why no removal is offered, while that is so.
    QLabel *removalsBlockedBanner() const { return m_blocked; }
    void openUpdateWindow();
    void showAboutPanel();

    // What the "Software Update" window says until the updater installs its dialog.
    static QString updateWindowMessage();
    // What the "Software Update" window holds; the updater installs its dialog here.
    static void setUpdateContent(std::function<QWidget *(AppState *)> factory);

signals:
    // The window's first frame was drawn; the launch scans start after it.
    void firstFrameShown();

protected:
    bool event(QEvent *event) override;
    // Asks first while a terminal sheet's command still runs.
    void closeEvent(QCloseEvent *event) override;

private:
    void buildToolbar();
    void buildMenus();
    void updateGate();
    void updateLeftoversSheet();

    AppState *m_appState;
    QSplitter *m_splitter;
    SidebarView *m_sidebar;
    FullDiskAccessBanner *m_banner;
    QStackedWidget *m_gate;
    MainContentView *m_content;
    FullDiskAccessRequestView *m_request;
    ProgressBannerView *m_progress;
    UndoNotice *m_undoNotice;
    QLabel *m_blocked;
    RecentlyRemovedSheet *m_recentlyRemoved = nullptr;
    QLineEdit *m_search = nullptr;
    QToolButton *m_rescan = nullptr;
    SettingsView *m_settings = nullptr;
    QWidget *m_updateWindow = nullptr;
    bool m_painted = false;
    LeftoversSheet *m_leftovers = nullptr;
    bool m_quitConfirmed = false;
};
