#pragma once

#include "Platform/Capture/Geometry.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace vi::capture {

class ShmImage;
class XConnection;

// Keeps some windows (our own floating panels) out of a display recording. Every top-level window
// is redirected (automatically: the server still draws the screen as usual), so each keeps its
// picture in a pixmap of its own. The screen is grabbed as it is, and only where an excluded window
// covers it is the picture composed again, bottom to top, from the other windows' pixmaps. The cost
// is proportional to the excluded windows' area, and nothing ever flickers on the user's screen.
class ExcludedWindows {
public:
    // `capture` is the recorded part of the root window. Windows whose _NET_WM_PID is in `pids`, or
    // whose id (client or frame) is in `windows`, are left out. Call `watch` with events of the
    // connection so that the stacking is read again only when windows change.
    ExcludedWindows(std::shared_ptr<XConnection> connection, const PixelRect& capture,
                    std::vector<std::uint32_t> pids, std::vector<std::uint32_t> windows);
    ~ExcludedWindows();
    ExcludedWindows(const ExcludedWindows&) = delete;
    ExcludedWindows& operator=(const ExcludedWindows&) = delete;

    // Notes structure changes of the root's children; true when the event was one of them.
    bool watch(const xcb_generic_event_t* event);
    // The parts of the capture (root coordinates) that excluded windows cover now.
    const std::vector<PixelRect>& coveredAreas();
    // Recomposes the covered parts of `frame` (a grab of the capture rectangle).
    void paint(ShmImage& frame);

    static bool available(XConnection& connection);

private:
    struct TopLevel {
        xcb_window_t window = XCB_WINDOW_NONE;
        PixelRect rect; // including the border, root coordinates
        bool excluded = false;
    };

    void refresh();
    bool isExcluded(xcb_window_t window, std::uint32_t pid) const;
    xcb_pixmap_t pixmapOf(xcb_window_t window);
    void releasePixmaps();
    void compose(ShmImage& frame, const PixelRect& area);

    std::shared_ptr<XConnection> connection_;
    PixelRect capture_;
    std::vector<std::uint32_t> pids_;
    std::vector<std::uint32_t> windows_;
    std::unique_ptr<ShmImage> scratch_;
    bool stale_ = true;
    std::vector<TopLevel> stacking_; // viewable top-levels, bottom to top
    std::vector<PixelRect> covered_;
    std::unordered_map<xcb_window_t, xcb_pixmap_t> pixmaps_;
};

} // namespace vi::capture
