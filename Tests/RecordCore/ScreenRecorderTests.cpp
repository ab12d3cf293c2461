#include "Platform/Capture/Displays.h"
#include "Platform/Capture/HostClock.h"
#include "Platform/Capture/XConnection.h"
#include "Platform/Media/Asset.h"
#include "Platform/Media/VideoTrackReader.h"
#include "RecordCore/InputRecorder.h"
#include "RecordCore/RecordError.h"
#include "RecordCore/ScreenRecorder.h"
#include "RecordedMedia.h"
#include "Support/FakeInput.h"
#include "Support/FileSizeLimit.h"
#include "Support/TestOutput.h"
#include "Support/TonePlayer.h"
#include "Support/X11TestWindow.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

using namespace vi;
using namespace std::chrono_literals;
namespace HostClock = capture::HostClock;
using test::FakeInput;
using test::X11TestWindow;

extern char** environ;

namespace {

capture::DisplayInfo mainDisplay() {
    capture::XConnection x;
    return capture::listDisplays(x).front();
}

// A window that changes its colour on every call, so every frame differs.
struct Flicker {
    X11TestWindow& window;
    int step = 0;
    void next() { window.fill(step++ % 2 ? 0x2040c0 : 0xc04020); }
};

void pauseFor(std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }

// Why the recording ended by itself, as onStop said on the capture thread; nothing while it has not.
// The report lives on in the callback, which may outlast this object when a test ends early.
class StopReport {
public:
    explicit StopReport(ScreenRecorder& recorder) : state_(std::make_shared<State>()) {
        recorder.onStop = [state = state_](const std::string& error) {
            std::lock_guard lock(state->mutex);
            state->error = error;
        };
    }
    std::optional<std::string> error() const {
        std::lock_guard lock(state_->mutex);
        return state_->error;
    }

private:
    struct State {
        std::mutex mutex;
        std::optional<std::string> error;
    };
    std::shared_ptr<State> state_;
};

// The real capture of the screen, with its frames withheld from the recorder until release():
// a display that has not produced a frame yet, while the sound goes on.
class HeldFrames {
public:
    ScreenRecorder::StreamFactory factory() const {
        return [held = held_](const ScreenRecorder::Source& source, int fps, capture::ScreenStream::Delegate delegate) {
            delegate.onFrame = [held, deliver = std::move(delegate.onFrame)](capture::ScreenFramePtr frame) {
                if (!held->load()) deliver(std::move(frame));
            };
            return std::make_unique<capture::ScreenStream>(source, fps, std::move(delegate));
        };
    }
    void release() { held_->store(false); }

private:
    std::shared_ptr<std::atomic<bool>> held_ = std::make_shared<std::atomic<bool>>(true);
};

// The nice value of each of this process's threads that has the given name.
std::vector<int> nicenessOfThreads(const std::string& name) {
    std::vector<int> found;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string threadName;
        std::getline(comm, threadName);
        if (threadName != name) continue;
        errno = 0;
        const int niceness = getpriority(PRIO_PROCESS, static_cast<id_t>(std::stoi(task.path().filename().string())));
        if (errno == 0) found.push_back(niceness);
    }
    return found;
}

} // namespace

