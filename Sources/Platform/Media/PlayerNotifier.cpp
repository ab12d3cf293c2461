#include "Platform/Media/PlayerNotifier.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <deque>
#include <vector>

namespace vi::media {

// What the queued calls reach: kept alive by them, emptied when the notifier goes.
struct PlayerNotifier::Shared {
    std::mutex mutex;
    bool alive = true;
    int lastToken = 0;
    std::function<double()> currentTime;
    std::map<int, TimeObserver> timeObservers;
    std::map<int, std::function<void()>> endObservers;

    void tellTime() {
        std::vector<TimeObserver> observers;
        std::function<double()> clock;
        {
            std::lock_guard lock(mutex);
            if (!alive) return;
            for (const auto& [token, observer] : timeObservers) observers.push_back(observer);
            clock = currentTime;
        }
        if (observers.empty()) return;
        const double seconds = clock();
        for (const auto& observer : observers) observer(seconds);
    }

    void tellEnd() {
        std::vector<std::function<void()>> observers;
        {
            std::lock_guard lock(mutex);
            if (!alive) return;
            for (const auto& [token, observer] : endObservers) observers.push_back(observer);
        }
        for (const auto& observer : observers) observer();
    }

    bool isAlive() {
        std::lock_guard lock(mutex);
        return alive;
    }

    // Calls waiting for the GUI thread. They travel through this queue under our own lock
    // rather than inside Qt's event, so their hand-over is ordered where race checkers see it.
    std::deque<std::function<void()>> waiting;

    void enqueue(std::function<void()> call) {
        std::lock_guard lock(mutex);
        waiting.push_back(std::move(call));
    }

    void runWaiting() {
        std::deque<std::function<void()>> calls;
        {
            std::lock_guard lock(mutex);
            calls.swap(waiting);
            if (!alive) return;
        }
        for (auto& call : calls)
            if (isAlive()) call();
    }
};

namespace {

// Lives on the GUI thread; each posted event tells it to run the waiting calls.
class Receiver final : public QObject {
public:
    explicit Receiver(std::shared_ptr<PlayerNotifier::Shared> shared) : shared_(std::move(shared)) {}

    static QEvent::Type wakeType() {
        static const auto type = QEvent::Type(QEvent::registerEventType());
        return type;
    }

protected:
    // Only our wake-up events are custom ones; Qt sorts them here without our code reading
    // the event, whose hand-over between threads race checkers cannot follow.
    void customEvent(QEvent*) override { shared_->runWaiting(); }

private:
    std::shared_ptr<PlayerNotifier::Shared> shared_;
};

} // namespace

PlayerNotifier::PlayerNotifier(std::function<double()> currentTime) : shared_(std::make_shared<Shared>()) {
    shared_->currentTime = std::move(currentTime);
    auto* application = QCoreApplication::instance();
    if (!application) return;
    receiver_ = new Receiver(shared_);
    ticker_ = new QTimer(receiver_);
    ticker_->setTimerType(Qt::PreciseTimer);
    ticker_->setInterval(1000 / ticksPerSecond);
    QObject::connect(ticker_, &QTimer::timeout, receiver_, [shared = shared_] { shared->tellTime(); });
    receiver_->moveToThread(application->thread());
}

PlayerNotifier::~PlayerNotifier() {
    std::deque<std::function<void()>> dropped; // let go of outside the lock
    {
        std::lock_guard lock(shared_->mutex);
        dropped.swap(shared_->waiting);
        shared_->alive = false;
        shared_->timeObservers.clear();
        shared_->endObservers.clear();
        shared_->currentTime = {};
    }
    if (!receiver_) return;
    if (QThread::currentThread() == receiver_->thread()) {
        delete receiver_;
    } else {
        receiver_->deleteLater();
    }
}

int PlayerNotifier::addTimeObserver(TimeObserver observer) {
    std::lock_guard lock(shared_->mutex);
    shared_->timeObservers.emplace(++shared_->lastToken, std::move(observer));
    return shared_->lastToken;
}

int PlayerNotifier::addEndObserver(std::function<void()> observer) {
    std::lock_guard lock(shared_->mutex);
    shared_->endObservers.emplace(++shared_->lastToken, std::move(observer));
    return shared_->lastToken;
}

void PlayerNotifier::removeObserver(int token) {
    std::lock_guard lock(shared_->mutex);
    shared_->timeObservers.erase(token);
    shared_->endObservers.erase(token);
}

void PlayerNotifier::post(std::function<void()> call) {
    if (!receiver_) {
        if (shared_->isAlive()) call();
        return;
    }
    shared_->enqueue(std::move(call));
    QCoreApplication::postEvent(receiver_, new QEvent(Receiver::wakeType()));
}

void PlayerNotifier::setPlaying(bool playing) {
    if (!receiver_) {
        shared_->tellTime();
        return;
    }
    // The timer belongs to the GUI thread and is started and stopped there; it is a child of
    // the receiver, so it exists for as long as calls queued on the receiver can run.
    post([shared = shared_.get(), ticker = ticker_, playing] {
        if (playing) {
            ticker->start();
        } else {
            ticker->stop();
        }
        shared->tellTime();
    });
}

void PlayerNotifier::postTime() {
    post([shared = shared_.get()] { shared->tellTime(); });
}

void PlayerNotifier::postEnd() {
    post([shared = shared_.get()] { shared->tellEnd(); });
}

} // namespace vi::media
