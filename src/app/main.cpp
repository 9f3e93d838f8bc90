#include "app/AppState.h"
#include "app/StallRecorder.h"
#include "app/TabNavigation.h"
#include "app/screens/DesktopIntegration.h"
#include "app/screens/MainWindow.h"
#include "app/widgets/Symbols.h"
#include "app/widgets/Theme.h"
#include "exec/ThreadPriority.h"
#include "platform/Preferences.h"
#include "platform/TerminationSignals.h"
#include "platform/desktop/AppInfo.h"
#include "storage/StorageViewModel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>

namespace {

QString tabHelp()
{
    QStringList names;
    for (const TabNavigation &tab : TabNavigation::allCases())
        names.append(tab.rawValue());
    return QStringLiteral("Show this tab: ") + names.join(QStringLiteral(", ")) + QLatin1Char('.');
}

struct Options {
    QCommandLineOption screenshot{
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the main window to <file> once it has "
                       "settled, then quit."),
        QStringLiteral("file")};
    QCommandLineOption tab{QStringLiteral("tab"), tabHelp(), QStringLiteral("tab")};
    QCommandLineOption map{
        QStringLiteral("map"),
        QStringLiteral("Open the Storage Map at <folder> (with --screenshot, also opens "
                       "its largest subfolder)."),
        QStringLiteral("folder")};
    QCommandLineOption theme{
        QStringLiteral("theme"),
        QStringLiteral("Use this appearance for this run: 0 system, 1 light, 2 dark."),
        QStringLiteral("n")};
    QCommandLineOption switchTheme{
        QStringLiteral("switch-theme"),
        QStringLiteral("With --screenshot: switch to this appearance (0, 1 or 2) once the "
                       "window is shown, as the settings do, before the picture is taken."),
        QStringLiteral("n")};

    void addTo(QCommandLineParser &parser) const
    {
        parser.setApplicationDescription(
            QStringLiteral("Shows what fills your disk and moves what you choose to the Trash."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({screenshot, tab, map, theme, switchTheme});
    }
};

void nameApplication()
{
    QCoreApplication::setApplicationName(AppInfo::name());
    QCoreApplication::setOrganizationName(QStringLiteral("ornk"));
    // "--version" prints the version and the build number.
    QCoreApplication::setApplicationVersion(AppInfo::shortVersion() + QStringLiteral(" (build ") +
                                            AppInfo::buildNumber() + QStringLiteral(")"));
}

// Help and version need no display: answer them before the window system is touched.
void answerWithoutDisplay(int argc, char *argv[])
{
    bool asked = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--") // what follows is no option
            break;
        if (arg == "-h" || arg == "--help" || arg == "-?" || arg == "--help-all" || arg == "-v" ||
            arg == "--version")
            asked = true;
    }
    if (!asked)
        return;
    QCoreApplication core(argc, argv);
    nameApplication();
    QCommandLineParser parser;
    const Options options;
    options.addTo(parser);
    parser.process(core); // prints and exits
}

// The benchmark's scripted run, when QUILLMAR_STALL_SCENARIO asks for one: "frame" quits
// once the first frame is shown; "tour" waits for the storage map's first column and the
// launch scans, shows every tab in turn, opens the map's largest folder, then quits.
void runScenario(const QString &scenario, AppState &appState, StallRecorder *recorder)
{
    if (scenario == QLatin1String("frame")) {
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return;
    }
    if (scenario != QLatin1String("tour"))
        return;
    auto *poll = new QTimer(qApp);
    auto step = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, qApp, [&appState, recorder, poll, step] {
        StorageViewModel *storage = appState.storageVM();
        const bool busy = appState.isScanning() || storage->loadingFolder().has_value();
        const QList<TabNavigation> tabs = TabNavigation::allCases();
        const int tour = int(tabs.size());
        int &at = *step;
        if (at == 0) {
            if (busy || storage->columns().isEmpty())
                return;
            recorder->mark("measured");
        }
        if (at < tour) {
            appState.setSelectedTab(tabs[at]);
            recorder->mark("tab " + tabs[at].rawValue().toUtf8());
        } else if (at == tour) {
            appState.setSelectedTab(TabNavigation::storage);
            // A copy: choosing replaces the model's columns under the loop.
            const StorageViewModel::Column first = storage->columns().first();
            for (const StorageEntry &entry : first) {
                if (entry.isDirectory) {
                    recorder->mark("deeper " + entry.nativePath);
                    storage->choose(entry, 0);
                    break;
                }
            }
        } else if (busy) {
            return;
        } else {
            recorder->mark("done");
            poll->stop();
            QCoreApplication::quit();
        }
        ++at;
    });
    poll->start(400);
}

} // namespace

int main(int argc, char *argv[])
{
    const qint64 started = StallRecorder::now();
    answerWithoutDisplay(argc, argv);

    // Before Qt starts its own threads, which take the slice after it: reading the X
    // server and filling large areas are the window's work too.
    ThreadPriority::favourCurrent();
    QApplication app(argc, argv);
    StallRecorder *recorder = StallRecorder::fromEnvironment(&app);
    if (recorder)
        recorder->mark("main", started);
    TerminationSignals::quitOnTermination();
    nameApplication();
    // Groups the windows with the menu entry of the same name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(DesktopIntegration::appId));
    Symbols::ensureIconTheme();
    // An unpacked tarball carries its icon beside the program.
    QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << QCoreApplication::applicationDirPath() +
                                                                QStringLiteral("/../share/icons"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QString::fromLatin1(DesktopIntegration::appId), AppInfo::icon()));

    QCommandLineParser parser;
    const Options options;
    options.addTo(parser);
    parser.process(app);
    const QCommandLineOption &screenshot = options.screenshot;
    const QCommandLineOption &tab = options.tab;
    const QCommandLineOption &map = options.map;
    const QCommandLineOption &theme = options.theme;

    Preferences::registerDefaults();
    AppState appState;
    QObject::connect(&appState, &AppState::terminateRequested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    if (parser.isSet(tab)) {
        if (const auto chosen = TabNavigation::fromRawValue(parser.value(tab)))
            appState.setSelectedTab(*chosen);
    }

    if (parser.isSet(map))
        appState.setSelectedTab(TabNavigation::storage);

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
    // Measuring begins after the first frame, before the map's own start would.
    if (parser.isSet(map)) {
        QObject::connect(
            &window, &MainWindow::firstFrameShown, &appState,
            [&appState, folder = parser.value(map)] { appState.storageVM()->open(folder); });
    }
    if (recorder) {
        QObject::connect(&window, &MainWindow::firstFrameShown, recorder, [&appState, recorder] {
            recorder->mark("first-frame");
            recorder->start();
            runScenario(qEnvironmentVariable("QUILLMAR_STALL_SCENARIO"), appState, recorder);
        });
    }
    window.show();
    if (parser.isSet(options.switchTheme)) {
        // The same switch the settings make at run time, for checking that every widget
        // follows it.
        const Theme::Appearance later =
            Theme::fromPreference(parser.value(options.switchTheme).toInt());
        QTimer::singleShot(300, &appearance, [&appearance, later] { appearance.apply(later); });
    }
    // The update check may open its window: only once the first start's question is gone.
    if (!parser.isSet(screenshot))
        DesktopIntegration::offerOnFirstStart(&window, QCoreApplication::applicationDirPath(),
                                              [&appState] { appState.startUpdateCheck(); });

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
                // A copy: choosing replaces the model's columns under the loop.
                const StorageViewModel::Column first = storage->columns().first();
                for (const StorageEntry &entry : first) {
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
    const int status = app.exec();
    Preferences::flush();
    return status;
}
