#include "thumbnail_budget.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "view_fit.h"
#include "whole_output.h"

namespace {

// What every line costs whatever its length (setting it up, binning it),
// in pixels: about 0.1 us, as a line of 4 pixels takes.
const double kLineCost = 4;

// The pixels along the longer axis of the line from a to b, points in the
// picture as x, y; nothing when an end is out of view (NaN).
double linePixels(const float *a, const float *b) {
    if (std::isnan(a[0]) || std::isnan(b[0])) return 0;
    return kLineCost + std::max(std::fabs(a[0] - b[0]), std::fabs(a[1] - b[1]));
}

// What the SIGXCPU handler needs, set before the limit.
char overrunLine[512];
std::size_t overrunLength = 0;
int overrunStatus = 1;

void onCpuTimeLimit(int) {
    ssize_t ignored = write(STDERR_FILENO, overrunLine, overrunLength);
    (void)ignored;
    abandonOutputWrite();
    _exit(overrunStatus);
}

}  // namespace

long long modelBytes(long long vertices, long long triangles) {
    return 20 * std::max(vertices, 0LL) + 12 * std::max(triangles, 0LL);
}

long long pictureBytes(int size) { return 10LL * size * size; }

double leastDrawingCost(Shape model, int size, double enough) {
    if (model == nullptr || numTriangles(model) <= 0) return 0;
    // Every vertex once, where the picture shows it, in pixels.
    std::vector<float> shown(2 * static_cast<std::size_t>(model->numVertices));
    for (long k = 0; k < model->numVertices; k++) {
        ViewedPoint point = viewPoint(model->vTable + 3 * k);
        shown[2 * k] = point.visible ? static_cast<float>(point.x * size / 2) : NAN;
        shown[2 * k + 1] = static_cast<float>(point.y * size / 2);
    }
    double cost = 0;
    for (long j = 0; j < numTriangles(model) && cost <= enough; j++) {
        const int *corners = model->tTable + 3 * j;
        const float *a = &shown[2 * static_cast<std::size_t>(corners[0])];
        const float *b = &shown[2 * static_cast<std::size_t>(corners[1])];
        const float *c = &shown[2 * static_cast<std::size_t>(corners[2])];
        cost += linePixels(a, b) + linePixels(b, c) + linePixels(c, a);
    }
    return cost;
}

bool limitCpuTime(int seconds, const std::string &line, int status, std::string *reason) {
    std::string text = line + "\n";
    overrunLength = std::min(text.size(), sizeof overrunLine);
    std::memcpy(overrunLine, text.data(), overrunLength);
    overrunStatus = status;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onCpuTimeLimit;
    sigemptyset(&action.sa_mask);
    struct rlimit limit;
    if (sigaction(SIGXCPU, &action, nullptr) != 0 || getrlimit(RLIMIT_CPU, &limit) != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    // The soft limit raises SIGXCPU; the hard one, above it, kills.
    rlim_t soft = std::min<rlim_t>(static_cast<rlim_t>(seconds), limit.rlim_cur);
    if (limit.rlim_max != RLIM_INFINITY && soft >= limit.rlim_max) soft = limit.rlim_max - 1;
    if (soft < 1) {
        *reason = "a CPU time limit of a second or less is already in force";
        return false;
    }
    limit.rlim_cur = soft;
    limit.rlim_max = std::min<rlim_t>(limit.rlim_max, soft + 1);
    if (setrlimit(RLIMIT_CPU, &limit) != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    return true;
}

namespace {

std::string mebibytes(long long bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB"; }

}  // namespace

bool takeData(ThumbnailBudget *budget, long long bytes, const std::string &what) {
    budget->dataBytes += bytes;
    if (!budget->limited || budget->dataBytes <= kThumbnailDataBytes) return true;
    std::fprintf(stderr, "bsv2-snapshot: %s %s (%s in all), over the thumbnail budget of %s of data\n", what.c_str(),
                 mebibytes(bytes).c_str(), mebibytes(budget->dataBytes).c_str(),
                 mebibytes(kThumbnailDataBytes).c_str());
    return false;
}

bool startBudget(int size, ThumbnailBudget *budget, int overrunStatus) {
    std::string reason;
    const std::string overrun = "bsv2-snapshot: gave up: more than the thumbnail budget of " +
                                std::to_string(kThumbnailCpuSeconds) + " s of CPU time";
    if (!limitCpuTime(kThumbnailCpuSeconds, overrun, overrunStatus, &reason)) {
        std::fprintf(stderr, "bsv2-snapshot: cannot limit its CPU time: %s\n", reason.c_str());
        return false;
    }
    std::string picture = std::to_string(size) + " x " + std::to_string(size);
    return takeData(budget, pictureBytes(size), "a " + picture + " picture needs");
}
