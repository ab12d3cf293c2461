// Records a 1920x1080 display at 60 fps for 20 s while the picture changes every frame, with the
// system sound and the microphone, and compares it with ffmpeg's x11grab recording the same display
// and the same two sound inputs (libx264 ultrafast, AAC) in the same run.
//
// Run inside the test environment:  scripts/with-test-env build/release/bench/ScreenCaptureBenchmark
// and on two cores:  taskset -c 0,1 scripts/with-test-env build/release/bench/ScreenCaptureBenchmark

#include "Platform/Capture/Displays.h"
#include "Platform/Capture/FrameSchedule.h"
#include "Platform/Capture/HostClock.h"
#include "Platform/Capture/XConnection.h"
#include "Platform/Media/Asset.h"
#include "Platform/Media/VideoTrackReader.h"
#include "RecordCore/ScreenRecorder.h"
#include "Support/TestOutput.h"
#include "Support/TonePlayer.h"
#include "Support/X11TestWindow.h"

#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr int fps = 60;
constexpr int seconds = 20;
constexpr int width = 1920;
constexpr int height = 1080;

double cpuSeconds(const rusage& usage) {
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec * 1e-6;
}

// The animating child: a full-screen window whose colour and a moving bar change 60 times a second.
int animate(double duration) {
    vi::test::X11TestWindow canvas({{0, 0, width, height}, 0x000000, "Animation", "Animation", 0, true});
    vi::capture::FrameSchedule schedule(vi::capture::HostClock::nowNanoseconds(), fps);
    const double end = vi::capture::HostClock::now() + duration;
    for (int step = 0; vi::capture::HostClock::now() < end; ++step) {
        const auto shade = static_cast<std::uint32_t>((step * 7) % 200 + 30);
        canvas.fill((shade << 16) | ((255 - shade) << 8) | (shade / 2));
        canvas.fillRect({(step * 13) % (width - 200), (step * 7) % (height - 100), 200, 100}, 0xffffff);
        vi::capture::HostClock::sleepUntil(schedule.due());
        schedule.advance(vi::capture::HostClock::nowNanoseconds());
    }
    return 0;
}

pid_t spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    return child;
}

rusage waitFor(pid_t child) {
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return usage;
}

// Distinct pictures in a file, as ffmpeg's mpdecimate keeps them.
int distinctFrames(const std::string& file) {
    const std::string command = "ffmpeg -hide_banner -nostats -i '" + file +
                                "' -an -vf mpdecimate,showinfo -f null - 2>&1 | grep -c 'Parsed_showinfo.*n:'";
    FILE* pipe = popen(command.c_str(), "r");
    int count = 0;
    if (pipe) {
        if (std::fscanf(pipe, "%d", &count) != 1) count = 0;
        pclose(pipe);
    }
    return count;
}

struct Figures {
    int written = 0;
    int distinct = 0;
    double cpu = 0;
    double duration = 0;
    double videoEnd = 0;
    double audioEnd[2] = {0, 0};
};

Figures describe(const std::string& file, double cpu) {
    Figures f;
    f.cpu = cpu;
    const auto asset = vi::media::Asset::open(file);
    f.duration = asset.durationSeconds();
    vi::media::VideoTrackReader reader(asset, {0, vi::media::VideoOutput::native});
    while (auto frame = reader.next()) {
        ++f.written;
        f.videoEnd = frame->seconds();
    }
    const auto audio = asset.audioTracks();
    for (std::size_t i = 0; i < audio.size() && i < 2; ++i) f.audioEnd[i] = audio[i].duration.seconds();
    f.distinct = distinctFrames(file);
    return f;
}

// Milliseconds to open a file and show the frame at the middle (the editor's first seek), best of 5.
double openAndSeekMilliseconds(const std::string& file, double at) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const double start = vi::capture::HostClock::now();
        const auto asset = vi::media::Asset::open(file);
        vi::media::VideoTrackReader reader(asset, {0, vi::media::VideoOutput::native, at});
        if (!reader.next()) return -1;
        best = std::min(best, (vi::capture::HostClock::now() - start) * 1000);
    }
    return best;
}

