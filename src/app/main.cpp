#include "app/AppInfo.h"
#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/Symbols.h"
#include "app/Theme.h"
#include "platform/Preferences.h"
#include "storage/StorageViewModel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppInfo::name());
    QApplication::setOrganizationName(QStringLiteral("ornk"));
    QApplication::setApplicationVersion(AppInfo::shortVersion());
    QApplication::setWindowIcon(AppInfo::icon());
    Symbols::ensureIconTheme();

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the main window to <file> once it has "
                       "settled, then quit."),
        QStringLiteral("file"));
    const QCommandLineOption tab(QStringLiteral("tab"),
                                 QStringLiteral("Show this tab (its raw value)."),
                                 QStringLiteral("tab"));
    const QCommandLineOption map(
        QStringLiteral("map"),
        QStringLiteral("Open the Storage Map at <folder> (with --screenshot, also opens "
                       "its largest subfolder)."),
        QStringLiteral("folder"));
    const QCommandLineOption theme(
        QStringLiteral("theme"),
        QStringLiteral("Use this appearance for this run: 0 system, 1 light, 2 dark."),
        QStringLiteral("n"));
    parser.addOptions({screenshot, tab, map, theme});
    parser.process(app);

    Preferences::registerDefaults();
    AppState appState;
    QObject::connect(&appState, &AppState::terminateRequested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    if (parser.isSet(tab)) {
        if (const auto chosen = TabNavigation::fromRawValue(parser.value(tab)))
            appState.setSelectedTab(*chosen);
    }

    if (parser.isSet(map)) {
        appState.setSelectedTab(TabNavigation::storage);
        appState.storageVM()->open(parser.value(map));
    }

    // The appearance is set before the window is built, so it is drawn once.
    Theme appearance;
    appearance.apply(parser.isSet(theme) ? Theme::fromPreference(parser.value(theme).toInt())
                                         : Theme::fromPreference(
                                               Preferences::intValue(PrefKey::themePreference, 0)));
    MainWindow window(&appState);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect frame = MainWindow::initialFrame(screen->availableGeometry());
        window.resize(frame.size().expandedTo(window.minimumSize()));
        window.move(frame.topLeft());
    }
    window.show();
    if (!parser.isSet(screenshot))
        appState.startUpdateCheck();

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        const bool mapped = parser.isSet(map);
        // Waits until nothing has been measured for a moment, at most two minutes.
        auto *poll = new QTimer(&app);
        auto quiet = std::make_shared<int>(0);
        auto elapsed = std::make_shared<int>(0);
        auto deeper = std::make_shared<bool>(false);
        QObject::connect(poll, &QTimer::timeout, &app, [&, file, mapped, quiet, elapsed, deeper] {
            *elapsed += 250;
            StorageViewModel *storage = appState.storageVM();
            const bool busy = appState.isScanning() || storage->loadingFolder().has_value();
            if (mapped && !busy && !*deeper && storage->columns().size() == 1) {
                *deeper = true;
                for (const StorageEntry &entry : storage->columns().first()) {
                    if (entry.isDirectory) {
                        storage->choose(entry, 0);
                        break;
                    }
                }
            }
            *quiet = busy ? 0 : *quiet + 250;
            if (*quiet < 1500 && *elapsed < 120000)
                return;
            window.grab().save(file);
            app.quit();
        });
        poll->start(250);
    }
    return app.exec();
}
