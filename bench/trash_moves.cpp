// Time moves into a throw-away home trash: distinct names, then one name over and over
// (each move probes name, name.2, … until a free one).
// Usage: trash_moves [count]   (default 1000)
#include "platform/Locations.h"
#include "platform/Trash.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool makeFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
}

double run(const QString &root, int count, bool sameName)
{
    qint64 total = 0;
    for (int i = 0; i < count; ++i) {
        const QString folder = root + QStringLiteral("/src%1").arg(i);
        QDir().mkpath(folder);
        const QString item =
            folder + (sameName ? QStringLiteral("/same") : QStringLiteral("/item%1").arg(i));
        if (!makeFile(item))
            return -1;
        QElapsedTimer timer;
        timer.start();
        const Trash::Result r = Trash::moveToTrash(item);
        total += timer.nsecsElapsed();
        if (!r.ok) {
            std::fprintf(stderr, "move failed: %s\n", qPrintable(r.error));
            return -1;
        }
    }
    return double(total) / count / 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    QTemporaryDir dir;
    if (!dir.isValid() || count <= 0)
        return 1;
    Locations::setCurrent(Locations::forOs(Locations::Os::Linux, dir.path() + "/home"));
    QDir().mkpath(dir.path() + "/home");
    const double distinct = run(dir.path() + "/a", count, false);
    const double same = run(dir.path() + "/b", count, true);
    std::printf("%d moves: distinct names %.1f us/move, one name %.1f us/move\n", count, distinct,
                same);
    return distinct < 0 || same < 0 ? 1 : 0;
}
