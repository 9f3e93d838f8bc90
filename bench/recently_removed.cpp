// How long opening Recently Removed keeps the main thread busy, and how long the journal
// takes to read. For each size, a journal of that many removals (three items each) is
// written to a throw-away state folder; the sheet is opened and a 1 ms timer on the main
// thread records every gap until the list shows. Peers in the same run: the same sheet
// over an empty journal (what the machine and the window add), and reading the journal's
// bytes alone (QFile::readAll), which the parse is compared with.
//
//   QT_QPA_PLATFORM=offscreen build/bench/recently_removed [--sizes 1000,20000,100000]
//
// Prints, per size: the longest main-thread gap and the gaps over 16 ms, with and without
// entries, the time from open to the list shown, and the raw read's time.

#include "exec/RecentlyRemovedViewModel.h"
#include "exec/RemovalJournal.h"
#include "exec/ThreadPriority.h"
#include "exec/screens/RecentlyRemovedSheet.h"
#include "platform/Locations.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>

namespace {

QTextStream out(stdout);

struct Run {
    qint64 longestGapMs = 0;
    int gapsOver16 = 0;
    qint64 shownAfterMs = 0;
    qint64 longestAfterShownMs = 0; // from the list's arrival on: what the main thread does
};

Run openSheet(RecentlyRemovedViewModel &model)
{
    RecentlyRemovedSheet sheet(&model);
    QElapsedTimer clock;
    qint64 last = 0;
    Run run;
    QTimer tick;
    tick.setInterval(1);
    bool shown = false;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        run.longestGapMs = std::max(run.longestGapMs, now - last);
        run.gapsOver16 += now - last > 16 ? 1 : 0;
        if (shown)
            run.longestAfterShownMs = std::max(run.longestAfterShownMs, now - last);
        last = now;
    });
    QObject::connect(&model, &RecentlyRemovedViewModel::entriesChanged, [&] { shown = true; });
    clock.start();
    tick.start();
    sheet.open();
    while (model.isLoading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    run.shownAfterMs = clock.elapsed();
    // A few frames more, as the list draws.
    const qint64 until = clock.elapsed() + 200;
    while (clock.elapsed() < until)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    tick.stop();
    return run;
}

void writeJournal(int removals)
{
    QFile f(RemovalJournal::file());
    QDir().mkpath(QFileInfo(f).path());
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write the journal");
    const QDateTime when = QDateTime::currentDateTime();
    for (int r = 0; r < removals; ++r) {
        JournalEntry e;
        e.key = QString::number(r);
        e.when = when.addSecs(-r);
        e.origin = QStringLiteral("duplicates");
        for (int i = 0; i < 3; ++i)
            e.items.append({"/home/user/Pictures/album " + QByteArray::number(r) + "/photo " +
                                QByteArray::number(i) + ".jpg",
                            {},
                            "/home/user/.local/share/Trash/files/photo " +
                                QByteArray::number(r * 3 + i) + ".jpg",
                            {66306, quint64(r * 3 + i + 1), 4 << 20, 1700000000000000000, false},
                            4 << 20});
        f.write(RemovalJournal::line(e) + '\n');
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QList<int> sizes{1000, 20000, 100000};
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--sizes"));
        at >= 0 && at + 1 < args.size()) {
        sizes.clear();
        for (const QString &n : args.at(at + 1).split(','))
            sizes.append(n.toInt());
    }
    QTemporaryDir dir;
    Locations loc = Locations::forOs(Locations::Os::Linux, dir.path() + "/home");
    loc.stateFolder = dir.path() + "/state";
    Locations::setCurrent(loc);

    // As the window does: the pool's threads yield to the main thread.
    ThreadPriority::lowerPool(*QThreadPool::globalInstance());
    out << "removals\tgap ms (empty)\t>16 ms (empty)\tgap from the list on\tshown after ms"
           "\traw read ms\n";
    for (int size : sizes) {
        QFile::remove(RemovalJournal::file());
        RecentlyRemovedViewModel emptyModel;
        const Run empty = openSheet(emptyModel);
        writeJournal(size);
        QElapsedTimer raw;
        raw.start();
        QFile f(RemovalJournal::file());
        f.open(QIODevice::ReadOnly);
        const qsizetype bytes = f.readAll().size();
        const qint64 rawMs = raw.elapsed();
        RecentlyRemovedViewModel model;
        const Run full = openSheet(model);
        if (model.entries().size() != size || bytes == 0)
            qFatal("read %lld of %d removals", qlonglong(model.entries().size()), size);
        out << size << '\t' << full.longestGapMs << " (" << empty.longestGapMs << ")\t"
            << full.gapsOver16 << " (" << empty.gapsOver16 << ")\t" << full.longestAfterShownMs
            << '\t' << full.shownAfterMs << '\t' << rawMs << '\n';
        out.flush();
    }
    return 0;
}
