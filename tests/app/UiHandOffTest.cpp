// A timer tick that hands texts to the window thread and waits for them, against a window
// thread that stops the timer: neither may wait for the other forever.
#include "support/PeriodicTimer.h"
#include "widgets/UiHandOff.h"

#include <QLabel>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

struct Poll {
    QLabel* label = nullptr;
    std::atomic<int> delivered{0};
    std::atomic<int> abandoned{0};
    std::atomic<int> ticks{0};
};

void HandText(void* context)
{
    auto* p = static_cast<Poll*>(context);
    const int n = ++p->ticks;
    const bool ran = HandToUi(p->label, [p, n] { p->label->setText(QString::number(n)); },
                              PeriodicTimer::StopRequestedForThisTick);
    ++(ran ? p->delivered : p->abandoned);
}

}  // namespace

class UiHandOffTest : public QObject {
    Q_OBJECT
private slots:
    void stopDoesNotWaitForATickWaitingForTheWindow()
    {
        QLabel label;
        Poll poll;
        poll.label = &label;
        auto timer = PeriodicTimer::Start(5, HandText, &poll);
        QTRY_VERIFY(poll.delivered >= 3);
        QVERIFY(!label.text().isEmpty());

        // Now the window thread is busy (no events run) while a tick waits for it.
        while (poll.ticks == poll.delivered + poll.abandoned)
            std::this_thread::yield();
        timer->Stop();  // returns: the waiting tick gives up
        QVERIFY(poll.abandoned >= 1);
        QVERIFY(poll.abandoned + poll.delivered == poll.ticks);
        QCoreApplication::processEvents();  // the abandoned text may still land
    }

    void onTheOwnersThreadItRunsAtOnce()
    {
        QLabel label;
        QVERIFY(HandToUi(&label, [&] { label.setText("now"); }, {}));
        QCOMPARE(label.text(), QString("now"));
        QVERIFY(!HandToUi(nullptr, [] {}, {}));
    }
};

QTEST_MAIN(UiHandOffTest)
#include "UiHandOffTest.moc"
