#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>

class QObject;
class QTimer;

namespace vi::media {

// Delivers a player's notices on the GUI thread (the thread of the Qt application): the
// current time 30 times a second while playing and once after each jump or stop, the end of
// the item, and any one-off call. Notices may be posted from any thread; observers run on the
// GUI thread only, and never after the notifier is gone. Without a Qt application, notices run
// on the posting thread.
class PlayerNotifier {
public:
    using TimeObserver = std::function<void(double seconds)>;

    // How often the time is told while playing.
    static constexpr int ticksPerSecond = 30;

    // `currentTime` is read on the GUI thread at each tick; it must be safe to call there.
    explicit PlayerNotifier(std::function<double()> currentTime);
    ~PlayerNotifier();
    PlayerNotifier(const PlayerNotifier&) = delete;
    PlayerNotifier& operator=(const PlayerNotifier&) = delete;

    // Observers; the returned token removes them.
    int addTimeObserver(TimeObserver observer);
    int addEndObserver(std::function<void()> observer);
    void removeObserver(int token);

    // Starts or stops the periodic ticks; either way the time is told once straight away.
    void setPlaying(bool playing);
    // Tells the time once (after a seek).
    void postTime();
    // Tells the end observers that the item has played to its end.
    void postEnd();
    // Runs `call` once on the GUI thread.
    void post(std::function<void()> call);

    struct Shared; // what queued calls reach; outlives the notifier while calls wait

private:
    std::shared_ptr<Shared> shared_;
    QObject* receiver_ = nullptr; // lives on the GUI thread
    QTimer* ticker_ = nullptr;    // a child of the receiver
};

} // namespace vi::media
