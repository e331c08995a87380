#include "view_fit.h"

#include <algorithm>
#include <cmath>

#include "view_setup.h"

namespace {

struct Vec3 {
    double x, y, z;
};

Vec3 minus(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 normalised(Vec3 a) {
    double length = std::sqrt(dot(a, a));
    return {a.x / length, a.y / length, a.z / length};
}

// The viewer's camera and projection.
const Vec3 kEye = {kEyeX, kEyeY, kEyeZ};
const Vec3 kTarget = {kTargetX, kTargetY, kTargetZ};
const Vec3 kUp = {kUpX, kUpY, kUpZ};
const double kYScale = kModelYScale;

ViewedPoint viewWorldPoint(Vec3 world) {
    // The camera's frame, as gluLookAt builds it.
    Vec3 forward = normalised(minus(kTarget, kEye));
    Vec3 side = normalised(cross(forward, kUp));
    Vec3 up = cross(side, forward);
    Vec3 relative = minus(world, kEye);
    double eyeX = dot(side, relative), eyeY = dot(up, relative), eyeZ = -dot(forward, relative);
    // gluPerspective.
    double focal = 1 / std::tan(kFieldOfViewDegrees * M_PI / 360);
    double clipX = focal / kAspect * eyeX;
    double clipY = focal * eyeY;
    double clipZ = (kFar + kNear) / (kNear - kFar) * eyeZ + 2 * kFar * kNear / (kNear - kFar);
    double clipW = -eyeZ;
    ViewedPoint viewed = {false, 0, 0, 0};
    if (clipW <= 0) return viewed;
    viewed.x = clipX / clipW;
    viewed.y = clipY / clipW;
    viewed.z = clipZ / clipW;
    viewed.visible = std::fabs(viewed.x) <= 1 && std::fabs(viewed.y) <= 1 && std::fabs(viewed.z) <= 1;
    return viewed;
}

Vec3 vertexAt(const Shape_Typ &shape, long k) {
    const float *v = shape.vTable + 3 * k;
    return {v[0], v[1], v[2]};
}

// Whether every vertex, scaled by `scale` about `centre` and moved to the
// target, is in view within `fill` of the window.
bool fitsAtScale(const Shape_Typ &shape, Vec3 centre, double scale, double fill) {
    for (long k = 0; k < shape.numVertices; k++) {
        Vec3 moved = minus(vertexAt(shape, k), centre);
        Vec3 world = {kTarget.x + scale * moved.x, kYScale * (kTarget.y + scale * moved.y),
                      kTarget.z + scale * moved.z};
        ViewedPoint viewed = viewWorldPoint(world);
        if (!viewed.visible || std::fabs(viewed.x) > fill || std::fabs(viewed.y) > fill) return false;
    }
    return true;
}

}  // namespace

ViewedPoint viewPoint(const float point[3]) { return viewWorldPoint({point[0], kYScale * point[1], point[2]}); }

bool fitIntoView(Shape shape, double fill) {
    if (shape == nullptr || shape->numVertices <= 0) return false;
    Vec3 low = vertexAt(*shape, 0), high = low;
    for (long k = 0; k < shape->numVertices; k++) {
        Vec3 v = vertexAt(*shape, k);
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return false;
        low = {std::min(low.x, v.x), std::min(low.y, v.y), std::min(low.z, v.z)};
        high = {std::max(high.x, v.x), std::max(high.y, v.y), std::max(high.z, v.z)};
    }
    Vec3 centre = {(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
    double extent = std::max({high.x - low.x, high.y - low.y, high.z - low.z});

    double scale = 1;
    if (extent > 0) {
        // Every vertex is at the target when the scale is near zero, so a
        // small scale fits; double until one does not, then bisect between.
        double fitting = 1e-9 / extent, failing = 1 / extent;
        while (fitsAtScale(*shape, centre, failing, fill) && failing < 1e30) {
            fitting = failing;
            failing *= 2;
        }
        for (int step = 0; step < 60; step++) {
            double middle = std::sqrt(fitting * failing);
            (fitsAtScale(*shape, centre, middle, fill) ? fitting : failing) = middle;
        }
        scale = fitting;
    }
    for (long k = 0; k < shape->numVertices; k++) {
        float *v = shape->vTable + 3 * k;
        v[0] = static_cast<float>(kTarget.x + scale * (v[0] - centre.x));
        v[1] = static_cast<float>(kTarget.y + scale * (v[1] - centre.y));
        v[2] = static_cast<float>(kTarget.z + scale * (v[2] - centre.z));
    }
    return true;
}