// The whole recording: a changing screen, a tone on the speakers and another on the microphone,
// clicks, a right click, a key and a scroll; then a still screen until stop.
TEST(ScreenRecorder, RecordsScreenSoundsAndInputOnOneClock) {
    test::TempDir folder;
    const auto file = folder / "recording.mp4";
    const auto display = mainDisplay();
    X11TestWindow canvas({{0, 0, 1920, 1080}, 0x000000, "Canvas", "Canvas", 7001, true});
    Flicker flicker{canvas};

    ScreenRecorder recorder;
    StopReport stoppedBySelf(recorder);
    InputRecorder input(InputRecorder::Region::display(display.id));
    recorder.start({ScreenRecorder::Source::display(display.frame, {static_cast<std::uint32_t>(getpid())}), true, true,
                    std::nullopt, 30},
                   file);
    input.start();

    // The sound server's virtual outputs deliver their first sound after a moment; the screen changes meanwhile.
    for (int i = 0; i < 25; ++i) {
        flicker.next();
        pauseFor(100ms);
    }
    test::TonePlayer speakers("vi_speakers", 440, 0.5, 1.0);
    test::TonePlayer microphone("vi_mic_feed", 1000, 0.25, 1.0);

    FakeInput fake;
    struct Driven {
        double at;
        InputLog::Event::Kind kind;
        double x, y;
    };
    std::vector<Driven> driven;
    auto drive = [&](int x, int y, InputLog::Event::Kind kind, auto act) {
        fake.moveTo(x, y);
        pauseFor(30ms);
        driven.push_back({HostClock::now(), kind, double(x) / 1920, double(y) / 1080});
        act();
        flicker.next();
        pauseFor(120ms);
    };
    drive(480, 270, InputLog::Event::Kind::click, [&] { fake.click(1); });
    drive(960, 540, InputLog::Event::Kind::rightClick, [&] { fake.click(3); });
    drive(100, 100, InputLog::Event::Kind::key, [&] { fake.key(FakeInput::someKey); });
    drive(1440, 810, InputLog::Event::Kind::scroll, [&] { fake.click(5); });
    speakers.wait();
    microphone.wait();
    pauseFor(1200ms); // a still screen: no frames, but the file must last until stop
    const double stoppedAt = HostClock::now();
    recorder.stop();
    ASSERT_TRUE(recorder.firstFrameTime());
    const double first = *recorder.firstFrameTime();
    const auto log = input.stop(first);
    for (const auto& line : recorder.diagnostics()) std::printf("%s\n", line.c_str());
    EXPECT_FALSE(stoppedBySelf.error());

    const auto asset = media::Asset::open(file);
    ASSERT_EQ(asset.tracks().size(), 3u);
    EXPECT_EQ(asset.tracks()[0].kind, media::TrackKind::video);
    EXPECT_EQ(asset.tracks()[0].codedWidth, 1920);
    EXPECT_EQ(asset.tracks()[0].codedHeight, 1080);
    EXPECT_EQ(asset.tracks()[1].codec, "aac");
    EXPECT_EQ(asset.tracks()[2].codec, "aac");
    EXPECT_NEAR(asset.durationSeconds(), stoppedAt - first, 0.15);

    // System sound first, the microphone second: each tone at its level, pitch and time.
    struct Expected {
        int track;
        double level;
        double crossings;
        double playedAt;
    };
    for (const Expected e : {Expected{0, 0.3536, 880, speakers.startedAt()}, Expected{1, 0.1768, 2000, microphone.startedAt()}}) {
        const auto sound = test::soundOf(asset, e.track);
        const double onset = test::onsetOf(sound, 0.05f);
        EXPECT_NEAR(onset, e.playedAt - first, 0.03) << "track " << e.track;
        const auto tone = test::measure(sound, onset + 0.2, onset + 0.8);
        EXPECT_NEAR(tone.level, e.level, 0.03) << "track " << e.track;
        EXPECT_NEAR(tone.crossingsPerSecond, e.crossings, e.crossings * 0.05) << "track " << e.track;
        EXPECT_LT(test::measure(sound, onset + 1.2, asset.durationSeconds()).level, 0.01) << "silence after";
    }

    // The input log: every driven event, at its place and time, relative to the first frame.
    ASSERT_EQ(log.events().size(), driven.size());
    for (std::size_t i = 0; i < driven.size(); ++i) {
        const auto& event = log.events()[i];
        EXPECT_EQ(event.kind, driven[i].kind) << i;
        EXPECT_NEAR(event.t, driven[i].at - first, 0.1) << i;
        if (event.kind == InputLog::Event::Kind::key) {
            EXPECT_FALSE(event.x);
        } else {
            ASSERT_TRUE(event.x && event.y) << i;
            EXPECT_NEAR(*event.x, driven[i].x, 0.002) << i;
            EXPECT_NEAR(*event.y, driven[i].y, 0.002) << i;
        }
    }
    const double span = stoppedAt - first;
    EXPECT_NEAR(static_cast<double>(log.cursor().size()), span * 60, span * 60 * 0.1);
    EXPECT_GE(log.cursor().front().t, 0.0);
    EXPECT_EQ(log.keysTracked, std::optional<bool>(true));
    EXPECT_EQ(log.cursorInVideo, std::optional<bool>(false));
    EXPECT_FALSE(recorder.activity().samples().empty());
}

