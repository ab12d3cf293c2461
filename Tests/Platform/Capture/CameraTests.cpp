#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/V4l2Camera.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vi::capture;

// These machines have no camera, so the path that runs here for real is the one without.
TEST(V4l2Camera, ListsOnlyVideoCaptureDevicesAndHasNoDefaultWithoutThem) {
    const auto devices = V4l2Camera::list();
    for (const auto& device : devices) EXPECT_TRUE(std::filesystem::exists(device.path)) << device.path;
    if (devices.empty()) {
        EXPECT_EQ(V4l2Camera::openDefault(), nullptr);
    } else {
        ASSERT_NE(V4l2Camera::openDefault(), nullptr);
        EXPECT_EQ(V4l2Camera::openDefault()->name(), devices.front().name);
    }
}

TEST(V4l2Camera, ADeviceThatIsNotACameraGivesAClearErrorAndNoThread) {
    struct Case {
        const char* path;
        const char* says;
    };
    const Case cases[] = {{"/dev/null", "is not a camera"}, {"/dev/vi-no-such-camera", "No such file"}};
    for (const auto& c : cases) {
        V4l2Camera camera({c.path, "Nothing"});
        try {
            camera.start({});
            FAIL() << c.path;
        } catch (const CaptureError& error) {
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
        }
        camera.stop(); // harmless after a failed start
    }
}
