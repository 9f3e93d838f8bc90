#include "exec/Background.h"

#include <QTest>
#include <QThread>

#include <memory>
#include <stdexcept>

class tst_Background : public QObject {
    Q_OBJECT
private slots:
    // The work runs on our pool, not Qt's shared one (which the painting borrows), and
    // its result, or what it threw, reaches the future.
    void workRunsOnOurPoolAndReportsBack()
    {
        auto held = std::make_unique<int>(42); // work may hold what cannot be copied
        QFuture<int> value = Background::start([held = std::move(held)] {
            return Background::pool()->contains(QThread::currentThread()) ? *held : -1;
        });
        QCOMPARE(value.result(), 42);

        QFuture<int> failed = Background::start([]() -> int { throw std::runtime_error("no"); });
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, failed.waitForFinished());
        QVERIFY(failed.isFinished());
    }
};

QTEST_GUILESS_MAIN(tst_Background)
#include "tst_Background.moc"