TEST(ScreenRecorder, AWindowRecordingFollowsTheWindowWhenMovedAndCovered) {
    test::TempDir folder;
    const auto file = folder / "recording.mp4";
    X11TestWindow window({{100, 100, 320, 180}, 0x00c000, "Recorded"});
    X11TestWindow cover({{900, 500, 200, 200}, 0x808080, "Cover"});
    ScreenRecorder recorder;
    StopReport stoppedBySelf(recorder);
    recorder.start({ScreenRecorder::Source::ofWindow(window.id()), false, false, std::nullopt, 30}, file);
    pauseFor(300ms);
    window.moveTo(820, 420); // now partly under the cover
    cover.raise();
    pauseFor(200ms);
    window.fillRect({140, 120, 60, 40}, 0xc00000); // drawn where the cover hides it
    pauseFor(300ms);
    recorder.stop();
    EXPECT_FALSE(stoppedBySelf.error());

    const auto asset = media::Asset::open(file);
    ASSERT_EQ(asset.tracks().size(), 1u);
    EXPECT_EQ(asset.tracks()[0].codedWidth, 320);
    media::VideoTrackReader reader(asset);
    std::optional<media::VideoFrame> last;
    while (auto frame = reader.next()) last = std::move(frame);
    ASSERT_TRUE(last);
    const auto& picture = last->picture;
    auto colourAt = [&](int x, int y) { return test::pixelAt(picture.data(), picture.stride(), x, y); };
    auto near = [](std::uint32_t colour, std::uint32_t expected) {
        for (int shift : {0, 8, 16}) {
            if (std::abs(int((colour >> shift) & 0xff) - int((expected >> shift) & 0xff)) > 24) return false;
        }
        return true;
    };
    EXPECT_TRUE(near(colourAt(170, 140), 0xc00000)) << std::hex << colourAt(170, 140);
    EXPECT_TRUE(near(colourAt(20, 20), 0x00c000)) << std::hex << colourAt(20, 20);
}

TEST(ScreenRecorder, OutcomesOfStartsAndStopsThatGoWrong) {
    const auto display = mainDisplay();
    const auto source = ScreenRecorder::Source::display({0, 0, 320, 180});

    // An unwritable folder: a clear error at start, nothing left behind.
    {
        ScreenRecorder recorder;
        try {
            recorder.start({source, true, true, std::nullopt, 30}, "/proc/vi-nowhere/recording.mp4");
            FAIL() << "started into an unwritable folder";
        } catch (const RecordError& error) {
            EXPECT_EQ(error.kind(), RecordError::Kind::writeFailed);
            EXPECT_FALSE(error.message().empty());
        }
        EXPECT_NO_THROW(recorder.stop()) << "stop after a failed start returns";
    }
    // A microphone that is not there: the file still has its track, silent, and the log says why.
    {
        test::TempDir folder;
        X11TestWindow canvas({{0, 0, 320, 180}, 0x334455, "Canvas", "Canvas", 0, true});
        ScreenRecorder recorder;
        recorder.start({source, false, true, std::string("vi_no_such_microphone"), 30}, folder / "recording.mp4");
        pauseFor(500ms);
        recorder.stop();
        const auto asset = media::Asset::open(folder / "recording.mp4");
        ASSERT_EQ(asset.tracks().size(), 2u);
        EXPECT_EQ(asset.tracks()[1].codec, "aac");
        EXPECT_NEAR(asset.tracks()[1].duration.seconds(), asset.durationSeconds(), 0.1);
        EXPECT_LT(test::measure(test::soundOf(asset, 0), 0, 1).level, 0.001);
        const auto diagnostics = recorder.diagnostics();
        EXPECT_TRUE(std::any_of(diagnostics.begin(), diagnostics.end(), [](const auto& line) {
            return line.find("Microphone not recorded") != std::string::npos;
        }));
    }
    // A window that closes mid-recording ends the stream through onStop; stop() keeps the file.
    {
        test::TempDir folder;
        auto window = std::make_unique<X11TestWindow>(X11TestWindow::Options{{200, 200, 200, 120}, 0x00aaaa});
        ScreenRecorder recorder;
        StopReport ended(recorder);
        recorder.start({ScreenRecorder::Source::ofWindow(window->id()), false, false, std::nullopt, 30},
                       folder / "recording.mp4");
        pauseFor(300ms);
        window.reset();
        ASSERT_TRUE(test::waitUntil([&] { return ended.error().has_value(); }, 2s));
        EXPECT_NO_THROW(recorder.stop());
        EXPECT_GT(media::Asset::open(folder / "recording.mp4").durationSeconds(), 0.2);
    }
    (void)display;
}

