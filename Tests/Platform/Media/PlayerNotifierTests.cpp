#include "Platform/Media/PlayerNotifier.h"
#include "Support/GuiEvents.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace vi::media;
using namespace std::chrono_literals;

namespace {

using vi::test::spin;

} // namespace

TEST(PlayerNotifier, TellsTheTimeAboutThirtyTimesASecondWhilePlayingOnTheGuiThread) {
    std::atomic<double> time{1.5};
    PlayerNotifier notifier([&] { return time.load(); });
    int ticks = 0;
    bool offThread = false;
    double lastSeen = -1;
    notifier.addTimeObserver([&](double seconds) {
        ++ticks;
        lastSeen = seconds;
        offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
    });
    // Started from another thread, as the player's own threads do.
    std::thread([&] { notifier.setPlaying(true); }).join();
    spin(500ms);
    EXPECT_FALSE(offThread);
    EXPECT_EQ(lastSeen, 1.5);
    // Half a second at 30 a second is 15; a loaded machine may run the timer late, never often.
    EXPECT_GE(ticks, 5);
    EXPECT_LE(ticks, 18);

    notifier.setPlaying(false);
    spin(20ms);
    const int afterStop = ticks;
    spin(200ms);
    EXPECT_EQ(ticks, afterStop) << "no ticks while paused";
    time = 4.0;
    notifier.postTime();
    spin(20ms);
    EXPECT_EQ(ticks, afterStop + 1);
    EXPECT_EQ(lastSeen, 4.0);
}

TEST(PlayerNotifier, EndAndOneOffCallsArriveOnTheGuiThreadAndNeverAfterTheNotifierIsGone) {
    auto notifier = std::make_unique<PlayerNotifier>([] { return 0.0; });
    int ends = 0;
    int calls = 0;
    const int token = notifier->addEndObserver([&] {
        ++ends;
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
    });
    std::thread([&] {
        notifier->postEnd();
        notifier->post([&] { ++calls; });
    }).join();
    EXPECT_EQ(ends, 0) << "delivered by the GUI thread's event loop, not on the posting thread";
    spin(20ms);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(calls, 1);

    notifier->removeObserver(token);
    notifier->postEnd();
    spin(20ms);
    EXPECT_EQ(ends, 1);

    notifier->post([&] { ++calls; });
    notifier.reset();
    spin(20ms);
    EXPECT_EQ(calls, 1);
}
