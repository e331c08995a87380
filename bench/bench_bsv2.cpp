// Speed of the BSV2 reader and writer against the baseline a user would
// otherwise write (fscanf and fprintf with the format's own patterns), and
// the peak memory of a process that only reads a large file.
//
//   bench_bsv2 [--runs N] [--vertices V] [--triangles T] [--scale S]
//   bench_bsv2 --shape-only FILE [--vertices V] [--triangles T]
//
// Makes a shape of random coordinates in [-10, 10] and random triangles,
// writes it, then times each reader and writer N times (default 11; median of
// N) in this one run and prints a table with the ratios. Then the reader
// with one thread and with two against `wc -l` and `cat` on that file, and
// on one S times as large (default 10; 0 for none), made for it and deleted
// afterwards. With --shape-only it writes the shape to FILE and stops, for
// the other benchmarks.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "baseline_bsv2.h"
#include "bench_common.h"
#include "floor_bench.h"
#include "shape.h"

namespace {

std::string readWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long fileSize(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

double timeWrite(int (*writer)(Shape, const char *), Shape shape, const std::string &path) {
    // Each write makes a new file: truncating the last one costs the file
    // system more than the writing and would swamp the comparison.
    std::remove(path.c_str());
    double start = secondsNow();
    int result = writer(shape, path.c_str());
    double seconds = secondsNow() - start;
    if (result != 0) fail("a writer failed");
    return seconds;
}

// Peak resident memory, in KiB, of bsv2-info reading `path`, as
// /usr/bin/time reports it. (This process's own rusage would not do: a
// child started from a large process inherits its peak.) -1 when
// /usr/bin/time is missing.
long peakKibOfReadingProcess(const std::string &path, const std::string &scratchDir) {
    if (access("/usr/bin/time", X_OK) != 0) return -1;
    std::string report = scratchDir + "/peak.txt";
    std::string command = "/usr/bin/time -f %M -o '" + report + "' '" BSV2_INFO_PATH "' '" + path + "' >/dev/null";
    if (std::system(command.c_str()) != 0) fail("bsv2-info could not read the file");
    long kib = -1;
    if (std::sscanf(readWholeFile(report).c_str(), "%ld", &kib) != 1) fail("no report from /usr/bin/time");
    std::remove(report.c_str());
    return kib;
}

// Random coordinates in [-10, 10] and random triangles, always the same.
Shape randomShape(int numVertices, int numTris) {
    std::mt19937 random(42);
    std::uniform_real_distribution<float> coordinate(-10.0f, 10.0f);
    std::uniform_int_distribution<int> vertex(0, numVertices - 1);
    Shape shape = createShape(numVertices, numTris);
    if (shape == nullptr || !(shape->vTable != nullptr && (numTris == 0 || shape->tTable != nullptr)))
        fail("no memory for the benchmark's shape");
    for (long i = 0; i < 3L * numVertices; i++) shape->vTable[i] = coordinate(random);
    for (long i = 0; i < 3L * numTris; i++) shape->tTable[i] = vertex(random);
    return shape;
}

}  // namespace

int main(int argc, char **argv) {
    int runs = 11, numVertices = 1000000, numTris = 2000000, scale = 10;
    const char *shapeOnly = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--shape-only") == 0)
            shapeOnly = argv[i + 1];
        else if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--vertices") == 0)
            numVertices = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--triangles") == 0)
            numTris = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--scale") == 0)
            scale = std::atoi(argv[i + 1]);
        else
            fail("usage: bench_bsv2 [--runs N | --shape-only FILE] [--vertices V] [--triangles T] [--scale S]");
    }
    if (runs < 1 || numVertices < 1 || numTris < 0 || scale < 0) fail("counts must be positive");
    if (static_cast<long>(numVertices) * scale > 200000000 || static_cast<long>(numTris) * scale > 200000000)
        fail("the scaled file would be too large");

