#!/usr/bin/env python3
"""The layer check against a small tree of three libraries (low, high, and a test
library) in which each kind of hole is planted on its own: the check must pass
the clean tree and fail each planted one, naming the file.

Usage: check_layers_test.py <path of scripts/check-layers>
"""
import os
import subprocess
import sys
import tempfile

CLEAN = {
    "low/a.h": "#pragma once\nint low_a();\n",
    "low/a.cpp": '#include "low/a.h"\n#include <vector>\nint low_a() { return 1; }\n',
    "high/b.h": "#pragma once\n",
    "high/b.cpp": '#include "high/b.h"\n#include "low/a.h"\n#include "local.h"\n',
    "high/local.h": "#pragma once\n",
    "tests/support/s.h": "#pragma once\n",
    "tests/support/s.cpp": '#include "tests/support/s.h"\n#include "low/a.h"\n',
    "tests/driver/d.cpp": '#include "tests/support/s.h"\n#include <QImage>\n',
}
LAYERS = [
    "low||low||",
    "high||high|low|",
    "test_support||tests/support|low|",
    "test_driver||tests/driver|test_support|qt",
]

# (name, file, text added to it, the words the report must hold)
PLANTED = [
    ("upward include", "low/a.cpp", '#include "high/b.h"\n', "low/a.cpp (low) includes high/b.h"),
    ("angled upward include", "low/a.cpp", "#include <high/b.h>\n", "low/a.cpp (low) includes high/b.h"),
    ("relative upward include", "low/a.cpp", '#include "../high/b.h"\n',
     "low/a.cpp (low) includes ../high/b.h"),
    ("product includes a test header", "high/b.cpp", '#include "tests/support/s.h"\n',
     "high/b.cpp includes the test header"),
    ("product includes a test header by a relative path", "high/b.cpp",
     '#include "../tests/support/s.h"\n', "high/b.cpp includes the test header"),
    ("test library includes above its uses", "tests/support/s.cpp", '#include "high/b.h"\n',
     "tests/support/s.cpp (test_support) includes high/b.h"),
    ("test library includes a test library it may not use", "tests/support/s.cpp",
     '#include "tests/driver/d.cpp"\n', "(test_support) includes tests/driver/d.cpp"),
    ("Qt outside a Qt library", "high/b.cpp", "#include <QString>\n", "includes the Qt header"),
    ("include cycle", "low/a.h", '#include "low/c.h"\n', "include cycle"),
]


def make_tree(root, extra_file=None, extra_text=""):
    files = dict(CLEAN)
    files["low/c.h"] = '#pragma once\n#include "low/a.h"\n'
    if extra_file:
        files[extra_file] = files[extra_file] + extra_text
    for rel, text in files.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
    layers = os.path.join(root, "layers.txt")
    with open(layers, "w", encoding="utf-8") as f:
        f.write("\n".join(LAYERS) + "\n")
    return layers


def run(check, root, layers):
    p = subprocess.run([sys.executable, check, layers, root], capture_output=True, text=True)
    return p.returncode, p.stdout + p.stderr


def main():
    check = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as root:
        code, out = run(check, root, make_tree(root))
        if code != 0:
            failures.append(f"clean tree: expected a pass, got {code}:\n{out}")
    for name, rel, text, expect in PLANTED:
        with tempfile.TemporaryDirectory() as root:
            code, out = run(check, root, make_tree(root, rel, text))
            if code != 1 or expect not in out:
                failures.append(f"{name}: expected exit 1 naming '{expect}', got {code}:\n{out}")
    for f in failures:
        print("FAIL", f)
    print(f"{len(PLANTED) + 1 - len(failures)} of {len(PLANTED) + 1} cases as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
