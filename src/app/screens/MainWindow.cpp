#include "app/screens/MainWindow.h"

#include "app/AppState.h"
#include "app/screens/FullDiskAccessBanner.h"
#include "app/screens/FullDiskAccessRequestView.h"
#include "app/screens/MainContentView.h"
#include "app/screens/ProgressBannerView.h"
#include "app/screens/SettingsView.h"
#include "app/screens/SidebarView.h"
#include "app/widgets/DeleteSelectedButton.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/EmptyStateView.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "applications/screens/LeftoversSheet.h"
#include "exec/ExclusionsViewModel.h"
#include "exec/screens/RecentlyRemovedSheet.h"
#include "exec/screens/TerminalSheetView.h"
#include "exec/screens/UndoNotice.h"
#include "platform/Preferences.h"
#include "platform/desktop/AppInfo.h"
#include "platform/desktop/Workspace.h"
#include "update/Website.h"
#include "update/screens/UpdateDialogView.h"

#include <QCloseEvent>
#include <QDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
std::function<QWidget *(AppState *)> gUpdateContent;
}

MainWindow::MainWindow(AppState *appState, QWidget *parent)
    : QMainWindow(parent), m_appState(appState)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(AppInfo::name());
    setWindowIcon(AppInfo::icon());
    setMinimumSize(1000, 700);
    // The toolbar first: Tab then goes the way the window reads, toolbar, sidebar, tab.
    buildToolbar();

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    m_sidebar = new SidebarView(appState, m_splitter);
    m_sidebar->setMinimumWidth(220);
    m_sidebar->setMaximumWidth(280);

    auto *detail = new QWidget(m_splitter);
    auto *detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->setSpacing(0);
    m_banner = new FullDiskAccessBanner(appState, detail);
    detailLayout->addWidget(m_banner);
    m_blocked = new QLabel(detail);
    m_blocked->setObjectName(QStringLiteral("removalsBlocked"));
    m_blocked->setWordWrap(true);
    m_blocked->setContentsMargins(12, 6, 12, 6);
    Style::makeWarning(m_blocked);
    m_blocked->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    detailLayout->addWidget(m_blocked);
    m_gate = new QStackedWidget(detail);
    m_content = new MainContentView(appState, m_gate);
    m_request = new FullDiskAccessRequestView(appState, m_gate);
    m_gate->addWidget(m_content);
    m_gate->addWidget(m_request);
    detailLayout->addWidget(m_gate, 1);
    m_undoNotice = new UndoNotice(appState->recentlyRemovedVM(), detail);
    detailLayout->addWidget(m_undoNotice);
    connect(m_undoNotice, &UndoNotice::listRequested, this, &MainWindow::openRecentlyRemoved);
    m_progress = new ProgressBannerView(appState, detail);
    detailLayout->addWidget(m_progress);

    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(detail);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({240, 1000});
    setCentralWidget(m_splitter);
    buildMenus();

    connect(appState, &AppState::hasFullDiskAccessChanged, this, &MainWindow::updateGate);
    connect(appState, &AppState::proceedWithoutAccessChanged, this, &MainWindow::updateGate);
    connect(appState, &AppState::isScanningChanged, this, &MainWindow::updateGate);
    connect(appState, &AppState::showUpdateChanged, this, [this](bool show) {
        if (show)
            openUpdateWindow();
    });
    updateGate();
    // While a list of Settings cannot be read, nothing is offered for removal.
    const auto showBlocked = [this] {
        const QString reason = m_appState->exclusionsVM()->blockedReason();
        m_blocked->setText(QStringLiteral("Removals are off. ") + reason);
        m_blocked->setVisible(!reason.isEmpty());
        DeleteSelectedButton::setRemovalsBlocked(!reason.isEmpty());
    };
    connect(appState->exclusionsVM(), &ExclusionsViewModel::blockedReasonChanged, this,
            showBlocked);
    showBlocked();
    // A list mended by hand opens removals again without a restart.
    auto *recheck = new QTimer(this);
    recheck->setInterval(5000);
    connect(recheck, &QTimer::timeout, appState->exclusionsVM(), &ExclusionsViewModel::reload);
    recheck->start();
    connect(appState, &AppState::leftoverReportChanged, this, &MainWindow::updateLeftoversSheet);
    connect(appState, &AppState::activationRequested, this, [this] {
        raise();
        activateWindow();
    });
}

