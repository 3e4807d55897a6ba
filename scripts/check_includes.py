#!/usr/bin/env python3
"""Fails on an include against the order of the folders.

The README's layout table gives each folder a step: a number for what ships, "tests" for what does
not. A file includes only from its own folder and from folders of a lower or the same step. Tests
(file names ending in _test.cpp, _test.h, _test_support.h or _fuzz.cpp) and folders of step "tests"
may include from any folder; nothing that ships includes a test file or from a folder of step
"tests". Prints one line per wrong include and exits 1 when there is one.

Usage: check_includes.py [SOURCE_DIR]
"""
import re
import sys
from pathlib import Path

ROW_RE = re.compile(r"^\| `([a-z0-9_]+)/` \| *([0-9]+|tests)? *\|")
INCLUDE_RE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
TEST_FILE_RE = re.compile(r"(_test\.cpp|_test\.h|_test_support\.h|_fuzz\.cpp)$")
SOURCE_SUFFIXES = {".cpp", ".h", ".rc", ".in"}
TESTS = "tests"


def read_steps(readme):
    """Folder -> step (an int, or TESTS) from the rows of the layout table that have one."""
    steps = {}
    in_layout = False
    for line in readme.read_text(encoding="utf-8").splitlines():
        if line.startswith("## "):
            in_layout = line.strip() == "## Layout"
            continue
        match = ROW_RE.match(line) if in_layout else None
        if match and match.group(2):
            step = match.group(2)
            steps[match.group(1)] = TESTS if step == TESTS else int(step)
    return steps


def is_test(path):
    return bool(TEST_FILE_RE.search(path.name))


def wrong_includes(root, steps):
    """(file, included, reason) for every include against the order."""
    found = []
    for folder, step in sorted(steps.items(), key=lambda item: item[0]):
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
                continue
            testing = step == TESTS or is_test(path)
            for included in INCLUDE_RE.findall(path.read_text(encoding="utf-8", errors="replace")):
                if "/" not in included:
                    continue  # the file's own folder, the build tree or the system
                target = included.split("/", 1)[0]
                if target == folder or target not in steps:
                    continue
                where = path.relative_to(root).as_posix()
                if steps[target] == TESTS or is_test(Path(included)):
                    if not testing:
                        found.append((where, included, "ships, and includes what does not"))
                elif not testing and steps[target] > step:
                    found.append((where, included, f"step {step} includes from step {steps[target]}"))
    return found


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    steps = read_steps(root / "README.md")
    if not any(isinstance(step, int) for step in steps.values()):
        print("README.md: no layout table with steps found", file=sys.stderr)
        return 1
    found = wrong_includes(root, steps)
    for where, included, reason in found:
        print(f'{where}: #include "{included}": {reason}')
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
