// How long one removal and one rescan keep the main thread busy in the Duplicates and the
// Large Files tabs as their lists grow. For each size, a throw-away home holds that many
// sparse files (in pairs of copies for Duplicates, past 50 MiB for Large Files); the tab
// scans it, then one file goes to the Trash through the removal hub, as any tab's removal
// does, and a 1 ms timer on the main thread records every gap until its rows have left the
// list and the window has drawn; then the tab scans again and the timer runs until the new
// list is shown. Peer in the same run: the same tab over a list of 4 files (what the
// machine, the move and the window add).
//
//   QT_QPA_PLATFORM=offscreen build/bench/finder_lists [--sizes 1000,4000,16000]
//
// Prints, per tab and size, for the removal and for the rescan: the longest main-thread gap
// with how much of it the thread ran and waited for a core (a busy machine's share), the
// gaps over 16 ms, and the most the thread ran within one gap (the program's own share).

#include "app/AppState.h"
#include "exec/SafetyHelper.h"
#include "finders/AdvancedToolsViewModel.h"
#include "finders/screens/DuplicatesView.h"
#include "finders/screens/GenericFileListView.h"
#include "platform/FullDiskAccess.h"
#include "platform/Locations.h"
#include "platform/Preferences.h"
#include "platform/RemovalHub.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <functional>
#include <memory>

#include <algorithm>

#include <time.h>