void MainWindow::updateLeftoversSheet()
{
    const std::optional<LeftoverReport> report = m_appState->leftoverReport();
    if (!report) {
        if (m_leftovers)
            m_leftovers->hide();
        return;
    }
    if (!m_leftovers)
        m_leftovers = new LeftoversSheet(m_appState, this);
    m_leftovers->setReport(*report);
    m_leftovers->open();
}

MainWindow::~MainWindow() = default;

QRect MainWindow::initialFrame(const QRect &area)
{
    const int width = int(area.width() * 0.75);
    const int height = int(area.height() * 0.8);
    return QRect(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2,
                 width, height);
}

void MainWindow::buildToolbar()
{
    auto *toolbar = addToolBar(QStringLiteral("Main"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->setIconSize(QSize(16, 16));
    toolbar->toggleViewAction()->setVisible(false);

    auto *spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);

    m_search = new QLineEdit(toolbar);
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setPlaceholderText(QStringLiteral("Search..."));
    m_search->setClearButtonEnabled(true);
    m_search->addAction(Symbols::icon(QStringLiteral("magnifyingglass")),
                        QLineEdit::LeadingPosition);
    m_search->setFixedWidth(240);
    m_search->setAccessibleName(QStringLiteral("Search"));
    m_search->setAccessibleDescription(QStringLiteral("Filters the list of the tab on show."));
    // Escape empties the field, and the lists show everything again.
    auto *clear =
        new QShortcut(QKeySequence(Qt::Key_Escape), m_search, m_search, &QLineEdit::clear);
    clear->setContext(Qt::WidgetShortcut);
    m_search->setText(m_appState->globalSearchText());
    connect(m_search, &QLineEdit::textChanged, m_appState, &AppState::setGlobalSearchText);
    connect(m_appState, &AppState::globalSearchTextChanged, m_search, [this](const QString &text) {
        if (m_search->text() != text)
            m_search->setText(text);
    });
    toolbar->addWidget(m_search);

    m_rescan = new QToolButton(toolbar);
    m_rescan->setObjectName(QStringLiteral("rescanAll"));
    m_rescan->setText(QStringLiteral("Rescan All"));
    m_rescan->setIcon(Symbols::icon(QStringLiteral("arrow.triangle.2.circlepath")));
    m_rescan->setToolTip(QStringLiteral("Rescan all system areas"));
    m_rescan->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_rescan->setAutoRaise(true);
    connect(m_rescan, &QToolButton::clicked, m_appState, &AppState::loadAllTabs);
    toolbar->addWidget(m_rescan);

    auto addLink = [&](const QString &symbol, const QString &tip, const QString &path,
                       const QString &name) {
        auto *button = new QToolButton(toolbar);
        button->setObjectName(name);
        button->setIcon(Symbols::icon(symbol));
        button->setToolTip(tip);
        button->setAccessibleName(tip);
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        connect(button, &QToolButton::clicked, this,
                [path] { Workspace::openUrl(Website::page(path)); });
        toolbar->addWidget(button);
    };
    addLink(QStringLiteral("questionmark.circle"), QStringLiteral("Help / FAQ"),
            QStringLiteral("/faq"), QStringLiteral("helpLink"));
    addLink(QStringLiteral("text.bubble"), QStringLiteral("Send Feedback"),
            QStringLiteral("/feedback"), QStringLiteral("feedbackLink"));
}

void MainWindow::buildMenus()
{
    QMenu *appMenu = menuBar()->addMenu(AppInfo::name());
    appMenu->setObjectName(QStringLiteral("appMenu"));
    QAction *about = appMenu->addAction(QStringLiteral("About Quillmar"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &MainWindow::showAboutPanel);
    QAction *updates = appMenu->addAction(QStringLiteral("Check for Updates..."));
    updates->setMenuRole(QAction::ApplicationSpecificRole);
    connect(updates, &QAction::triggered, this, &MainWindow::openUpdateWindow);
    QAction *removed = appMenu->addAction(QStringLiteral("Recently Removed…"));
    removed->setObjectName(QStringLiteral("recentlyRemovedAction"));
    connect(removed, &QAction::triggered, this, &MainWindow::openRecentlyRemoved);
    appMenu->addSeparator();
    QAction *settings = appMenu->addAction(QStringLiteral("Settings…"));
    settings->setMenuRole(QAction::PreferencesRole);
    // X11 has no sequence of its own for this; Ctrl+, is what other programs use there.
    const QList<QKeySequence> preferences = QKeySequence::keyBindings(QKeySequence::Preferences);
    settings->setShortcuts(preferences.isEmpty()
                               ? QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Comma)}
                               : preferences);
    connect(settings, &QAction::triggered, this, [this] { openSettings(); });
    appMenu->addSeparator();
    QAction *quit = appMenu->addAction(QStringLiteral("Quit Quillmar"));
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu *help = menuBar()->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    const QList<QPair<QString, QString>> pages = {
        {QStringLiteral("Quillmar Help / FAQ"), QStringLiteral("/faq")},
        {QStringLiteral("Privacy Policy"), QStringLiteral("/privacy")},
        {QStringLiteral("Terms and Conditions"), QStringLiteral("/terms")},
    };
    for (const auto &[title, path] : pages) {
        QAction *action = help->addAction(title);
        connect(action, &QAction::triggered, this,
                [path] { Workspace::openUrl(Website::page(path)); });
    }
}

