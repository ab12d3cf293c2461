#pragma once

#include "RecordCore/ExportOptions.h"
#include "RecordCore/Plan.h"

#include <filesystem>
#include <functional>

namespace vi {

// Turns one recording and its edit plan into one finished MP4 for one output format: H.264 video
// (High profile, BT.709) with one composed frame per output frame time, and AAC sound (48 kHz
// stereo) mixed from every sound track of the recording, silent where the plan speeds up.
namespace Exporter {

// Writes `to` through a temporary file in the same folder that replaces it only once complete:
// a failed export leaves any earlier file there as it was and nothing of its own. `progress`
// gets fractions in (0, 1] every 30 frames, on the export's writing thread. Blocks until done;
// run it off the GUI thread.
//
// Throws RecordError: writeFailed for fps or scale that are not finite and positive, a file
// that cannot be written (with the writer's reason), or an export that wrote no frame;
// noVideoTrack for a source without video. The media layer's MediaError passes through for a
// source that cannot be opened or read.
ExportStats exportVideo(const std::filesystem::path& source, const Plan& plan, const ExportOptions& options,
                        const std::filesystem::path& to, const std::function<void(double)>& progress = {});

// The average bit rate chosen when the options give none: 0.06 bits per pixel per frame.
int64_t automaticBitrate(double width, double height, double fps);

} // namespace Exporter

} // namespace vi
