#include "exec/AppHost.h"
#include "exec/ScanProgress.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

// Counts what reaches the host.
class Host : public AppHost {
public:
    QList<ScanReport> reports;
    void addLog(const QString &, const QString &) override {}
    void setScanProgress(bool, const QString &, double) override {}
    void reportScan(const ScanReport &report) override { reports.append(report); }
    double diskTotalGB() const override { return 0; }
    double diskUsedGB() const override { return 0; }
    void setDiskSpace(const DiskSpace &) override {}
    void showLeftovers(const QString &, const std::optional<QString> &, const QString &,
                       const QStringList &) override
    {
    }
};

} // namespace

class tst_ScanProgress : public QObject {
    Q_OBJECT
private slots:
    // A scan that reports every item reaches the host about once a frame; its start, a
    // new stage and its end always get through.
    void reportsAtMostOncePerFrame()
    {
        Host host;
        QElapsedTimer clock;
        clock.start();
        {
            ScanProgress progress(&host, "Looking", CancelToken());
            for (int i = 1; i <= 200000; ++i)
                progress.setFound(i);
            progress.setMessage("Comparing");
            for (int i = 0; i <= 100000; ++i)
                progress.setShare(i, 100000);
        }
        const qint64 frames = clock.elapsed() / ScanProgress::frameMs;
        QVERIFY2(host.reports.size() <= frames + 4,
                 qPrintable(QString::number(host.reports.size())));
        QCOMPARE(host.reports.first().message, QString("Looking"));
        QVERIFY(host.reports.first().running && host.reports.first().stop);
        QVERIFY(std::any_of(host.reports.begin(), host.reports.end(),
                            [](const ScanReport &r) { return r.message == "Comparing"; }));
        QVERIFY(!host.reports.last().running);
        for (const ScanReport &r : host.reports)
            QCOMPARE(r.scan, host.reports.first().scan);
    }
};

QTEST_GUILESS_MAIN(tst_ScanProgress)
#include "tst_ScanProgress.moc"
