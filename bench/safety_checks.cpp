// Time the safety check alone and whole removals through SafetyHelper (check, opened
// folder judged again, mount table read, move) in a throw-away home.
// Usage: safety_checks [count]   (default 1000)
#include "exec/SafetyHelper.h"
#include "platform/Locations.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    QTemporaryDir dir;
    if (!dir.isValid() || count <= 0)
        return 1;
    const QString home = dir.path() + "/home";
    QDir().mkpath(home + "/Caches/deep/er");
    Locations::setCurrent(Locations::forOs(Locations::Os::Linux, home));

    QElapsedTimer timer;
    timer.start();
    int safe = 0;
    for (int i = 0; i < count; ++i)
        safe += SafetyHelper::isPathSafeToDelete(home + "/Caches/deep/er/x") ? 1 : 0;
    const double check = double(timer.nsecsElapsed()) / count / 1000.0;

    for (int i = 0; i < count; ++i) {
        QFile f(home + QStringLiteral("/Caches/item%1").arg(i));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
    }
    timer.restart();
    const int moved = SafetyHelper::trashContents(home + "/Caches");
    const double move = double(timer.nsecsElapsed()) / count / 1000.0;
    std::printf("%d checks: %.1f us/check; trashContents of %d items: %.1f us/item\n", count, check,
                count + 1, move);
    return safe == count && moved == count + 1 ? 0 : 1;
}
