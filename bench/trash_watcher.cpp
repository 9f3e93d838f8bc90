// How long the Trash watcher keeps the main thread busy. For each size, a Trash of that
// many items, then a stream of arrivals as a clean of cache files makes them (every
// hundredth one an AppImage, which the watcher reports). A 1 ms timer on the main thread
// records every gap between its ticks; the same run without a watcher is the peer that
// shows what the machine itself adds.
//
//   bench/trash_watcher.sh [--sizes 1000,20000,100000] [--arrivals 2000] [--dir PATH]
//
// Prints, per size and for each of the two runs, the longest gap, the 99th percentile,
// the gaps over 16 ms, how long start() took, and how long after the last arrival the
// last report came.

#include "applications/TrashWatcher.h"
#include "platform/Locations.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

QTextStream out(stdout);

void writeFile(const QByteArray &path, const QByteArray &content)
{
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        qFatal("cannot write %s", path.constData());
    if (!content.isEmpty() && ::write(fd, content.constData(), size_t(content.size())) < 0)
        qFatal("cannot write %s", path.constData());
    ::close(fd);
}

QByteArray trashInfo(const QByteArray &name)
{
    return "[Trash Info]\nPath=/home/user/.cache/thumbnails/" + name +
           "\nDeletionDate=2026-01-01T00:00:00\n";
}

// What a trasher does: the info file first, then the item moved into files/.
void trash(const QByteArray &files, const QByteArray &info, const QByteArray &staging,
           const QByteArray &name)
{
    writeFile(info + '/' + name + ".trashinfo", trashInfo(name));
    writeFile(staging + '/' + name, "x");
    if (::rename((staging + '/' + name).constData(), (files + '/' + name).constData()) != 0)
        qFatal("cannot move %s", name.constData());
}

struct Result {
    double longestMs = 0;
    double p99Ms = 0;
    int over16 = 0;
    double startMs = 0;
    double lastReportMs = 0; // after the last arrival
    int reported = 0;
};

// One run on the event loop: `watch` decides whether a watcher runs at all.
Result measure(const QString &home, int arrivals, bool watch, int round)
{
    const Locations &loc = Locations::current();
    const QByteArray files = QFile::encodeName(loc.trashFiles);
    const QByteArray info = QFile::encodeName(loc.trashInfo);
    const QByteArray staging = QFile::encodeName(home + "/staging");
    const int apps = (arrivals + 99) / 100;

    QElapsedTimer clock;
    clock.start();
    QList<qint64> gaps;
    gaps.reserve(1 << 20);
    qint64 last = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        gaps.append(now - last);
        last = now;
    });

    Result result;
    std::atomic_int reported{0};
    qint64 lastReport = 0;
    std::optional<TrashWatcher> watcher;
    if (watch)
        watcher.emplace([&](const auto &...) {
            ++reported;
            lastReport = clock.nsecsElapsed();
        });

    std::atomic_bool arrived{false};
    qint64 arrivalsEnd = 0;
    std::thread cleaner;
    QTimer::singleShot(100, [&] {
        if (watcher) {
            QElapsedTimer started;
            started.start();
            watcher->start();
            result.startMs = started.nsecsElapsed() / 1e6;
        }
    });
    QTimer::singleShot(400, [&] {
        cleaner = std::thread([&] {
            for (int i = 0; i < arrivals; ++i) {
                const QByteArray id = QByteArray::number(round) + '-' + QByteArray::number(i);
                const QByteArray name = i % 100 == 0 ? "Tool-" + id + ".AppImage" : "arrival-" + id;
                trash(files, info, staging, name);
            }
            arrivalsEnd = clock.nsecsElapsed();
            arrived = true;
        });
    });
    QTimer done;
    done.setInterval(20);
    QElapsedTimer waiting;
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (!arrived)
            return;
        if (!waiting.isValid())
            waiting.start();
        // Everything reported, or nothing more after 300 s: then a last quiet stretch.
        if ((!watch || reported.load() >= apps) && waiting.elapsed() > 300)
            QCoreApplication::quit();
        if (waiting.elapsed() > 300000)
            QCoreApplication::quit();
    });
    ticker.start();
    done.start();
    QCoreApplication::exec();
    ticker.stop();
    cleaner.join();
    if (watcher)
        watcher->stop();

    QList<qint64> sorted = gaps;
    std::sort(sorted.begin(), sorted.end());
    if (!sorted.isEmpty()) {
        result.longestMs = sorted.last() / 1e6;
        result.p99Ms = sorted.at(qsizetype(double(sorted.size() - 1) * 0.99)) / 1e6;
    }
    for (qint64 g : gaps)
        result.over16 += g > 16'000'000;
    result.reported = reported.load();
    result.lastReportMs = watch && lastReport > arrivalsEnd ? (lastReport - arrivalsEnd) / 1e6 : 0;
    return result;
}

void fill(const QString &home, int items)
{
    const Locations &loc = Locations::current();
    QDir().mkpath(loc.trashFiles);
    QDir().mkpath(loc.trashInfo);
    QDir().mkpath(home + "/staging");
    const QByteArray files = QFile::encodeName(loc.trashFiles);
    const QByteArray info = QFile::encodeName(loc.trashInfo);
    for (int i = 0; i < items; ++i) {
        const QByteArray name = "cached-" + QByteArray::number(i);
        writeFile(info + '/' + name + ".trashinfo", trashInfo(name));
        writeFile(files + '/' + name, {});
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<int> sizes = {1000, 20000, 100000};
    int arrivals = 2000;
    QString dir;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == "--sizes" && i + 1 < args.size()) {
            sizes.clear();
            for (const QString &s : args.at(++i).split(','))
                sizes.append(s.toInt());
        } else if (args.at(i) == "--arrivals" && i + 1 < args.size()) {
            arrivals = args.at(++i).toInt();
        } else if (args.at(i) == "--dir" && i + 1 < args.size()) {
            dir = args.at(++i);
        } else {
            out << "usage: trash_watcher [--sizes 1000,20000,100000] [--arrivals 2000] "
                   "[--dir PATH]"
                << Qt::endl;
            return 2;
        }
    }

    out << "items     run         longest ms  p99 ms  gaps>16ms  start ms  last report ms  "
           "reported"
        << Qt::endl;
    for (int size : sizes) {
        QTemporaryDir temp(dir.isEmpty() ? QDir::tempPath() + "/trash-bench-XXXXXX"
                                         : dir + "/trash-bench-XXXXXX");
        const QString home = temp.path() + "/home";
        Locations::setCurrent(Locations::forOs(Locations::Os::Linux, home));
        fill(home, size);
        int round = 0;
        for (bool watch : {false, true}) {
            const Result r = measure(home, arrivals, watch, round++);
            out << QString("%1  %2  %3  %4  %5  %6  %7  %8")
                       .arg(size, -8)
                       .arg(watch ? "watcher" : "no watcher", -10)
                       .arg(r.longestMs, 10, 'f', 1)
                       .arg(r.p99Ms, 6, 'f', 2)
                       .arg(r.over16, 9)
                       .arg(r.startMs, 8, 'f', 1)
                       .arg(r.lastReportMs, 14, 'f', 1)
                       .arg(watch ? QString::number(r.reported) : QString("-"), 8)
                << Qt::endl;
        }
    }
    return 0;
}