namespace {

QTextStream out(stdout);

void waitUntil(const std::function<bool()> &done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

struct Gaps {
    qint64 longestMs = 0;
    int over16 = 0;
    // Of the longest gap: how long the main thread ran, and waited for a core.
    qint64 ranMs = 0;
    qint64 queuedMs = -1;
    // The most the main thread ran within any one gap: its own work, whatever the load.
    qint64 mostRanMs = 0;
};

qint64 threadCpuNs()
{
    timespec ts;
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Nanoseconds the main thread has waited on a run queue, or -1 where the system does not
// say.
qint64 queuedNs()
{
    QFile f(QStringLiteral("/proc/thread-self/schedstat"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().simplified().split(' ');
    bool ok = false;
    const qint64 queued = fields.size() >= 2 ? fields[1].toLongLong(&ok) : -1;
    return ok ? queued : -1;
}

struct Run {
    Gaps removal;
    Gaps rescan;
};

enum class Tab { duplicates, largeFiles };

// Records the main thread's gaps while `during` runs.
Gaps measure(const std::function<void()> &during)
{
    Gaps gaps;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 lastCpu = threadCpuNs();
    qint64 lastQueued = queuedNs();
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        const qint64 cpu = threadCpuNs();
        const qint64 queued = queuedNs();
        const qint64 ranMs = (cpu - lastCpu) / 1'000'000;
        if (now - last > gaps.longestMs) {
            gaps.longestMs = now - last;
            gaps.ranMs = ranMs;
            gaps.queuedMs = queued < 0 || lastQueued < 0 ? -1 : (queued - lastQueued) / 1'000'000;
        }
        gaps.mostRanMs = std::max(gaps.mostRanMs, ranMs);
        gaps.over16 += now - last > 16 ? 1 : 0;
        last = now;
        lastCpu = threadCpuNs();
        lastQueued = queuedNs();
    });
    clock.start();
    tick.start();
    during();
    // The frames after the list changed belong to it too.
    const qint64 settled = clock.elapsed() + 100;
    waitUntil([&] { return clock.elapsed() > settled; });
    tick.stop();
    return gaps;
}

Run removeOne(Tab tab, int files)
{
    QTemporaryDir dir;
    const QString home = dir.path() + "/home";
    QDir().mkpath(home + "/Documents");
    for (int i = 0; i < files; ++i) {
        // Past the scan's floor without using the disk: sparse. Duplicates: a size of its
        // own per pair, so that each pair is compared with itself alone.
        QFile f(QStringLiteral("%1/Documents/f%2").arg(home).arg(i));
        f.open(QIODevice::WriteOnly);
        if (tab == Tab::duplicates) {
            f.write(QStringLiteral("pair %1\n").arg(i / 2).toUtf8());
            f.resize((1 << 20) + 1 + i / 2);
        } else {
            f.resize((50 << 20) + 1 + i);
        }
    }
    Locations loc = Locations::forOs(Locations::Os::Linux, home);
    loc.configFolder = dir.path() + "/config";
    loc.stateFolder = dir.path() + "/state";
    loc.cacheFolder = dir.path() + "/cache";
    Locations::setCurrent(loc);
    Preferences::useStoreFile(dir.path() + "/prefs.ini");

    Run run;
    {
        AppState state;
        AdvancedToolsViewModel *model =
            tab == Tab::duplicates ? state.duplicatesVM() : state.largeFilesVM();
        std::unique_ptr<QWidget> view;
        std::function<int()> shown;
        if (tab == Tab::duplicates) {
            auto *v = new DuplicatesView(&state, model);
            shown = [v] {
                int copies = 0;
                for (const DuplicateGroup &g : v->groups())
                    copies += g.copies();
                return copies;
            };
            view.reset(v);
        } else {
            auto *v = GenericFileListView::forTab(&state, TabNavigation::largeFiles, nullptr);
            shown = [v] { return int(v->rows().size()); };
            view.reset(v);
        }
        view->resize(1200, 800);
        view->show();
        waitUntil([&] { return !model->isScanRunning() && shown() == files; });

        const int left = tab == Tab::duplicates ? files - 2 : files - 1;
        const QByteArray victim = QFile::encodeName(home + "/Documents/f0");
        run.removal = measure([&] {
            QThreadPool::globalInstance()->start([victim] {
                const RemovalHub::Batch batch(QStringLiteral("bench"));
                const RemovalHub::Joined joined(batch);
                SafetyHelper::moveNativeToTrash(victim);
            });
            waitUntil([&] { return model->items().size() == left && shown() == left; });
        });
        run.rescan = measure([&] {
            int published = 0;
            const QMetaObject::Connection counting = QObject::connect(
                model, &AdvancedToolsViewModel::itemsChanged, [&] { ++published; });
            if (tab == Tab::duplicates)
                model->scanDuplicates(&state);
            else
                model->scanLargeFiles(&state);
            waitUntil([&] { return published > 0 && shown() == left; });
            QObject::disconnect(counting);
        });
    }
    Locations::resetCurrent();
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    FullDiskAccess::setProbe([] { return true; });
    QList<int> sizes{1000, 4000, 16000};
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--sizes"));
        at >= 0 && at + 1 < args.size()) {
        sizes.clear();
        for (const QString &s : args.at(at + 1).split(QLatin1Char(',')))
            sizes.append(s.toInt());
    }
    out << "gaps of the main thread in ms: longest (of it ran, waited for a core), count over "
           "16, most it ran within one gap\n"
        << "tab\tfiles\tremoval\trescan\tpeer (4 files) removal; rescan\n";
    const auto shown = [](const Gaps &g) {
        return QStringLiteral("%1 (%2, %3), %4, %5")
            .arg(g.longestMs)
            .arg(g.ranMs)
            .arg(g.queuedMs)
            .arg(g.over16)
            .arg(g.mostRanMs);
    };
    for (const Tab tab : {Tab::duplicates, Tab::largeFiles}) {
        const Run peer = removeOne(tab, 4);
        for (int files : sizes) {
            const Run run = removeOne(tab, files);
            out << (tab == Tab::duplicates ? "duplicates" : "large files") << '\t' << files << '\t'
                << shown(run.removal) << '\t' << shown(run.rescan) << '\t' << shown(peer.removal)
                << "; " << shown(peer.rescan) << '\n';
            out.flush();
        }
    }
    return 0;
}