// Stopped before the display gave a single frame: the recording fails as "no frames were
// captured" and leaves no file, although sound had come in; the folder is left as it was.
TEST(ScreenRecorder, StopBeforeAnyFrameFailsAndLeavesNoFile) {
    test::TempDir folder;
    const auto file = folder / "recording.mp4";
    X11TestWindow canvas({{0, 0, 320, 180}, 0x000000, "Canvas", "Canvas", 0, true});
    Flicker flicker{canvas};
    test::TonePlayer speakers("vi_speakers", 440, 0.4, 0.6);
    HeldFrames held;
    ScreenRecorder recorder(held.factory());
    StopReport stoppedBySelf(recorder);
    recorder.start({ScreenRecorder::Source::display({0, 0, 320, 180}), true, true, std::nullopt, 30}, file);
    EXPECT_TRUE(std::filesystem::exists(file)) << "the file is made at start";
    for (int i = 0; i < 8; ++i) {
        flicker.next();
        pauseFor(80ms);
    }
    try {
        recorder.stop();
        FAIL() << "a recording without frames was finished";
    } catch (const RecordError& error) {
        EXPECT_EQ(error.kind(), RecordError::Kind::writeFailed);
        EXPECT_EQ(error.message(), "no frames were captured");
        EXPECT_STREQ(error.what(), "Could not write the video: no frames were captured");
    }
    EXPECT_FALSE(recorder.firstFrameTime());
    EXPECT_TRUE(recorder.activity().samples().empty());
    EXPECT_FALSE(stoppedBySelf.error()) << "stopping is not the stream ending by itself";
    EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << "the cancelled file is removed";
}

// Sound heard before the first frame has no place in the file: time 0 is the first frame, and the
// file holds only what came after it.
TEST(ScreenRecorder, SoundBeforeTheFirstFrameIsLeftOut) {
    test::TempDir folder;
    const auto file = folder / "recording.mp4";
    X11TestWindow canvas({{0, 0, 320, 180}, 0x000000, "Canvas", "Canvas", 0, true});
    Flicker flicker{canvas};
    HeldFrames held;
    ScreenRecorder recorder(held.factory());
    recorder.start({ScreenRecorder::Source::display({0, 0, 320, 180}), true, false, std::nullopt, 30}, file);
    {
        // Heard in full by its end and a margin (the server is slow to report a drained stream).
        test::TonePlayer speakers("vi_speakers", 440, 0.5, 0.5);
        ASSERT_TRUE(test::waitUntil([&] { return speakers.startedAt() > 0; }, 5s));
        const double heard = speakers.startedAt() + 0.5 + 0.3;
        pauseFor(std::chrono::milliseconds(static_cast<long>(std::max(0.0, heard - HostClock::now()) * 1000)));
    }
    const double released = HostClock::now();
    held.release();
    for (int i = 0; i < 8; ++i) {
        flicker.next();
        pauseFor(80ms);
    }
    const double stoppedAt = HostClock::now();
    recorder.stop();
    ASSERT_TRUE(recorder.firstFrameTime());
    EXPECT_GE(*recorder.firstFrameTime(), released);
    const auto asset = media::Asset::open(file);
    EXPECT_NEAR(asset.durationSeconds(), stoppedAt - *recorder.firstFrameTime(), 0.1);
    EXPECT_LT(test::measure(test::soundOf(asset, 0), 0, asset.durationSeconds()).level, 0.01);
}

