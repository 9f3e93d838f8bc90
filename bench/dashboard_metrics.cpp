// Times the dashboard's whole fetch (ten groups measured at once with du) against one
// `du -sm` over the same paths, on a generated home.
//
//   bench/dashboard_metrics.sh [--files N] [--runs N] [--dir PATH] [--keep]
//
// Files get allocated blocks without data (posix_fallocate), spread over the folders the
// Linux table measures, a few levels deep.

#include "app/AppState.h"
#include "dashboard/DashboardViewModel.h"
#include "exec/ProcessRunner.h"
#include "platform/Locations.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

QTextStream out(stdout);

void generate(const QString &home, int files)
{
    const QStringList folders = {"Downloads",
                                 "Music",
                                 "Videos",
                                 "Pictures",
                                 "Documents",
                                 "Desktop",
                                 ".cache",
                                 ".config",
                                 ".local/share/Trash/files",
                                 ".local/share/docker",
                                 ".cargo",
                                 ".docker",
                                 "Applications"};
    std::mt19937 rng(20261208);
    std::lognormal_distribution<double> size(9.0, 2.0);
    for (int i = 0; i < files; ++i) {
        const QString dir = home + "/" + folders.at(i % folders.size()) +
                            QString("/d%1/e%2").arg(i % 37).arg(i % 11);
        if (i < folders.size() * 37 * 11)
            QDir().mkpath(dir);
        const QByteArray path = (dir + QString("/f%1").arg(i)).toLocal8Bit();
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0)
            continue;
        const off_t bytes = off_t(std::min(size(rng), 64.0 * 1024 * 1024));
        if (bytes > 0)
            ::posix_fallocate(fd, 0, bytes);
        ::close(fd);
    }
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int files = 100000;
    int runs = 5;
    QString dir;
    bool keep = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == "--files" && i + 1 < args.size())
            files = args.at(++i).toInt();
        else if (args.at(i) == "--runs" && i + 1 < args.size())
            runs = args.at(++i).toInt();
        else if (args.at(i) == "--dir" && i + 1 < args.size())
            dir = args.at(++i);
        else if (args.at(i) == "--keep")
            keep = true;
    }
    QTemporaryDir temp;
    temp.setAutoRemove(!keep);
    const QString home = (dir.isEmpty() ? temp.path() : dir) + "/home";
    if (!QDir(home).exists()) {
        out << "generating " << files << " files in " << home << Qt::endl;
        generate(home, files);
    }
    Locations loc = Locations::forOs(Locations::Os::Linux, home);
    loc.cachesCommand = "du -sm '" + home + "/.cache' 2>/dev/null";
    loc.brewCandidates = {"/nonexistent/brew"};
    loc.groupApps = {home + "/Applications"};
    loc.groupBrew = {};
    Locations::setCurrent(loc);

    QStringList all;
    for (const QStringList *group :
         {&loc.groupApps, &loc.groupDeveloper, &loc.groupCaches, &loc.groupDocker, &loc.groupBrew,
          &loc.groupDownloads, &loc.groupMedia, &loc.groupDocuments, &loc.groupTrash,
          &loc.groupLibrary}) {
        for (const QString &p : *group) {
            if (QFileInfo::exists(p))
                all.append(p);
        }
    }
    all.removeDuplicates();

    QList<double> fetchMs;
    QList<double> duMs;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        const RunResult single = ProcessRunner::run("/usr/bin/du", QStringList{"-sm"} + all);
        duMs.append(clock.nsecsElapsed() / 1e6);
        if (single.exitCode != 0)
            out << "du: " << single.stdErr << Qt::endl;

        AppState appState;
        DashboardViewModel *model = appState.dashboardVM();
        QObject::connect(model, &DashboardViewModel::diskCategoriesChanged, &app,
                         &QCoreApplication::quit);
        clock.restart();
        model->fetchMetrics(&appState);
        app.exec();
        fetchMs.append(clock.nsecsElapsed() / 1e6);
    }
    out << "single du -sm: median " << median(duMs) << " ms" << Qt::endl;
    out << "fetchMetrics:  median " << median(fetchMs) << " ms" << Qt::endl;
    out << "ratio: " << (median(duMs) > 0 ? median(fetchMs) / median(duMs) : 0) << Qt::endl;
    return 0;
}
