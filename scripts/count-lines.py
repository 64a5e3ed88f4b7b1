#!/usr/bin/env python3
"""Counts the lines of code tracked by git that are neither blank nor only a comment, in
C/C++ sources and headers, Python, shell and CMake files, and prints how many of them are
test code: files under a tests/, testing/ or fuzz/ folder, or whose name ends in _test
before its extension or begins with test_.

    scripts/count-lines.py          (from anywhere in the checkout)
"""
import os
import subprocess

SOURCE = {".c", ".cc", ".cpp", ".h", ".hpp", ".rch"}
HASH_COMMENTED = {".py", ".sh", ".cmake"}


def kind(path):
    name = os.path.basename(path)
    ext = os.path.splitext(name)[1]
    if ext in SOURCE:
        return "c"
    if ext in HASH_COMMENTED or name == "CMakeLists.txt":
        return "hash"
    if path.startswith("scripts/") and ext == "" or path == ".ci/run":
        return "hash"
    return None


def is_test(path):
    parts = path.split("/")
    if any(p in ("tests", "testing", "fuzz") for p in parts[:-1]):
        return True
    stem = os.path.splitext(parts[-1])[0]
    return stem.endswith("_test") or stem.startswith("test_")


def count(path, style):
    lines = 0
    in_block = False
    with open(path, errors="replace") as f:
        for raw in f:
            s = raw.strip()
            if not s:
                continue
            if style == "hash":
                lines += not s.startswith("#")
                continue
            if in_block:
                if "*/" not in s:
                    continue
                in_block = False
                s = s.split("*/", 1)[1].strip()
                if not s:
                    continue
            if s.startswith("//"):
                continue
            if s.startswith("/*"):
                if "*/" not in s:
                    in_block = True
                    continue
                if not s.split("*/", 1)[1].strip():
                    continue
            lines += 1
    return lines


def main():
    top = subprocess.check_output(["git", "rev-parse", "--show-toplevel"], text=True).strip()
    os.chdir(top)
    tests = total = 0
    for path in subprocess.check_output(["git", "ls-files"], text=True).splitlines():
        style = kind(path)
        if style is None or not os.path.isfile(path):
            continue
        n = count(path, style)
        total += n
        tests += n if is_test(path) else 0
    print(f"test code {tests} of {total} lines: {tests / total:.3f}")


if __name__ == "__main__":
    main()