void MainWindow::updateGate()
{
    m_banner->setVisible(m_appState->proceedWithoutAccess() && !m_appState->hasFullDiskAccess());
    m_gate->setCurrentWidget(m_appState->canScan() ? static_cast<QWidget *>(m_content) : m_request);
    m_progress->setVisible(m_appState->isScanning());
}

bool MainWindow::showsTabs() const
{
    return m_gate->currentWidget() == m_content;
}

bool MainWindow::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::Paint && !m_painted) {
        m_painted = true;
        // Once this frame has gone to the screen: the scans' first results would
        // otherwise delay it.
        QTimer::singleShot(0, this, [this] {
            emit firstFrameShown();
            if (Preferences::boolValue(PrefKey::autoScanOnLaunch, true))
                m_appState->loadAllTabs();
        });
    }
    return handled;
}

SettingsView *MainWindow::openSettings()
{
    if (!m_settings)
        m_settings = new SettingsView(m_appState, this);
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
    return m_settings;
}

RecentlyRemovedSheet *MainWindow::openRecentlyRemoved()
{
    if (!m_recentlyRemoved)
        m_recentlyRemoved = new RecentlyRemovedSheet(m_appState->recentlyRemovedVM(), this);
    m_recentlyRemoved->open();
    return m_recentlyRemoved;
}

void MainWindow::setUpdateContent(std::function<QWidget *(AppState *)> factory)
{
    gUpdateContent = std::move(factory);
}

void MainWindow::openUpdateWindow()
{
    // An open window (perhaps installing) is brought forward; a new one checks afresh.
    if (m_updateWindow && m_updateWindow->isVisible()) {
        m_updateWindow->raise();
        m_updateWindow->activateWindow();
        return;
    }
    if (m_updateWindow)
        m_updateWindow->deleteLater();
    auto *dialog = new UpdateDialogView(this);
    connect(dialog, &QDialog::finished, m_appState, [this] { m_appState->setShowUpdate(false); });
    m_updateWindow = dialog;
    // Placed by hand: left to itself it lands where the window manager puts new windows,
    // often a corner of the screen.
    dialog->adjustSize();
    QRect frame(QPoint(), dialog->size());
    frame.moveCenter(frameGeometry().center());
    dialog->move(frame.topLeft());
    dialog->show();
    dialog->raise();
    // Shown first: the flag's own signal then finds this window open.
    m_appState->setShowUpdate(true);
}

QString MainWindow::updateWindowMessage()
{
    return AppInfo::name() + QStringLiteral(" ") + AppInfo::shortVersion() + QStringLiteral(" (") +
           AppInfo::buildNumber() +
           QStringLiteral(") is installed.\nNo check for a newer version has been made.");
}

void MainWindow::showAboutPanel()
{
    QMessageBox box(this);
    box.setWindowTitle(QStringLiteral("About Quillmar"));
    box.setIconPixmap(AppInfo::icon().pixmap(64, 64));
    box.setText(QStringLiteral("<b>%1</b>").arg(AppInfo::name()));
    box.setInformativeText(AppInfo::versionLine());
    box.exec();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_quitConfirmed || !TerminalSheetView::anyRunning()) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    Dialogs::confirm(this,
                     {QStringLiteral("Quit while brew is running?"),
                      QStringLiteral("Quitting stops the command, which can leave a package "
                                     "half installed."),
                      QStringLiteral("Quit Anyway"), QStringLiteral("Cancel")},
                     [this](bool quit) {
                         if (!quit)
                             return;
                         m_quitConfirmed = true;
                         TerminalSheetView::stopAllRunning();
                         QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
                     });
}
