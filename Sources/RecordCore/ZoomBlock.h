#pragma once

#include "RecordCore/Uuid.h"

#include <nlohmann/json_fwd.hpp>

namespace vi {

// A stretch of source time during which the view is zoomed about (x, y), in normalised
// coordinates. Times are stored as given.
struct ZoomBlock {
    Uuid id;
    double start = 0;
    double end = 0;
    double x = 0.5;
    double y = 0.5;
    double zoom = 1;

    // A new block with a fresh random id.
    ZoomBlock(double start_, double end_, double x_, double y_, double zoom_)
        : id(Uuid::random()), start(start_), end(end_), x(x_), y(y_), zoom(zoom_) {}
    ZoomBlock(Uuid id_, double start_, double end_, double x_, double y_, double zoom_)
        : id(id_), start(start_), end(end_), x(x_), y(y_), zoom(zoom_) {}

    bool operator==(const ZoomBlock&) const = default;
};

// JSON form: {"id", "start", "end", "x", "y", "zoom"}, all required.
void to_json(nlohmann::json& j, const ZoomBlock& b);
ZoomBlock zoomBlockFromJson(const nlohmann::json& j);

} // namespace vi
