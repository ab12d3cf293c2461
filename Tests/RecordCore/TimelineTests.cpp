#include "Platform/Media/Asset.h"
#include "RecordCore/Timeline.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

namespace vi {
namespace {

using media::TrackKind;
using Reason = SpeedSegment::Reason;

// One stretch of a composition track: output [from, to), source [sourceFrom, sourceTo), or empty
// when sourceFrom is negative.
struct Stretch {
    double from, to, sourceFrom, sourceTo;
};
constexpr double empty = -1;

struct Case {
    const char* name;
    std::vector<SpeedSegment> segments;
    std::optional<double> cameraOffset;
    std::vector<Stretch> video;
    std::vector<Stretch> sound;
    std::vector<Stretch> camera;
};

void expectStretches(const media::CompositionTrack& track, const std::vector<Stretch>& expected, const char* what)
{
    SCOPED_TRACE(what);
    ASSERT_EQ(track.segments().size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        const media::CompositionSegment& s = track.segments()[k];
        EXPECT_NEAR(s.target.start.seconds(), expected[k].from, 1e-4) << k;
        EXPECT_NEAR(s.target.end().seconds(), expected[k].to, 1e-4) << k;
        EXPECT_EQ(s.isEmpty(), expected[k].sourceFrom == empty) << k;
        if (s.source && expected[k].sourceFrom != empty) {
            EXPECT_NEAR(s.source->start.seconds(), expected[k].sourceFrom, 1e-4) << k;
            EXPECT_NEAR(s.source->end().seconds(), expected[k].sourceTo, 1e-4) << k;
        }
    }
}

class TimelineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new test::TempDir;
        test::RecordingSpec spec;
        spec.duration = 4;
        spec.sounds = {test::SoundSpec::clicks(0.5)};
        screen = new media::Asset(media::Asset::open(test::makeRecording(*dir / "screen.mp4", spec).path));
        camera = new media::Asset(media::Asset::open(test::makeCameraClip(*dir / "camera.mp4", 3).path));
    }
    static void TearDownTestSuite()
    {
        delete camera;
        delete screen;
        delete dir;
    }
    static Plan planOf(std::vector<SpeedSegment> segments)
    {
        Plan plan;
        plan.segments = std::move(segments);
        return plan;
    }
    static test::TempDir* dir;
    static media::Asset* screen; // 4 s, one sound track
    static media::Asset* camera; // 3 s, no sound
};
test::TempDir* TimelineTest::dir = nullptr;
media::Asset* TimelineTest::screen = nullptr;
media::Asset* TimelineTest::camera = nullptr;

TEST_F(TimelineTest, LaysSegmentsOnOutputTimeWithSilentSpeedUpsAndACameraInStep)
{
    const std::vector<Case> cases{
        {"one sped-up segment",
         {{0, 4, 4, Reason::idle}}, std::nullopt,
         {{0, 1, 0, 4}}, {{0, 1, empty, 0}}, {}},
        {"1x then 2x",
         {{0, 2, 1, Reason::normal}, {2, 4, 2, Reason::idle}}, 0.0,
         {{0, 2, 0, 2}, {2, 3, 2, 4}}, {{0, 2, 0, 2}, {2, 3, empty, 0}},
         {{0, 2, 0, 2}, {2, 2.5, 2, 3}, {2.5, 3, empty, 0}}},
        {"a cut between kept stretches",
         {{0, 1, 1, Reason::normal}, {1, 2, 1, Reason::cut}, {2, 4, 1, Reason::normal}}, 0.0,
         {{0, 1, 0, 1}, {1, 3, 2, 4}}, {{0, 1, 0, 1}, {1, 3, 2, 4}},
         {{0, 1, 0, 1}, {1, 2, 2, 3}, {2, 3, empty, 0}}},
        {"clipped at the recording's end; the camera walk still advances",
         {{0, 3, 1, Reason::normal}, {3, 6, 1, Reason::normal}, {6, 8, 2, Reason::idle}, {8, 9, 1, Reason::normal}}, -0.5,
         {{0, 3, 0, 3}, {3, 4, 3, 4}}, {{0, 3, 0, 3}, {3, 4, 3, 4}},
         {{0, 2.5, 0.5, 3}, {2.5, 3, empty, 0}, {3, 6, empty, 0}, {6, 7, empty, 0}, {7, 8, empty, 0}}},
        {"camera started later: a leading gap",
         {{0, 4, 1, Reason::normal}}, 1.0,
         {{0, 4, 0, 4}}, {{0, 4, 0, 4}},
         {{0, 1, empty, 0}, {1, 4, 0, 3}}},
        {"camera pieces of 0.02 s or less are left out",
         {{0, 2.99, 1, Reason::normal}, {2.99, 3.0, 1, Reason::normal}, {3.0, 4, 1, Reason::normal}}, 0.0,
         {{0, 2.99, 0, 2.99}, {2.99, 3, 2.99, 3}, {3, 4, 3, 4}}, {{0, 2.99, 0, 2.99}, {2.99, 3, 2.99, 3}, {3, 4, 3, 4}},
         {{0, 2.99, 0, 2.99}, {2.99, 3, empty, 0}, {3, 4, empty, 0}}},
        {"everything cut",
         {{0, 4, 1, Reason::cut}}, 0.0,
         {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<Timeline::CameraInput> cameraInput;
        if (c.cameraOffset)
            cameraInput = Timeline::CameraInput{*camera, *c.cameraOffset};
        const media::Composition composition = Timeline::composition(*screen, planOf(c.segments), true, cameraInput);
        const auto videos = composition.tracks(TrackKind::video);
        const auto sounds = composition.tracks(TrackKind::audio);
        ASSERT_EQ(videos.size(), c.cameraOffset ? 2u : 1u);
        ASSERT_EQ(sounds.size(), 1u);
        expectStretches(*videos[0], c.video, "recording video");
        expectStretches(*sounds[0], c.sound, "sound");
        if (c.cameraOffset)
            expectStretches(*videos[1], c.camera, "camera");
        // Readers find the tracks by kind and order: the recording first, the camera second.
        EXPECT_LT(videos[0]->trackID(), composition.tracks(TrackKind::audio)[0]->trackID());
    }
}

TEST_F(TimelineTest, WithoutVideoOnlySoundTracksAreMade)
{
    const Plan plan = planOf({{0, 3, 1, Reason::normal}});
    const media::Composition sound = Timeline::composition(*screen, plan, false);
    EXPECT_TRUE(sound.tracks(TrackKind::video).empty());
    ASSERT_EQ(sound.tracks(TrackKind::audio).size(), 1u);
    // A source without sound and no video asked for: nothing at all.
    EXPECT_TRUE(Timeline::composition(*camera, plan, false).tracks(TrackKind::audio).empty());
    EXPECT_EQ(Timeline::composition(*camera, plan, false).duration().value, 0);
}

} // namespace
} // namespace vi