void print(const char* who, const Figures& f, long dropped) {
    std::printf("%-8s frames written %5d  distinct %5d  dropped %4ld  CPU %6.2f s  duration %6.3f s  "
                "audio ends %6.3f / %6.3f s\n",
                who, f.written, f.distinct, dropped, f.cpu, f.duration, f.audioEnd[0], f.audioEnd[1]);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--animate") == 0) return animate(std::atof(argv[2]));
    if (!std::getenv("DISPLAY") || !std::getenv("PULSE_SERVER")) {
        std::fprintf(stderr, "run me inside scripts/with-test-env\n");
        return 1;
    }
    cpu_set_t cores;
    sched_getaffinity(0, sizeof cores, &cores);
    std::printf("Screen capture benchmark: %dx%d at %d fps for %d s, changing every frame, %d cores\n", width, height,
                fps, seconds, CPU_COUNT(&cores));
    vi::test::TempDir folder;
    const std::string self = "/proc/self/exe";
    const std::string animation = std::to_string(seconds + 4);

    // Warm the sound server's virtual outputs, which deliver their first sound after a moment.
    {
        vi::test::TonePlayer warm("vi_speakers", 440, 0.1, 2.5);
        warm.wait();
    }

    // Ours.
    Figures ours;
    long oursDropped = 0;
    {
        const pid_t animator = spawn({self, "--animate", animation});
        vi::test::TonePlayer speakers("vi_speakers", 440, 0.4, seconds + 3);
        vi::test::TonePlayer microphone("vi_mic_feed", 1000, 0.2, seconds + 3);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        vi::capture::XConnection x;
        const auto display = vi::capture::listDisplays(x).front();
        vi::ScreenRecorder recorder;
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        const auto file = (folder / "ours.mp4").string();
        recorder.start({vi::ScreenRecorder::Source::display(display.frame, {static_cast<std::uint32_t>(getpid())}), true,
                        true, std::nullopt, fps},
                       file);
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        recorder.stop();
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        for (const auto& line : recorder.diagnostics()) std::printf("  %s\n", line.c_str());
        for (const auto& line : recorder.diagnostics()) {
            long late = 0, dropped = 0, frames = 0;
            if (std::sscanf(line.c_str(), "Screen recording: %ld frames, %ld late ticks, %ld frames dropped", &frames,
                            &late, &dropped) == 3) {
                oursDropped = late + dropped;
            }
        }
        waitFor(animator);
        ours = describe(file, cpuSeconds(after) - cpuSeconds(before));

        // The finished recording (fragments under a complete index added at stop) against the same
        // media remuxed into a plain MP4.
        const auto plain = (folder / "plain.mp4").string();
        const std::string remux = "ffmpeg -hide_banner -loglevel error -y -i '" + file + "' -map 0 -c copy '" + plain + "'";
        if (std::system(remux.c_str()) == 0) {
            std::printf("open + seek to %d s: recording %.1f ms, plain MP4 %.1f ms\n", seconds / 2,
                        openAndSeekMilliseconds(file, seconds / 2.0), openAndSeekMilliseconds(plain, seconds / 2.0));
        }
    }

    // ffmpeg's x11grab with the same inputs.
    Figures theirs;
    {
        const pid_t animator = spawn({self, "--animate", animation});
        vi::test::TonePlayer speakers("vi_speakers", 440, 0.4, seconds + 3);
        vi::test::TonePlayer microphone("vi_mic_feed", 1000, 0.2, seconds + 3);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const auto file = (folder / "ffmpeg.mp4").string();
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        const pid_t ffmpeg = spawn({"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "x11grab",
                                    "-draw_mouse", "0", "-framerate", std::to_string(fps), "-video_size", size, "-i",
                                    std::getenv("DISPLAY"), "-f", "pulse", "-i", "vi_speakers.monitor", "-f", "pulse",
                                    "-i", "vi_mic", "-map", "0", "-map", "1", "-map", "2", "-c:v", "libx264",
                                    "-preset", "ultrafast", "-c:a", "aac", "-b:a", "192k", "-t",
                                    std::to_string(seconds), file});
        const rusage usage = waitFor(ffmpeg);
        waitFor(animator);
        theirs = describe(file, cpuSeconds(usage));
    }

    const long expected = static_cast<long>(seconds) * fps;
    print("ours", ours, oursDropped);
    print("ffmpeg", theirs, std::max(0L, expected - theirs.written));
    std::printf("CPU ratio ours/ffmpeg: %.2f (target <= 1.10)\n", ours.cpu / theirs.cpu);
    std::printf("distinct frames ratio ours/ffmpeg: %.2f\n", double(ours.distinct) / std::max(1, theirs.distinct));
    std::printf("sound against video at the end (ours): system %+.1f ms, microphone %+.1f ms (target |x| < 20 ms)\n",
                (ours.audioEnd[0] - ours.duration) * 1000, (ours.audioEnd[1] - ours.duration) * 1000);
    return 0;
}
