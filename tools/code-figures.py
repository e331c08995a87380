#!/usr/bin/python3
"""Figures of the code's shape: the longest functions, and the lines of
tests against the lines of code in each folder.

    tools/code-figures.py [--functions N]

Run from anywhere in the repository; it reads the files git tracks.
Functions are found by Universal Ctags (Debian's universal-ctags, which
tools/install-deps.sh figures installs when it is missing), in the
C++ files outside test folders; a function's length is its lines from its
name to its closing brace. A line is any line of a C++, C, Python or shell
file; test lines are those in folders named tests (tests/common counts as
tests of the folder "tests"), code lines all the others. Data files
(models, regressions, seeds, corpora) are neither.
"""
import argparse
import collections
import os
import shutil
import subprocess

SOURCES = (".cpp", ".h", ".c", ".py", ".sh")
CPP = (".cpp", ".h", ".c")


def tracked(root):
    listed = subprocess.run(["git", "-C", root, "ls-files"], check=True, capture_output=True, text=True)
    return [name for name in listed.stdout.splitlines() if name.endswith(SOURCES)]


def is_test(name):
    return "tests" in name.split("/")[:-1]


def longest_functions(root, names, count):
    code = [name for name in names if name.endswith(CPP) and not is_test(name)]
    listed = subprocess.run(
        ["ctags", "-x", "--_xformat=%{name} %{input} %{line} %{end}", "--kinds-C++=f", "--kinds-C=f",
         "--language-force=C++"] + code,
        cwd=root, check=True, capture_output=True, text=True)
    functions = []
    for line in listed.stdout.splitlines():
        name, path, start, end = line.rsplit(" ", 3)
        if end.isdigit():
            functions.append((int(end) - int(start) + 1, name, "%s:%s" % (path, start)))
    return sorted(functions, reverse=True)[:count]


def lines_by_folder(root, names):
    lines = collections.defaultdict(lambda: [0, 0])  # folder: [code, tests]
    for name in names:
        folder = name.split("/")[0] if "/" in name else "."
        with open(os.path.join(root, name), "rb") as source:
            lines[folder][1 if is_test(name) else 0] += source.read().count(b"\n")
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--functions", type=int, default=10, help="how many of the longest functions (10)")
    arguments = parser.parse_args()
    root = subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True, capture_output=True,
                          text=True).stdout.strip()
    if shutil.which("ctags") is None:
        subprocess.run(["bash", os.path.join(root, "tools/install-deps.sh"), "figures"], check=True)
    names = tracked(root)
    print("longest functions (lines, name, where):")
    for length, name, where in longest_functions(root, names, arguments.functions):
        print("  %4d  %s  %s" % (length, name, where))
    print("lines of code and of tests by folder:")
    total = [0, 0]
    for folder, (code, tests) in sorted(lines_by_folder(root, names).items()):
        total[0] += code
        total[1] += tests
        ratio = "%.2f" % (tests / code) if code else "-"
        print("  %-10s code %5d  tests %5d  ratio %s" % (folder, code, tests, ratio))
    print("  %-10s code %5d  tests %5d  ratio %.2f" % ("all", total[0], total[1], total[1] / total[0]))


if __name__ == "__main__":
    main()
