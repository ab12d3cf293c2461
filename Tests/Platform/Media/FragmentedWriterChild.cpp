// Writes a fragmented synthetic recording at 30 frames a second, with sound, until it is killed.
// Prints "ready" once the given number of frames has been handed to the writer.
//   FragmentedWriterChild <output.mp4> <frames before ready>

#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/AudioFormat.h"
#include "Support/SyntheticRecording.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    using namespace vi;
    if (argc != 3)
        return 2;
    const int readyAfter = std::atoi(argv[2]);
    test::RecordingSpec spec;
    spec.motionStart = 0;

    media::AssetWriter writer(argv[1], media::WriterOptions{.fragmented = true});
    const int video = writer.addVideoTrack({.width = spec.width, .height = spec.height, .averageBitRate = spec.bitRate,
                                            .expectedFrameRate = spec.fps, .maxKeyFrameInterval = 60});
    const int sound = writer.addAudioTrack();
    writer.start();
    writer.startSession(media::MediaTime{});
    const int samplesPerFrame = media::kAudioSampleRate / static_cast<int>(spec.fps);
    std::vector<int16_t> samples(static_cast<size_t>(samplesPerFrame) * media::kAudioChannels);
    for (int frame = 0;; ++frame) {
        const double t = frame / spec.fps;
        media::PixelBuffer picture = writer.pixelBufferPool(video).acquire();
        test::drawRecordingFrame(picture, spec, frame, t);
        writer.appendVideo(video, picture, media::MediaTime::fromSeconds(t));
        test::synthesize(test::SoundSpec::tone(440), static_cast<int64_t>(frame) * samplesPerFrame, samples);
        writer.appendAudio(sound, samples, media::MediaTime{static_cast<int64_t>(frame) * samplesPerFrame, media::kAudioSampleRate});
        if (frame + 1 == readyAfter) {
            std::puts("ready");
            std::fflush(stdout);
        }
        if (frame + 1 >= readyAfter) // keep writing, slowly, until the kill comes
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
