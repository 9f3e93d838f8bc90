// The real window under Xvfb (with openbox as its window manager): how soon it shows, and
// how long its main thread ever stalls. A 1 ms timer in the program records every gap
// between its ticks (QUILLMAR_STALL_LOG); the program's scripted tour
// (QUILLMAR_STALL_SCENARIO) measures the whole disk through the storage map while the
// launch scans run on a home of a few thousand files, shows every tab, opens the map's
// largest folder and quits. The peer is a bare Qt window run the same way: what the
// machine and Qt themselves give.
//
//   bench/window.sh [--starts 10] [--tours 3] [--map /] [--compare OTHER-BUILD/quillmar]
//
// BENCH_WRAP, when set, is put before the program of each tour: a tracer such as
// "/usr/bin/perf record -a -e sched:sched_switch -o FILE --" sees who held the cores.
//
// Prints the start to the first frame (median, spread, ratio to the bare window), and per
// tour the longest gap, the 99th and 99.9th percentiles, the gaps over 5 and 16 ms and the
// longest with the step of the tour they fell in; each gap splits into the time the thread
// ran, the time it waited for a core and the rest, when it slept or was blocked (in a
// lock, on the disk, on the X server).

#include "app/StallRecorder.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

QTextStream out(stdout);

pid_t spawn(const QStringList &argv, const QStringList &extraEnv, bool quiet = true)
{
    std::vector<QByteArray> raw;
    for (const QString &a : argv)
        raw.push_back(QFile::encodeName(a));
    std::vector<char *> args;
    for (QByteArray &a : raw)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<QByteArray> envRaw;
    QStringList names;
    for (const QString &e : extraEnv)
        names << e.section('=', 0, 0);
    for (char **e = environ; *e; ++e) {
        if (!names.contains(QString::fromLocal8Bit(*e).section('=', 0, 0)))
            envRaw.push_back(QByteArray(*e));
    }
    for (const QString &e : extraEnv)
        envRaw.push_back(e.toLocal8Bit());
    std::vector<char *> env;
    for (QByteArray &e : envRaw)
        env.push_back(e.data());
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data()) != 0)
        qFatal("cannot start %s", args[0]);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int waitFor(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// What one run's log says: its marks and gaps, times in ns.
struct Gap {
    qint64 end, length, busy; // busy: of the length, what the main thread ran
    qint64 queued;            // of the length, what it waited for a core
    qint64 slept() const { return length - busy - queued; }
};
struct Log {
    std::vector<std::pair<qint64, QByteArray>> marks;
    std::vector<Gap> gaps;
    qint64 markAt(const QByteArray &what) const
    {
        for (const auto &[at, m] : marks)
            if (m == what)
                return at;
        return -1;
    }
    // The last mark at or before `at`.
    QByteArray stepAt(qint64 at) const
    {
        QByteArray step = "start";
        for (const auto &[t, m] : marks)
            if (t <= at)
                step = m;
        return step;
    }
};

Log readLog(const QString &file)
{
    Log log;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return log;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> w = line.split(' ');
        if (w.size() >= 3 && w[0] == "mark")
            log.marks.emplace_back(w[1].toLongLong(), line.mid(w[0].size() + w[1].size() + 2));
        else if (w.size() >= 4 && w[0] == "gap")
            log.gaps.push_back({w[1].toLongLong(), w[2].toLongLong(), w[3].toLongLong(),
                                w.size() >= 5 ? qMax(0LL, w[4].toLongLong()) : 0});
    }
    return log;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty()      ? 0
           : v.size() % 2 ? v[v.size() / 2]
                          : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

QString loadAverage()
{
    QFile f("/proc/loadavg");
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll().trimmed()) : "?";
}

void writeSparse(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !f.resize(size))
        qFatal("cannot write %s", qPrintable(path));
}

// A home that gives every file tab rows: pairs of copies, large files, installers, caches
// and projects.
void makeHome(const QString &home)
{
    for (int i = 0; i < 400; ++i) {
        const qint64 size = 1048576 + 1 + qint64(i) * 4096;
        writeSparse(home + QString::asprintf("/Documents/set%02d/copy%03d-a.bin", i % 40, i), size);
        writeSparse(home + QString::asprintf("/Pictures/set%02d/copy%03d-b.bin", i % 40, i), size);
    }
    for (int i = 0; i < 300; ++i)
        writeSparse(home + QString::asprintf("/Downloads/big%03d.img", i),
                    qint64(51 + i) * 1048576 + 7 * i);
    for (int i = 0; i < 200; ++i)
        writeSparse(home + QString::asprintf("/Downloads/package%03d.deb", i), 4096 * (i + 1));
    for (int i = 0; i < 3000; ++i)
        writeSparse(home + QString::asprintf("/.cache/app%02d/entry%04d", i % 30, i), 4096);
    for (int i = 0; i < 60; ++i)
        writeSparse(home + QString::asprintf("/Code/project%02d/node_modules/lib/index.js", i),
                    8192);
}

} // namespace

