#!/usr/bin/python3
"""Mutation fuzzer for the whole of bsv2-convert.

Mutates the seed meshes in converter/fuzz/seeds/ the ways real files break
(flipped bytes, cut tails, huge counts, repeated chunks), converts each to
BSV2 with --timeout 1 and fails on any run that ends by a signal, outlasts
the timeout by more than a few seconds, or ends other than with status 0,
or status 2 and exactly one line on standard error.

  convert_fuzz.py CONVERTER [--seconds N] [--seed N] [--keep DIR]

Inputs that fail are saved in DIR (default out/convert-fuzz) and named in
the report; with --keep, inputs the isolation had to stop (crash, timeout,
memory) are saved there too, as candidates for converter/tests/regressions/.
"""
import argparse
import os
import random
import re
import subprocess
import sys
import tempfile
import time

SEEDS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")
TIMEOUT = 1
SLACK = 4  # seconds past the timeout before a run counts as hung
HUGE = [b"4294967295", b"2147483647", b"1000000000", b"65536", b"-1", b"0"]
STOPPED = re.compile(r"importer crashed|took longer than|ran out of memory|forbidden system call")


def flip_bytes(data, rng):
    data = bytearray(data)
    for _ in range(rng.randint(1, 8)):
        data[rng.randrange(len(data))] = rng.randrange(256)
    return bytes(data)


def cut_tail(data, rng):
    return data[: rng.randrange(1, len(data))] if len(data) > 1 else data


def huge_count(data, rng):
    numbers = list(re.finditer(rb"\d+", data))
    if numbers and rng.random() < 0.7:
        m = rng.choice(numbers)
        return data[: m.start()] + rng.choice(HUGE) + data[m.end():]
    # Binary files: a 32-bit word somewhere becomes a huge value.
    at = rng.randrange(0, max(1, len(data) - 4))
    word = rng.choice([0xFFFFFFFF, 0x7FFFFFFF, 0x40000000, 0x10000])
    return data[:at] + word.to_bytes(4, "little") + data[at + 4:]


def repeat_chunk(data, rng):
    start = rng.randrange(len(data))
    end = min(len(data), start + rng.randint(1, 64))
    return data[:end] + data[start:end] * rng.randint(2, 50) + data[end:]


MUTATIONS = [flip_bytes, cut_tail, huge_count, repeat_chunk]


def mutate(data, rng):
    for _ in range(rng.randint(1, 3)):
        data = rng.choice(MUTATIONS)(data, rng) or data[:1]
    return data


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("converter")
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep", default=None)
    args = parser.parse_args()
    out_dir = args.keep or "out/convert-fuzz"
    rng = random.Random(args.seed)
    seeds = sorted(os.listdir(SEEDS))
    contents = {name: open(os.path.join(SEEDS, name), "rb").read() for name in seeds}
    failures, runs, stopped = [], 0, 0
    deadline = time.monotonic() + args.seconds
    with tempfile.TemporaryDirectory() as work:
        while time.monotonic() < deadline:
            name = rng.choice(seeds)
            data = mutate(contents[name], rng)
            stem, ext = os.path.splitext(name)
            path = os.path.join(work, "%s-%d%s" % (stem, runs, ext))
            output = os.path.join(work, "out.bsv2")
            with open(path, "wb") as f:
                f.write(data)
            started = time.monotonic()
            try:
                run = subprocess.run([args.converter, "--timeout", str(TIMEOUT), path, output],
                                     capture_output=True, timeout=TIMEOUT + SLACK)
                seconds = time.monotonic() - started
                err = run.stderr.decode("utf-8", "replace")
                problem = None
                if run.returncode < 0:
                    problem = "killed by signal %d" % -run.returncode
                elif seconds > TIMEOUT + SLACK:
                    problem = "took %.1f s" % seconds
                elif run.returncode == 2 and (err.count("\n") != 1 or not err.endswith("\n")):
                    problem = "status 2 with %r on standard error" % err
                elif run.returncode not in (0, 2):
                    problem = "status %d: %r" % (run.returncode, err)
                elif run.returncode == 0 and err:
                    problem = "status 0 with %r on standard error" % err
                elif run.returncode == 2 and os.path.exists(output):
                    problem = "status 2 left an output file"
            except subprocess.TimeoutExpired:
                problem = "still running after %d s" % (TIMEOUT + SLACK)
                err = ""
            runs += 1
            keep = problem is not None or (args.keep and STOPPED.search(err))
            stopped += bool(STOPPED.search(err))
            if keep:
                os.makedirs(out_dir, exist_ok=True)
                kept = os.path.join(out_dir, os.path.basename(path))
                with open(kept, "wb") as f:
                    f.write(data)
            if problem:
                failures.append("%s: %s" % (kept, problem))
            if os.path.exists(output):
                os.remove(output)
            os.remove(path)
    print("convert_fuzz: %d runs, %d stopped by the isolation (crash, time or memory), %d failed"
          % (runs, stopped, len(failures)))
    for failure in failures:
        print("  " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
