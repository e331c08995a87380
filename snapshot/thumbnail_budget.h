// The fixed cost a thumbnail may take. A file manager runs the thumbnailer
// on every BSV2 file it shows, unattended, and waits for it; drawing costs
// the software rasterizer about 20 ns a pixel of line, so a file of a few
// megabytes can keep it busy for minutes. The budget is weighed before the
// work wherever it can be (the data from the counts, the drawing from the
// lines' lengths), and a CPU-time limit enforces it where it cannot.
#ifndef SNAPSHOT_THUMBNAIL_BUDGET_H
#define SNAPSHOT_THUMBNAIL_BUDGET_H

#include <string>

#include "shape.h"

// CPU time, counted over every thread (the rasterizer's too).
const int kThumbnailCpuSeconds = 5;
// What the snapshot allocates for its data: the models' tables, the
// projected vertices of the estimate, the picture and its copies. The
// drawing itself holds a bounded slice at a time (picture.h).
const long long kThumbnailDataBytes = 256LL << 20;
// The drawing, in pixels of lines (leastDrawingCost): about 22 ns of CPU
// time each on the 2-core machine this was measured on, so about 4.5 s,
// leaving the rest of the CPU budget for reading the file and setting up.
const double kThumbnailLinePixels = 200e6;

// The bytes the snapshot holds for a model of these counts: its tables (12
// bytes a vertex and 12 a triangle) and the estimate's projected vertices
// (8 bytes a vertex). A negative triangle count has no table.
long long modelBytes(long long vertices, long long triangles);

// The bytes of a size x size picture: the offscreen one (4 bytes a pixel)
// and the two copies read back (3 bytes a pixel each).
long long pictureBytes(int size);

// A lower bound on the cost of drawing `model`'s outlines (three lines a
// triangle) into a size x size picture, in pixels of lines: a line whose
// two ends are in view counts the pixels along its longer axis, plus 4 for
// the work every line takes; a line with an end out of view counts nothing,
// since it may be clipped away. Stops once past `enough` and returns what it
// has then. A null model costs nothing.
double leastDrawingCost(Shape model, int size, double enough);

// Limits the process to `seconds` of CPU time. Past it, SIGXCPU's handler
// writes `line` (with a newline) to standard error, undoes the output's
// write under way (abandonOutputWrite) and exits with `status`; should that
// not happen, the hard limit a second later kills the process.
//   Returns true once set; false, with the reason in *reason, when the limit
//   cannot be set (or a lower one is already in force, in which case the
//   kernel's own signal would end the process silently).
bool limitCpuTime(int seconds, const std::string &line, int status, std::string *reason);

// A run's budget, when there is one, and what it has taken so far.
struct ThumbnailBudget {
    bool limited = false;  // --thumbnail
    long long dataBytes = 0;
    double linePixels = 0;
};

// Adds `bytes` of data to the budget; true while within it (always, when
// not limited). Past it, false, with one line on standard error naming
// `what` needs the bytes.
bool takeData(ThumbnailBudget *budget, long long bytes, const std::string &what);

// Sets a limited budget going: the CPU-time limit (past it, the process
// exits with `overrunStatus`), then the size x size picture's bytes. False,
// with one line on standard error, when the limit cannot be set or the
// picture alone is over the budget.
bool startBudget(int size, ThumbnailBudget *budget, int overrunStatus);

#endif