// The encoder and the threads it starts run at a lower priority than the capture thread, so
// that on a busy machine a late encode only lengthens the queue instead of a grab losing a frame.
TEST(ScreenRecorder, TheEncoderYieldsToTheCapture) {
    test::TempDir folder;
    X11TestWindow canvas({{0, 0, 320, 180}, 0x203040, "Canvas", "Canvas", 0, true});
    ScreenRecorder recorder;
    recorder.start({ScreenRecorder::Source::display({0, 0, 320, 180}), false, false, std::nullopt, 30},
                   folder / "recording.mp4");
    ASSERT_TRUE(test::waitUntil([] { return nicenessOfThreads("vi.capture").size() == 1; }, 2s));
    pauseFor(200ms);
    const auto capture = nicenessOfThreads("vi.capture");
    const auto encoder = nicenessOfThreads("vi.capture.enc");
    recorder.stop();
    ASSERT_EQ(capture.size(), 1u);
    // The writing thread and the video encoder's own threads, which take its name.
    EXPECT_GE(encoder.size(), 2u);
    for (int niceness : encoder) EXPECT_GT(niceness, capture.front());
}

// A disk that fills up midway: the failure is reported at once, and stop() then keeps what was
// written and returns, so the session keeps a playable recording.
TEST(ScreenRecorder, AWriterThatFailsMidwayIsReportedAtOnceAndStopKeepsWhatWasWritten) {
    test::TempDir folder;
    X11TestWindow canvas({{0, 0, 320, 180}, 0x000000, "Canvas", "Canvas", 0, true});
    Flicker flicker{canvas};
    test::TonePlayer speakers("vi_speakers", 440, 0.4, 6);
    ScreenRecorder recorder;
    StopReport ended(recorder);
    recorder.start({ScreenRecorder::Source::display({0, 0, 320, 180}), true, false, std::nullopt, 30},
                   folder / "recording.mp4");
    {
        // A few half-second fragments of picture and sound fit; a later one does not. Set after
        // start, so that it meets the recording and not the sound server's shared memory.
        test::FileSizeLimit limit(40 * 1024);
        const bool reported = test::waitUntil(
            [&] {
                flicker.next();
                return ended.error().has_value();
            },
            8s);
        ASSERT_TRUE(reported) << "the failed writer was not reported while recording";
        EXPECT_NO_THROW(recorder.stop());
    }
    EXPECT_NE(ended.error()->find("Could not write the video"), std::string::npos) << *ended.error();
    const auto asset = media::Asset::open(folder / "recording.mp4");
    EXPECT_GT(asset.durationSeconds(), 0.4);
    const auto diagnostics = recorder.diagnostics();
    EXPECT_TRUE(std::any_of(diagnostics.begin(), diagnostics.end(), [](const auto& line) {
        return line.find("kept as written") != std::string::npos;
    }));
}

// Run by the test below in a process of its own, which it then kills.
TEST(ScreenRecorderChild, RecordsUntilKilled) {
    const char* target = std::getenv("VI_RECORD_UNTIL_KILLED");
    if (!target) GTEST_SKIP() << "runs only as the child of the kill test";
    X11TestWindow canvas({{0, 0, 320, 180}, 0x000000, "Canvas", "Canvas", 0, true});
    Flicker flicker{canvas};
    ScreenRecorder recorder;
    recorder.start({ScreenRecorder::Source::display({0, 0, 320, 180}), true, true, std::nullopt, 30}, target);
    for (;;) {
        flicker.next();
        pauseFor(50ms);
    }
}

TEST(ScreenRecorder, ARecordingKilledMidwayLeavesAPlayableFile) {
    test::TempDir folder;
    const auto file = folder / "recording.mp4";
    const std::string filter = "--gtest_filter=ScreenRecorderChild.RecordsUntilKilled";
    const std::string variable = "VI_RECORD_UNTIL_KILLED=" + file.string();
    std::vector<char*> environment;
    for (char** e = environ; *e; ++e) environment.push_back(*e);
    environment.push_back(const_cast<char*>(variable.c_str()));
    environment.push_back(nullptr);
    char* arguments[] = {const_cast<char*>("/proc/self/exe"), const_cast<char*>(filter.c_str()), nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, arguments, environment.data()), 0);
    ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::exists(file); }, 10s));
    pauseFor(3s);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);

    const auto asset = media::Asset::open(file);
    EXPECT_GE(asset.durationSeconds(), 2.0);
    media::VideoTrackReader reader(asset);
    double lastFrame = -1;
    while (auto frame = reader.next()) lastFrame = frame->seconds();
    EXPECT_GE(lastFrame, 1.9);
}
