#pragma once

#include "RecordCore/NRect.h"

namespace vi {

// A critically damped spring that pulls the view's centre and its logarithmic zoom toward a
// framing target. Each step is the exact solution of q'' = -2w q' - w^2 (q - goal) over the
// interval, so the motion is the same at any frame rate and never overshoots from rest.
struct Camera {
    double stiffness = 0; // the spring's rate w, 1/s
    double x = 0.5;       // centre of the view, normalised source coordinates
    double y = 0.5;
    double z = 0;         // ln(baseW / view width)
    double vx = 0;        // velocities per second
    double vy = 0;
    double vz = 0;
    double baseW = 1;     // the plan's unzoomed view size
    double baseH = 1;

    Camera(const NRect& start, double baseW, double baseH, double stiffness);

    // Advances the spring by `dt` seconds toward `target` and returns the new view. Only the
    // target's centre and width are used: the height follows from the zoom and the base size.
    NRect step(const NRect& target, double dt);
    // The view of the present state, kept inside the source.
    NRect current() const;

    // The view of a zoom (relative to the base size) about a centre: as large as the base view
    // divided by the zoom, at most the whole source, and moved inside the source.
    static NRect framed(double centreX, double centreY, double zoom, double baseW, double baseH);

    // A target in the spring's own coordinates, and the per-step decay of an interval. Callers
    // that take many equal steps toward few targets compute these once; the results are the same
    // as `step`'s.
    struct Goal {
        double x, y, z;
    };
    Goal goal(const NRect& target) const;
    static double decay(double stiffness, double dt);
    void advance(const Goal& goal, double dt, double decay);
};

} // namespace vi
