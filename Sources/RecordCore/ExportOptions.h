#pragma once

#include "RecordCore/InputLog.h"
#include "RecordCore/OutputFormat.h"
#include "RecordCore/Project.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>

namespace vi {

// The settings of one export.
struct ExportOptions {
    explicit ExportOptions(Project project_, std::optional<InputLog> log_ = std::nullopt, double fps_ = 60,
                           double scale_ = 1, std::optional<int64_t> bitrate_ = std::nullopt,
                           std::optional<std::filesystem::path> camera_ = std::nullopt)
        : project(std::move(project_)), log(std::move(log_)), fps(fps_), scale(scale_), bitrate(bitrate_),
          camera(std::move(camera_))
    {
    }

    Project project;                   // format, look, cards, captions, pointer and camera bubble
    std::optional<InputLog> log;       // redrawn pointer, click effects and the camera offset
    double fps = 60;                   // output frames a second
    double scale = 1;                  // canvas scale: 1 for 1080p, 2 for 4K
    std::optional<int64_t> bitrate;    // average video bits a second; none picks one by canvas and rate
    std::optional<std::filesystem::path> camera; // the camera recording drawn in the bubble

    // The project's format, 16:9 for a format text that names none.
    OutputFormat format() const { return outputFormat(project); }
};

// The result of one export.
struct ExportStats {
    int frames = 0;            // output frames written
    double outputSeconds = 0;  // the plan's output duration
    double wallSeconds = 0;    // from the start of the call to the end of writing
};

} // namespace vi
