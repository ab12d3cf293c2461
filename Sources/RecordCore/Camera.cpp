#include "RecordCore/Camera.h"

#include <algorithm>
#include <cmath>

namespace vi {

namespace {

// One coordinate of the critically damped spring over an interval of `dt` with e = exp(-w dt).
void spring(double& position, double& velocity, double goal, double omega, double dt, double e) {
    const double d = position - goal;
    const double k = velocity + omega * d;
    position = goal + (d + k * dt) * e;
    velocity = (velocity - omega * k * dt) * e;
}

// Raised to at least 0, then lowered to at most 1 - size, so the view stays inside the source.
double keptInside(double origin, double size) { return std::min(std::max(origin, 0.0), 1.0 - size); }

} // namespace

Camera::Camera(const NRect& start, double baseW_, double baseH_, double stiffness_)
    : stiffness(stiffness_),
      x(start.x + start.w * 0.5),
      y(start.y + start.h * 0.5),
      z(std::log(baseW_ / start.w)),
      baseW(baseW_),
      baseH(baseH_) {}

Camera::Goal Camera::goal(const NRect& target) const {
    return {target.x + target.w * 0.5, target.y + target.h * 0.5, std::log(baseW / target.w)};
}

double Camera::decay(double stiffness, double dt) { return std::exp(-stiffness * dt); }

void Camera::advance(const Goal& g, double dt, double e) {
    spring(x, vx, g.x, stiffness, dt, e);
    spring(y, vy, g.y, stiffness, dt, e);
    spring(z, vz, g.z, stiffness, dt, e);
}

NRect Camera::step(const NRect& target, double dt) {
    advance(goal(target), dt, decay(stiffness, dt));
    return current();
}

NRect Camera::current() const { return framed(x, y, std::exp(z), baseW, baseH); }

NRect Camera::framed(double centreX, double centreY, double zoom, double baseW_, double baseH_) {
    const double viewW = baseW_ / zoom;
    const double viewH = baseH_ / zoom;
    const double w = std::min(1.0, viewW);
    const double h = std::min(1.0, viewH);
    return {keptInside(centreX - viewW * 0.5, w), keptInside(centreY - viewH * 0.5, h), w, h};
}

} // namespace vi
