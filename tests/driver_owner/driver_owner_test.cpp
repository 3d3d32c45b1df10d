#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "driver_owner.h"
#include "vyr_driver.h"

// The owner's jobs never touch the driver here: what is checked is the order, the threads
// and the answers.
class Driver_owner_test : public QObject
{
    Q_OBJECT

private slots:
    void jobs_run_in_order_and_answer_on_the_posting_thread()
    {
        kvt::Vyr_driver driver;
        const std::shared_ptr<Driver_owner> owner = Driver_owner::of(driver);
        QCOMPARE(Driver_owner::of(driver), owner);
        QSignalSpy busy(owner.get(), &Driver_owner::busy_changed);
        QObject context;
        QThread* const gui = QThread::currentThread();
        std::vector<int> ran;
        std::vector<int> answered;
        std::atomic<bool> off_gui{true};
        for (int i = 0; i < 20; ++i) {
            owner->post(
                &context,
                [&, i](kvt::Lidar& lidar) {
                    off_gui = off_gui && QThread::currentThread() != gui && &lidar == &driver;
                    ran.push_back(i);
                    return i * 2;
                },
                [&, i](int result) {
                    QCOMPARE(QThread::currentThread(), gui);
                    QCOMPARE(result, i * 2);
                    answered.push_back(i);
                });
        }
        QCOMPARE(busy.count(), 1);
        QVERIFY(owner->busy());
        QTRY_COMPARE(answered.size(), size_t(20));
        QVERIFY(off_gui);
        std::vector<int> expected(20);
        for (int i = 0; i < 20; ++i) {
            expected[size_t(i)] = i;
        }
        QCOMPARE(ran, expected);
        QCOMPARE(answered, expected);
        QTRY_VERIFY(!owner->busy());
        QCOMPARE(busy.count(), 2);
        QCOMPARE(busy.at(0).at(0).toBool(), true);
        QCOMPARE(busy.at(1).at(0).toBool(), false);
    }

    // Neither a context gone before the answer nor a job that threw leaves the owner busy.
    void answers_that_cannot_be_given_still_end_the_work()
    {
        kvt::Vyr_driver driver;
        const std::shared_ptr<Driver_owner> owner = Driver_owner::of(driver);
        QSignalSpy busy(owner.get(), &Driver_owner::busy_changed);
        std::atomic<bool> release{false};
        bool answered = false;
        auto* context = new QObject;
        owner->post(
            context,
            [&](kvt::Lidar&) {
                while (!release) {
                    QThread::msleep(1);
                }
            },
            [&] { answered = true; });
        owner->post(context, [](kvt::Lidar&) -> int { throw std::runtime_error("lost"); },
                    [&](int) { answered = true; });
        QVERIFY(!owner->wait_idle(50));
        delete context;
        release = true;
        QVERIFY(owner->wait_idle(2000));
        QTRY_VERIFY(!owner->busy());
        QVERIFY(!answered);
        QCOMPARE(busy.count(), 2);

        QObject alive;
        owner->post(&alive, [](kvt::Lidar&) { return 7; }, [&](int value) { answered = value == 7; });
        QTRY_VERIFY(answered);
    }
};

QTEST_GUILESS_MAIN(Driver_owner_test)
#include "driver_owner_test.moc"
