#!/usr/bin/env python3
"""The long-function lister against a small tree whose functions' lengths are
known by construction: each long one is listed with its length and name, the
short ones, the blocks that are not functions and the folders that are not
the product are not; braces in comments, strings, raw strings, character
literals and preprocessor lines do not count.

Usage: long_functions_test.py <path of scripts/long-functions>
"""
import os
import subprocess
import sys
import tempfile


def body(lines):
    """`lines` lines of statements."""
    return "\n".join("    x += %d;" % i for i in range(lines))


def function(signature, lines):
    """A function of `lines` lines from the line its name stands on to its
    closing brace."""
    return signature + " {\n" + body(lines - signature.count("\n") - 2) + "\n}\n"


NOISE = (
    '    const char* s = "{ not a brace";\n'
    "    const char c = '{';\n"
    '    const char* r = R"x(" {)x";\n'
    "    // a comment {\n"
    "    /* a block comment { { */\n"
)

TREE = {
    # 12 lines, in a namespace, with braces in literals and comments inside.
    "lib/a.cpp": "namespace {\n\nint x = 0;\n\n"
    + "void noisy() {\n" + NOISE + body(12 - 5 - 2) + "\n}\n\n"
    + function("int plain(int a,\n          int b)", 13)
    + "\n} // namespace\n\n"
    # A member function defined in its class, a constructor with an
    # initialiser list, an array initialiser and a lambda held in a variable.
    + "struct holder {\n    int v;\n"
    + function("    holder(int a) : v(a)", 14)
    + function("    int get() const", 5)
    + "};\n\n"
    + "const int table[] = {\n" + ",\n".join("1" for _ in range(30)) + "};\n"
    + "auto lambda = [](int a) {\n" + body(30) + "\n};\n"
    + "#define OPEN {\n"
    + function("int after_macro()", 11),
    # Not the product: never read.
    "tests/t.cpp": function("void in_a_test()", 40),
    "bench/b.cpp": function("void in_a_benchmark()", 40),
    "skipped/c.cpp": function("void in_a_skipped_folder()", 40),
}

EXPECTED = [
    "   14 lib/a.cpp:",  # holder::holder
    "   13 lib/a.cpp:",  # plain
    "   12 lib/a.cpp:",  # noisy
    "   11 lib/a.cpp:",  # after_macro
]
NAMES = ["holder", "plain", "noisy", "after_macro"]


def main(script):
    failures = []
    with tempfile.TemporaryDirectory() as root:
        for path, text in TREE.items():
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        run = subprocess.run(
            [sys.executable, script, "--limit", "10", "--skip", "skipped", root],
            capture_output=True, text=True)
        lines = run.stdout.splitlines()
        if run.returncode != 0:
            failures.append("exit %d: %s" % (run.returncode, run.stderr))
        if len(lines) != len(EXPECTED):
            failures.append("listed %d functions, not %d:\n%s" % (len(lines), len(EXPECTED), run.stdout))
        for line, start, name in zip(lines, EXPECTED, NAMES):
            if not line.startswith(start) or not line.endswith(name):
                failures.append("expected %r ... %r, got %r" % (start, name, line))
        # The limit is strict: a function of exactly the limit is not listed.
        at_limit = subprocess.run([sys.executable, script, "--limit", "14", root],
                                  capture_output=True, text=True).stdout
        if "holder" in at_limit:
            failures.append("a function of exactly the limit was listed:\n" + at_limit)
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
