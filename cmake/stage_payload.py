"""Copies files into a package's payload folder and gives the copies one fixed time, so that a
package holds the same bytes whenever and wherever it is built.

Usage: stage_payload.py EPOCH FROM_DIR TO_DIR FILE...
Each FILE is a path relative to FROM_DIR and is copied to the same path relative to TO_DIR.
"""
import os
import shutil
import sys


def main(argv):
    if len(argv) < 5:
        sys.stderr.write(__doc__)
        return 2
    epoch, source, target = int(argv[1]), argv[2], argv[3]
    shutil.rmtree(target, ignore_errors=True)
    for name in argv[4:]:
        copy = os.path.join(target, name)
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        shutil.copyfile(os.path.join(source, name), copy)
        os.utime(copy, (epoch, epoch))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
