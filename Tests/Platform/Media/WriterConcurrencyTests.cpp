#include "MediaTestReading.h"
#include "Platform/Media/AssetWriter.h"
#include "Support/FrameBarcode.h"
#include "Support/SyntheticSound.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <thread>

namespace vi::media {
namespace {

// The exporter and the recorders feed video and sound from different threads at once, and hand
// finished pictures to other threads, which release them while new ones are taken.
TEST(WriterConcurrency, VideoAndSoundFedFromTwoThreadsMakeOneGoodFile)
{
    test::TempDir dir;
    AssetWriter writer(dir / "both.mp4");
    const int video = writer.addVideoTrack({.width = 160, .height = 90, .expectedFrameRate = 30});
    const int sound = writer.addAudioTrack();
    writer.start();
    writer.startSession(MediaTime{});
    constexpr int kFrames = 45;

    std::thread videoFeeder([&] {
        std::vector<PixelBuffer> releasedElsewhere;
        std::thread releaser;
        for (int i = 0; i < kFrames; ++i) {
            PixelBuffer picture = writer.pixelBufferPool(video).acquire();
            std::fill_n(picture.data(0), picture.stride(0) * picture.height(), uint8_t{60});
            test::FrameBarcode::draw(picture, i);
            writer.appendVideo(video, picture, MediaTime{i, 30});
            releasedElsewhere.push_back(std::move(picture));
            if (releasedElsewhere.size() == 5) {
                if (releaser.joinable())
                    releaser.join();
                releaser = std::thread([batch = std::move(releasedElsewhere)]() mutable { batch.clear(); });
                releasedElsewhere.clear();
            }
        }
        if (releaser.joinable())
            releaser.join();
    });
    std::thread soundFeeder([&] {
        std::vector<int16_t> samples(1600 * 2);
        for (int i = 0; i < kFrames; ++i) {
            test::synthesize(test::SoundSpec::tone(440), int64_t{i} * 1600, samples);
            writer.appendAudio(sound, samples, MediaTime{int64_t{i} * 1600, 48000});
        }
    });
    videoFeeder.join();
    soundFeeder.join();
    writer.finish(MediaTime{kFrames, 30});

    const Asset asset = Asset::open(dir / "both.mp4");
    const auto frames = test::readAllFrames(asset);
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i)
        EXPECT_EQ(frames[static_cast<size_t>(i)].index, i);
    EXPECT_NEAR(test::measuredFrequency(test::readAllSound(asset), 0.1, 1.4), 440, 2);
}

} // namespace
} // namespace vi::media