int main(int argc, char **argv)
{
    // The peer: a bare window with the same probe.
    if (argc >= 2 && qstrcmp(argv[1], "bare") == 0) {
        const qint64 started = StallRecorder::now();
        QApplication app(argc, argv);
        StallRecorder *recorder = StallRecorder::fromEnvironment(&app);
        if (recorder)
            recorder->mark("main", started);
        QMainWindow window;
        window.resize(1440, 864);
        struct FirstPaint : QObject {
            StallRecorder *recorder;
            int stayMs;
            bool seen = false;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Paint && !seen) {
                    seen = true;
                    QTimer::singleShot(0, this, [this] {
                        if (recorder) {
                            recorder->mark("first-frame");
                            recorder->start();
                        }
                        QTimer::singleShot(stayMs, qApp, &QCoreApplication::quit);
                    });
                }
                return false;
            }
        } probe;
        probe.recorder = recorder;
        probe.stayMs = argc >= 3 ? std::atoi(argv[2]) : 0;
        window.installEventFilter(&probe);
        window.show();
        return app.exec();
    }

    QCoreApplication app(argc, argv);
    int starts = 10, tours = 3;
    QString map = "/";
    QString other; // another build of the program, run as one more peer
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--starts")
            starts = args[i + 1].toInt();
        else if (args[i] == "--tours")
            tours = args[i + 1].toInt();
        else if (args[i] == "--map")
            map = args[i + 1];
        else if (args[i] == "--compare")
            other = args[i + 1];
    }
    const QString self = QCoreApplication::applicationFilePath();
    const QString program =
        QDir(QCoreApplication::applicationDirPath() + "/../src").absoluteFilePath("quillmar");

    // A display of our own.
    int display = 90;
    while (QFile::exists(QString("/tmp/.X11-unix/X%1").arg(display)) ||
           QFile::exists(QString("/tmp/.X%1-lock").arg(display)))
        ++display;
    const QString name = QString(":%1").arg(display);
    const pid_t xvfb =
        spawn({"/usr/bin/Xvfb", name, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"}, {});
    for (int i = 0; i < 100 && !QFile::exists(QString("/tmp/.X11-unix/X%1").arg(display)); ++i)
        QThread::msleep(50);
    const pid_t wm = spawn({"/usr/bin/openbox"}, {"DISPLAY=" + name});
    QThread::msleep(500);

    QTemporaryDir scratch;
    const QString home = scratch.path() + "/home";
    makeHome(home);
    const QString logFile = scratch.path() + "/stalls.log";
    const QStringList env{"DISPLAY=" + name,
                          "HOME=" + home,
                          "QT_QPA_PLATFORM=xcb",
                          "XDG_CONFIG_HOME=" + home + "/.config",
                          "XDG_DATA_HOME=" + home + "/.local/share",
                          "XDG_CACHE_HOME=" + home + "/.cache",
                          QString(StallRecorder::fileVariable) + "=" + logFile};
    out << "display " << name << ", home " << home << ", program " << program << Qt::endl;
    out << "load before: " << loadAverage() << Qt::endl;

    // Start to the first frame: ours on the dashboard, ours on the storage map (the tab a
    // user may have left open, whose measuring could hold up the frame) and the bare
    // window, the order rotated each round.
    struct Start {
        QString name;
        QStringList argv;
        QStringList env;
        std::vector<double> frame, main;
    };
    std::vector<Start> kinds = {
        {"ours, dashboard", {program}, env + QStringList{"QUILLMAR_STALL_SCENARIO=frame"}, {}, {}},
        {"ours, storage map of " + map,
         {program, "--map", map},
         env + QStringList{"QUILLMAR_STALL_SCENARIO=frame"},
         {},
         {}},
        {"bare Qt window", {self, "bare", "0"}, env, {}, {}},
    };
    if (!other.isEmpty()) {
        kinds.insert(kinds.end() - 1, {"compared, dashboard",
                                       {other},
                                       env + QStringList{"QUILLMAR_STALL_SCENARIO=frame"},
                                       {},
                                       {}});
        kinds.insert(kinds.end() - 1, {"compared, storage map of " + map,
                                       {other, "--map", map},
                                       env + QStringList{"QUILLMAR_STALL_SCENARIO=frame"},
                                       {},
                                       {}});
    }
    for (int r = 0; r < starts; ++r) {
        for (size_t k = 0; k < kinds.size(); ++k) {
            Start &kind = kinds[(k + size_t(r)) % kinds.size()];
            QFile::remove(logFile);
            const qint64 spawned = StallRecorder::now();
            waitFor(spawn(kind.argv, kind.env));
            const Log log = readLog(logFile);
            const qint64 frame = log.markAt("first-frame");
            if (frame < 0) {
                out << "  (no frame recorded: " << kind.name << ")" << Qt::endl;
                continue;
            }
            kind.frame.push_back(double(frame - spawned) / 1e6);
            kind.main.push_back(double(log.markAt("main") - spawned) / 1e6);
        }
    }
    auto spread = [](std::vector<double> v) {
        if (v.empty())
            return QString("-");
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        return QString::asprintf("%.1f (%.1f - %.1f)", median(v), *lo, *hi);
    };
    out << "\nstart to the first frame, ms, median (min - max) of " << starts << ":" << Qt::endl;
    const Start &bareStart = kinds.back();
    for (const Start &kind : kinds) {
        out << "  " << kind.name << ": " << spread(kind.frame) << ", to main() "
            << spread(kind.main);
        if (&kind != &bareStart && kind.frame.size() == bareStart.frame.size()) {
            std::vector<double> ratio;
            for (size_t i = 0; i < kind.frame.size(); ++i)
                ratio.push_back(kind.frame[i] / bareStart.frame[i]);
            out << ", / bare window " << spread(ratio);
        }
        out << Qt::endl;
    }

    // Tours: the bare window once, as long as a tour takes at most, then ours and the
    // compared build in turn.
    const int perTour = other.isEmpty() ? 1 : 2;
    for (int r = 0; r <= tours * perTour; ++r) {
        const bool isBare = r == 0;
        // Pairs of tours, which build goes first alternating.
        const int pair = (r - 1) / perTour;
        const bool isOther = !isBare && perTour == 2 && ((r - 1) % 2 == 1) != (pair % 2 == 1);
        QFile::remove(logFile);
        const qint64 spawned = StallRecorder::now();
        QStringList wrapped = qEnvironmentVariable("BENCH_WRAP").split(' ', Qt::SkipEmptyParts);
        wrapped << (isOther ? other : program) << "--map" << map;
        const pid_t pid = isBare
                              ? spawn({self, "bare", "8000"}, env)
                              : spawn(wrapped, env + QStringList{"QUILLMAR_STALL_SCENARIO=tour"});
        waitFor(pid);
        const double took = double(StallRecorder::now() - spawned) / 1e9;
        Log log = readLog(logFile);
        if (log.gaps.empty()) {
            out << "  (no gaps recorded)" << Qt::endl;
            continue;
        }
        // Of every gap, its length (the thread ran or waited for a core) and its busy part
        // (the thread's own work).
        auto stats = [&](auto field) {
            std::vector<qint64> v;
            for (const Gap &g : log.gaps)
                v.push_back(std::invoke(field, g));
            std::sort(v.begin(), v.end());
            auto pct = [&](double p) {
                return double(v[std::min(v.size() - 1, size_t(p * double(v.size())))]) / 1e6;
            };
            auto over = [&](double ms) {
                return long(
                    std::count_if(v.begin(), v.end(), [&](qint64 g) { return g > ms * 1e6; }));
            };
            return QString::asprintf(
                "longest %.1f ms, 99th %.2f ms, 99.9th %.2f ms, %ld over 5 ms, "
                "%ld over 16 ms",
                double(v.back()) / 1e6, pct(0.99), pct(0.999), over(5), over(16));
        };
        out << "\n"
            << (isBare    ? QString("bare Qt window, 8 s")
                : isOther ? QString("compared build, tour %1").arg(pair + 1)
                          : QString("tour %1").arg(pair + 1))
            << QString::asprintf(": %.1f s, %zu ticks", took, log.gaps.size()) << Qt::endl
            << "    gaps:        " << stats(&Gap::length) << Qt::endl
            << "    of it busy:  " << stats(&Gap::busy) << Qt::endl
            << "    queued:      " << stats(&Gap::queued) << Qt::endl
            << "    slept:       " << stats(&Gap::slept) << Qt::endl;
        if (isBare)
            continue;
        std::vector<Gap> longest = log.gaps;
        std::sort(longest.begin(), longest.end(),
                  [](const Gap &a, const Gap &b) { return a.busy > b.busy; });
        out << "    the longest busy gaps:" << Qt::endl;
        for (size_t i = 0; i < std::min<size_t>(8, longest.size()); ++i)
            out << QString::asprintf("    %.1f ms busy of %.1f ms, ending at %.2f s, during: ",
                                     double(longest[i].busy) / 1e6, double(longest[i].length) / 1e6,
                                     double(longest[i].end - spawned) / 1e9)
                << log.stepAt(longest[i].end - longest[i].length) << Qt::endl;
        std::sort(longest.begin(), longest.end(),
                  [](const Gap &a, const Gap &b) { return a.length > b.length; });
        out << "    the longest gaps:" << Qt::endl;
        for (size_t i = 0; i < std::min<size_t>(8, longest.size()); ++i)
            out << QString::asprintf("    %.1f ms: %.1f busy, %.1f queued, %.1f slept, ending at "
                                     "%.2f s, during: ",
                                     double(longest[i].length) / 1e6, double(longest[i].busy) / 1e6,
                                     double(longest[i].queued) / 1e6,
                                     double(longest[i].slept()) / 1e6,
                                     double(longest[i].end - spawned) / 1e9)
                << log.stepAt(longest[i].end - longest[i].length) << Qt::endl;
        out << "    marks:";
        for (const auto &[at, m] : log.marks)
            out << QString::asprintf(" %.2f s ", double(at - spawned) / 1e9) << m << ';';
        out << Qt::endl;
    }
    out << "load after: " << loadAverage() << Qt::endl;
    ::kill(wm, SIGTERM);
    ::kill(xvfb, SIGTERM);
    waitFor(wm);
    waitFor(xvfb);
    return 0;
}
