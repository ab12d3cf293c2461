#pragma once

#include "Platform/Media/PixelBuffer.h"

#include <functional>
#include <utility>
#include <vector>

namespace vi::media {

// What a player hands its compositor for one output frame: the frames of the required tracks
// at that output time, the time, and a destination picture of the render size.
struct VideoCompositionRequest {
    double seconds = 0; // output time
    std::vector<std::pair<int, PixelBuffer>> frames; // by track ID; a track empty at this time is absent
    PixelBuffer destination; // BGRA, render size, held by this request alone

    // The frame of a track at this time, or nothing when the track shows none.
    const PixelBuffer* frame(int trackID) const {
        for (const auto& [id, picture] : frames)
            if (id == trackID) return &picture;
        return nullptr;
    }
};

// How a player turns a composition's video tracks into the frames it shows: every output frame
// is made by `compose`, on the player's worker threads (several at once).
struct VideoComposition {
    int renderWidth = 1920;
    int renderHeight = 1080;
    double frameRate = 60;
    std::vector<int> requiredTrackIDs;
    // The composed frame (usually the request's destination), or an empty buffer when the frame
    // could not be made; an exception counts the same. Such a frame is not shown.
    std::function<PixelBuffer(VideoCompositionRequest&)> compose;
};

} // namespace vi::media
