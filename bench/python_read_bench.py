#!/usr/bin/python3
"""What bsv2.read costs in Python over the library's own readShapeFromFile.

    python_read_bench.py [--runs N] [--vertices V] [--triangles T]

Writes a file of V random vertices in [-10, 10] and T random triangles,
then, in this one warm interpreter, times bsv2.read (the arrays made and
dropped) and readShapeFromFile with destroyShape alone (through the
module's _read_and_release), alternating, and prints both medians.
"""
import argparse
import os
import statistics
import tempfile
import time

import numpy

import bsv2


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--vertices", type=int, default=1_000_000)
    parser.add_argument("--triangles", type=int, default=2_000_000)
    args = parser.parse_args()
    rng = numpy.random.default_rng(1)
    points = rng.uniform(-10, 10, (args.vertices, 3)).astype(numpy.float32)
    triangles = rng.integers(0, args.vertices, (args.triangles, 3), dtype=numpy.int32)
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "bench.bsv2")
        bsv2.write(path, points, triangles)
        bsv2.read(path)  # warm: the file in the page cache, the module loaded
        library, python = [], []
        for _ in range(args.runs):
            start = time.perf_counter()
            assert bsv2._read_and_release(path)
            library.append(time.perf_counter() - start)
            start = time.perf_counter()
            read_points, read_triangles = bsv2.read(path)
            del read_points, read_triangles
            python.append(time.perf_counter() - start)
        size = os.path.getsize(path) / 1e6
    plain, wrapped = statistics.median(library), statistics.median(python)
    print("BSV2 file of %d vertices and %d triangles: %.1f MB; median of %d runs each"
          % (args.vertices, args.triangles, size, args.runs))
    print("readShapeFromFile (C++)        %.3f s" % plain)
    print("bsv2.read (Python, NumPy)      %.3f s" % wrapped)
    print("bsv2.read costs %+.1f%% over readShapeFromFile (target at most +10%%)" % (100 * (wrapped / plain - 1)))


if __name__ == "__main__":
    main()
