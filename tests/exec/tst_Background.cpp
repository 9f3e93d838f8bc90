#include "exec/Async.h"
#include "exec/Background.h"

#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <stdexcept>

namespace {

// Stands for a list of many rows: counts its copies and notes the thread that frees it.
struct Rows {
    static inline std::atomic<int> copies = 0;
    std::shared_ptr<std::atomic<QThread *>> freedOn;

    Rows() = default;
    explicit Rows(std::shared_ptr<std::atomic<QThread *>> on) : freedOn(std::move(on)) {}
    Rows(const Rows &other) : freedOn(other.freedOn) { ++copies; }
    Rows(Rows &&other) noexcept = default;
    Rows &operator=(const Rows &other)
    {
        freedOn = other.freedOn;
        ++copies;
        return *this;
    }
    Rows &operator=(Rows &&other) noexcept = default;
    ~Rows()
    {
        if (freedOn)
            freedOn->store(QThread::currentThread());
    }
};

} // namespace

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

    // What the pool made reaches the main thread without a copy, and what the main thread
    // lets go of is freed on the pool: either would cost the window time that grows with
    // the rows.
    void aResultIsNeitherCopiedNorFreedOnTheMainThread()
    {
        QObject context;
        bool received = false;
        whenFinished(&context, Background::start([] {
            return Rows(std::make_shared<std::atomic<QThread *>>(nullptr));
        }),
                     [&](const Rows &rows) { received = bool(rows.freedOn); });
        QTRY_VERIFY(received);
        QCOMPARE(Rows::copies.load(), 0);

        auto freedOn = std::make_shared<std::atomic<QThread *>>(nullptr);
        Background::release(Rows(freedOn));
        QTRY_VERIFY(freedOn->load() != nullptr);
        QVERIFY(Background::pool()->contains(freedOn->load()));
    }
};

QTEST_GUILESS_MAIN(tst_Background)
#include "tst_Background.moc"
