#pragma once

#include "Platform/Media/PixelBuffer.h"
#include "Platform/Raster/Image.h"
#include "RecordCore/Compositor.h"
#include "RecordCore/Scene.h"

#include <functional>
#include <memory>
#include <mutex>

namespace vi {

// The preview's holder of the current scene and compositor, shared by the editor (which swaps
// them after an edit that keeps the timing) and the player's composing threads (which draw every
// frame through it). The lock guards only the references: a frame that has taken the old pair
// finishes with it while the next one uses the new pair.
class PreviewRenderer final {
public:
    PreviewRenderer(std::shared_ptr<const Scene> scene, std::shared_ptr<const Compositor> compositor);

    // Replaces both; a callback waiting for the next frame stays.
    void update(std::shared_ptr<const Scene> scene, std::shared_ptr<const Compositor> compositor);
    // Runs `callback` once, on the GUI thread, after the next frame is drawn; replaces one that
    // has not run yet.
    void onNextFrame(std::function<void()> callback);

    // Draws the frame of output time `seconds` into `destination` (BGRA, any size): the canvas
    // fitted inside and centred, unscaled when the sizes match. `source` and `camera` are BGRA
    // frames of the recording and of the camera (none when there is no camera frame).
    void render(const media::PixelBuffer& source, const media::PixelBuffer* camera, double seconds,
                const media::PixelBuffer& destination) const;

    std::shared_ptr<const Scene> scene() const;
    std::shared_ptr<const Compositor> compositor() const;

private:
    mutable std::mutex lock_;
    std::shared_ptr<const Scene> scene_;
    std::shared_ptr<const Compositor> compositor_;
    mutable std::function<void()> nextFrame_;
};

} // namespace vi
