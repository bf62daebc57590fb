#!/usr/bin/env python3
"""The record's name check against a small tree: each planted stale name is
reported with its file and line, the names that exist (as words of a source,
file stems, folders, .h/.cpp pairs, {h,cpp} and .* forms) and the texts that
are not code (plain words, MIME types, prefixes, code blocks, build folders'
files) are not.

Usage: check_docs_test.py <path of scripts/check-docs>
"""
import os
import subprocess
import sys
import tempfile

TREE = {
    "sim/run.h": "int run_program();\nstruct sim_program { int stamp; };\n",
    "sim/run.cpp": "namespace s { void flat_pass::bind() {} }\n",
    "fuzz/fuzz_model.cpp": "int x;\n",
    "tests/model/repro/a.kmf": "",
    "platform/wire/dde_wire.h": "",
    "platform/wire/dde_wire.cpp": "",
    # A build folder inside the tree: its files are no sources.
    "build/CMakeCache.txt": "",
    "build/gen.h": "int only_in_build();\n",
    "docs/design/ok.md": (
        "Runs are `run_program()` over a `sim_program` (sim/run.h, sim/run), "
        "bound by `flat_pass::bind`;\n"
        "`sim_program::stamp`, the `fuzz_model` target, tests/model/repro/,\n"
        "platform/wire/dde_wire.{h,cpp} and platform/wire/dde_wire.* exist.\n"
        "Plain words (`advance`), `text/html`, `x.h`, the `grid_tool_` calls\n"
        "and `_PTR` are not looked up.\n"
        "```\n"
        "`in_a_code_block()` sim/in_a_code_block.h\n"
        "```\n"
    ),
    "docs/formats/stale.md": (
        "Line one is fine: `run_program`.\n"
        "`renamed_function()` moved to sim/moved.h;\n"
        "`only_in_build` and `camelCaseGone` and `sim_program::lost`.\n"
        "platform/wire/dde_wire.{h,hpp} and sim/run.cpp.orig and sim/gone.*\n"
    ),
}

EXPECTED = [
    "docs/formats/stale.md:2: sim/moved.h names no file",
    "docs/formats/stale.md:2: `renamed_function()` is in no source file",
    "docs/formats/stale.md:3: `only_in_build` is in no source file",
    "docs/formats/stale.md:3: `camelCaseGone` is in no source file",
    "docs/formats/stale.md:3: `sim_program::lost` is in no source file",
    "docs/formats/stale.md:4: platform/wire/dde_wire.{h,hpp} names no file",
    "docs/formats/stale.md:4: sim/run.cpp.orig names no file",
    "docs/formats/stale.md:4: sim/gone.* names no file",
    "8 name(s) in docs/ no longer exist",
]


def run(script, root):
    r = subprocess.run([sys.executable, script, root], capture_output=True, text=True)
    return r.returncode, r.stdout.splitlines()


def main():
    script = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as root:
        for rel, text in TREE.items():
            path = os.path.join(root, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text)
        code, lines = run(script, root)
        if code != 1:
            failures.append("exit %d with stale names, expected 1" % code)
        if lines != EXPECTED:
            failures.append("output:\n  " + "\n  ".join(lines) +
                            "\nexpected:\n  " + "\n  ".join(EXPECTED))
        os.remove(os.path.join(root, "docs/formats/stale.md"))
        code, lines = run(script, root)
        if code != 0 or lines:
            failures.append("a sound record: exit %d, output %r" % (code, lines))
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