    const char *tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/bsv2-bench-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) fail("cannot make a scratch directory");
    std::string input = dir + "/input.bsv2", output = dir + "/output.bsv2";

    Shape shape = randomShape(numVertices, numTris);
    if (shapeOnly != nullptr) {
        rmdir(dir.c_str());
        int status = writeShapeToFile(shape, shapeOnly);
        destroyShape(shape);
        return status == 0 ? 0 : 1;
    }
    if (writeShapeToFile(shape, input.c_str()) != 0) fail("cannot write the benchmark file");
    double megabytes = static_cast<double>(fileSize(input)) / 1e6;

    // Warm the page cache so that every reader reads from memory alike.
    if (readWholeFile(input).empty()) fail("cannot read the benchmark file back");

    // The runs alternate between baseline and library, so that both meet
    // whatever else the machine is doing alike.
    std::vector<double> baselineReads, libraryReads, baselineWrites, libraryWrites;
    for (int i = 0; i < runs; i++) {
        baselineReads.push_back(timeRead(baselineReadShape, input));
        libraryReads.push_back(timeRead(readShapeFromFile, input));
    }
    std::string baselineBytes;
    for (int i = 0; i < runs; i++) {
        baselineWrites.push_back(timeWrite(baselineWriteShape, shape, output));
        if (i == 0) baselineBytes = readWholeFile(output);
        libraryWrites.push_back(timeWrite(writeShapeToFile, shape, output));
        if (readWholeFile(output) != baselineBytes) fail("the two writers wrote different bytes");
    }
    double baselineRead = median(baselineReads), libraryRead = median(libraryReads);
    double baselineWrite = median(baselineWrites), libraryWrite = median(libraryWrites);

    std::string tiny = dir + "/tiny.bsv2";
    std::FILE *tinyFile = std::fopen(tiny.c_str(), "w");
    if (tinyFile == nullptr) fail("cannot write a tiny file");
    std::fputs("BSV2\n3\n1\n0 0 0\n1 0 0\n0 1 0\n0 1 2\n", tinyFile);
    std::fclose(tinyFile);
    long peakLarge = peakKibOfReadingProcess(input, dir);
    long peakTiny = peakKibOfReadingProcess(tiny, dir);
    double tablesMib = 12.0 * (static_cast<double>(numVertices) + numTris) / (1024 * 1024);

    std::printf("BSV2 file of %d vertices and %d triangles: %.1f MB; median of %d runs each\n\n", numVertices, numTris,
                megabytes, runs);
    std::printf("%-36s %10s %10s\n", "", "median s", "MB/s");
    std::printf("%-36s %10.3f %10.1f\n", "baseline reader (fscanf)", baselineRead, megabytes / baselineRead);
    std::printf("%-36s %10.3f %10.1f\n", "library reader", libraryRead, megabytes / libraryRead);
    std::printf("%-36s %10.3f %10.1f\n", "baseline writer (fprintf)", baselineWrite, megabytes / baselineWrite);
    std::printf("%-36s %10.3f %10.1f\n", "library writer", libraryWrite, megabytes / libraryWrite);
    std::printf("\nreader speed-up: %5.1fx (target 12x)\n", baselineRead / libraryRead);
    std::printf("writer speed-up: %5.1fx (target 8x)\n", baselineWrite / libraryWrite);
    if (peakLarge < 0) {
        std::printf("\npeak memory: not measured, /usr/bin/time is missing (Debian package time)\n");
    } else {
        std::printf(
            "\npeak memory of bsv2-info reading the file: %.1f MiB; shape tables %.1f MiB; "
            "difference %.1f MiB (target within 2 MiB)\n",
            peakLarge / 1024.0, tablesMib, peakLarge / 1024.0 - tablesMib);
        std::printf("peak memory of bsv2-info reading a one-triangle file: %.1f MiB\n", peakTiny / 1024.0);
    }

    destroyShape(shape);
    std::remove(output.c_str());
    std::remove(tiny.c_str());

    std::printf("\nThe reader against the floor: median of %d runs each, alternating\n", runs);
    std::printf("BSV2 file of %d vertices and %d triangles: %.1f MB\n", numVertices, numTris, megabytes);
    printAgainstTheFloor(input, megabytes, runs);
    std::remove(input.c_str());
    if (scale > 0) {
        // Made for these runs and deleted after them.
        std::string large = dir + "/large.bsv2";
        Shape scaled = randomShape(numVertices * scale, numTris * scale);
        if (writeShapeToFile(scaled, large.c_str()) != 0) fail("cannot write the scaled file");
        destroyShape(scaled);
        double largeMegabytes = static_cast<double>(fileSize(large)) / 1e6;
        int largeRuns = std::max(3, runs / 2);
        std::printf("\nBSV2 file of %d vertices and %d triangles (%dx): %.1f MB; median of %d runs each\n",
                    numVertices * scale, numTris * scale, scale, largeMegabytes, largeRuns);
        printAgainstTheFloor(large, largeMegabytes, largeRuns);
        std::remove(large.c_str());
    }
    rmdir(dir.c_str());
    return 0;
}
