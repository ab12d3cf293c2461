#pragma once

#include "Platform/Capture/Geometry.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

namespace vi::capture {

class XConnection;

// Tells a changed screen from an idle one: the X server reports drawing into a drawable, and
// between two frames we ask whether anything was drawn inside the part we record.
class DamageTracker {
public:
    // Watches `drawable`; `interest` is the recorded part in the drawable's coordinates.
    DamageTracker(XConnection& connection, xcb_drawable_t drawable, const PixelRect& interest);
    ~DamageTracker();
    DamageTracker(const DamageTracker&) = delete;
    DamageTracker& operator=(const DamageTracker&) = delete;

    // Takes a damage event for this drawable; false for any other event.
    bool handle(const xcb_generic_event_t* event);
    // Areas whose changes do not count (our own windows, which are painted over).
    void setIgnored(std::vector<PixelRect> areas) { ignored_ = std::move(areas); }
    // Whether something that counts changed since the last call; clears the server's record,
    // so drawing that happens after this call shows up in the next one.
    bool takeChange();

    static bool available(XConnection& connection);

private:
    bool counts(const PixelRect& area) const;

    XConnection& connection_;
    xcb_damage_damage_t damage_ = 0;
    PixelRect interest_;
    std::vector<PixelRect> ignored_;
    std::uint8_t notifyEvent_ = 0;
    bool notified_ = false;
    bool changed_ = false;
};

} // namespace vi::capture
