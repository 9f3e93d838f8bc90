#include "app/AppInfo.h"
#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/Symbols.h"
#include "app/Theme.h"
#include "platform/Preferences.h"

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
    parser.addOptions({screenshot, tab});
    parser.process(app);

    Preferences::registerDefaults();
    AppState appState;
    QObject::connect(&appState, &AppState::terminateRequested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    if (parser.isSet(tab)) {
        if (const auto chosen = TabNavigation::fromRawValue(parser.value(tab)))
            appState.setSelectedTab(*chosen);
    }

    MainWindow window(&appState);
    Theme theme;
    theme.apply(Theme::fromPreference(Preferences::intValue(PrefKey::themePreference, 0)));
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect frame = MainWindow::initialFrame(screen->availableGeometry());
        window.resize(frame.size().expandedTo(window.minimumSize()));
        window.move(frame.topLeft());
    }
    window.show();

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        // Waits until no scan has run for a moment, at most a minute.
        auto *poll = new QTimer(&app);
        auto quiet = std::make_shared<int>(0);
        auto elapsed = std::make_shared<int>(0);
        QObject::connect(poll, &QTimer::timeout, &app, [&, file, quiet, elapsed] {
            *elapsed += 250;
            *quiet = appState.isScanning() ? 0 : *quiet + 250;
            if (*quiet < 1500 && *elapsed < 60000)
                return;
            window.grab().save(file);
            app.quit();
        });
        poll->start(250);
    }
    return app.exec();
}
