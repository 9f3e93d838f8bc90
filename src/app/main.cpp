#include "app/AppState.h"
#include "app/MainWindow.h"
#include "platform/Preferences.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmar"));
    QApplication::setOrganizationName(QStringLiteral("ornk"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMAR_VERSION));

    Preferences::registerDefaults();
    AppState appState;
    QObject::connect(&appState, &AppState::terminateRequested, &app, &QApplication::quit,
                     Qt::QueuedConnection);

    MainWindow window(&appState);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QSize size(int(area.width() * 0.75), int(area.height() * 0.8));
        window.resize(size.expandedTo(window.minimumSize()));
        window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
    }
    window.show();
    if (Preferences::boolValue(PrefKey::autoScanOnLaunch, true))
        appState.loadAllTabs();
    return app.exec();
}
