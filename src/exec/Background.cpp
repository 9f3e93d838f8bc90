#include "exec/Background.h"

#include <QCoreApplication>

QThreadPool *Background::pool()
{
    // As with Qt's own pool, the application's end waits for the work still running.
    static QThreadPool *const pool = [] {
        static QThreadPool instance;
        qAddPostRoutine([] { Background::pool()->waitForDone(); });
        return &instance;
    }();
    return pool;
}
