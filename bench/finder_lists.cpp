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
// Prints, per tab and size: the longest main-thread gap and the gaps over 16 ms, for the
// removal and for the rescan.

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
};

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
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        gaps.longestMs = std::max(gaps.longestMs, now - last);
        gaps.over16 += now - last > 16 ? 1 : 0;
        last = now;
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
    out << "tab\tfiles\tremoval: longest gap ms, gaps > 16 ms\trescan: longest, > 16\t"
           "peer (4 files) removal; rescan\n";
    for (const Tab tab : {Tab::duplicates, Tab::largeFiles}) {
        const Run peer = removeOne(tab, 4);
        for (int files : sizes) {
            const Run run = removeOne(tab, files);
            out << (tab == Tab::duplicates ? "duplicates" : "large files") << '\t' << files << '\t'
                << run.removal.longestMs << ", " << run.removal.over16 << '\t'
                << run.rescan.longestMs << ", " << run.rescan.over16 << '\t'
                << peer.removal.longestMs << ", " << peer.removal.over16 << "; "
                << peer.rescan.longestMs << ", " << peer.rescan.over16 << '\n';
            out.flush();
        }
    }
    return 0;
}
