// How long one removal keeps the main thread busy in the Duplicates tab as its list grows.
// For each size, a throw-away home holds that many sparse files in pairs of copies; the tab
// scans it, then one copy goes to the Trash through the removal hub, as any tab's removal
// does, and a 1 ms timer on the main thread records every gap until both rows of that pair
// have left the list. Peer in the same run: the same tab over a list of 2 files (what the
// machine, the move and the window add).
//
//   QT_QPA_PLATFORM=offscreen build/bench/finder_lists [--sizes 1000,4000,16000]
//
// Prints, per size: the longest main-thread gap and the gaps over 16 ms.

#include "app/AppState.h"
#include "exec/SafetyHelper.h"
#include "finders/AdvancedToolsViewModel.h"
#include "finders/screens/DuplicatesView.h"
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

#include <algorithm>

namespace {

QTextStream out(stdout);

struct Run {
    qint64 longestGapMs = 0;
    int gapsOver16 = 0;
};

void waitUntil(const std::function<bool()> &done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

Run removeOneCopy(int files)
{
    QTemporaryDir dir;
    const QString home = dir.path() + "/home";
    QDir().mkpath(home + "/Documents");
    for (int i = 0; i < files; ++i) {
        // Past the scan's 1 MiB floor without using the disk: sparse, a size of its own
        // per pair, so that each pair is compared with itself alone.
        QFile f(QStringLiteral("%1/Documents/f%2").arg(home).arg(i));
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("pair %1\n").arg(i / 2).toUtf8());
        f.resize((1 << 20) + 1 + i / 2);
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
        AdvancedToolsViewModel *model = state.duplicatesVM();
        DuplicatesView view(&state, model);
        view.resize(1200, 800);
        view.show();
        model->scanDuplicates(&state);
        waitUntil([&] { return !model->isScanRunning() && model->items().size() == files; });

        QElapsedTimer clock;
        qint64 last = 0;
        QTimer tick;
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            run.longestGapMs = std::max(run.longestGapMs, now - last);
            run.gapsOver16 += now - last > 16 ? 1 : 0;
            last = now;
        });
        clock.start();
        tick.start();
        const QByteArray victim = QFile::encodeName(home + "/Documents/f0");
        QThreadPool::globalInstance()->start([victim] {
            const RemovalHub::Batch batch(QStringLiteral("bench"));
            const RemovalHub::Joined joined(batch);
            SafetyHelper::moveNativeToTrash(victim);
        });
        waitUntil([&] { return model->items().size() == files - 2; });
        // The frames after the list changed belong to the removal too.
        const qint64 settled = clock.elapsed() + 100;
        waitUntil([&] { return clock.elapsed() > settled; });
        tick.stop();
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
    const Run peer = removeOneCopy(4);
    out << "files\tlongest gap ms\tgaps > 16 ms\tpeer (4 files): longest, > 16\n";
    for (int files : sizes) {
        const Run run = removeOneCopy(files);
        out << files << '\t' << run.longestGapMs << '\t' << run.gapsOver16 << '\t'
            << peer.longestGapMs << ", " << peer.gapsOver16 << '\n';
        out.flush();
    }
    return 0;
}
