#!/usr/bin/env python3
"""A seeded sample of small changes to printerlink/ and monitor/, each built and tested.

Runs in the tree scripts/coverage.sh built (gcc --coverage, build-cov): with a fixed seed
the same sites are picked while the product code stays the same: a comparison flipped,
&& and || swapped, an integer constant off by one, a returned true or false inverted. Each
change is applied alone to the sources of that tree, the test programs of its area are
rebuilt (nice -n 10), run with a time-out and stopped at the first failure; the change is
then undone. A change on a line the coverage run never reached counts as survived without
a build. Result: caught, survived (listed) and did not compile; with --versus, for a second
set of tests too (a test's new version beside the old one, judged on the same changes).
"""
import argparse
import json
import os
import random
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDERS = ("printerlink", "monitor")
# Compiled on Windows only, or never linked on Linux.
SKIP = {"printerlink/host/vqhost_win.cpp", "printerlink/host/vqwinapi.cpp", "printerlink/host/vqhost_null.cpp"}
# The tests of each area (first match of the source path); the long plays, the package
# and the Windows tests are left out.
AREAS = [
    (r"printerlink/vqcom(msg|link)", r"^(tst_com|tst_link_e2e|fuzz_(msgframe|linkrecv|linkops)_replay)"),
    (r"printerlink/vqcomm\.", r"^(tst_com|tst_link_e2e|fuzz_linkops_replay)"),
    (r"printerlink/vqscan", r"^(tst_link_e2e|fuzz_scanreq_replay)"),
    (r"printerlink/vqlog", r"^(tst_window|tst_host)"),
    (r"printerlink/host/(vqhost_linux|vqlinuxusb|vqcups)", r"^tst_linuxhost"),
    (r"printerlink/host/", r"^(tst_host|tst_window|tst_linuxhost|fuzz_(simtree|registry)_replay)"),
    (r"printerlink/", r"^(tst_state|tst_host|tst_window|fuzz_idtext_replay)"),
    (r"monitor/(qvqsingleton|main)", r"^(tst_singleton|fuzz_instance_replay)"),
    (r"monitor/(vqlanaddr|cvqlanuprom|fvquprom)", r"^(tst_services|tst_window|fuzz_lananswers_replay)"),
    (r"monitor/(vqonekey|cvqonekey|vqportloop|vqswitches)", r"^(tst_services|tst_window)"),
    (r"monitor/cvqscantopc", r"^(tst_link_e2e|fuzz_scanreq_replay)"),
    (r"monitor/", r"^(tst_window|tst_singleton)"),
]

FLIPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==", "&&": "||", "||": "&&"}
OPERATOR = re.compile(r"(?<= )(<=|>=|==|!=|&&|\|\||<|>)(?= )")
NUMBER = re.compile(r"(?<![\w.])(\d+)(?![\w.'])")
RETURN_BOOL = re.compile(r"\breturn (true|false);")


def masked(line):
    """The line with string and character literals and a trailing comment blanked out."""
    out, quote, i = [], None, 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(" " if c != quote else c)
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out).ljust(len(line))


def sites(root):
    """Every (file, line number, column, old text, new text), in a stable order."""
    found = []
    for folder in FOLDERS:
        for dirpath, dirnames, files in os.walk(os.path.join(root, folder)):
            dirnames.sort()
            for name in sorted(files):
                rel = os.path.relpath(os.path.join(dirpath, name), root)
                # Headers are left out: a change there rebuilds most of the tree.
                if not name.endswith(".cpp") or rel in SKIP:
                    continue
                with open(os.path.join(root, rel), encoding="utf-8") as f:
                    lines = f.read().split("\n")
                in_comment = False
                for n, line in enumerate(lines, 1):
                    text = line.strip()
                    if in_comment:
                        in_comment = "*/" not in text
                        continue
                    if text.startswith("/*"):
                        in_comment = "*/" not in text
                        continue
                    if not text or text.startswith(("#", "//")) or "static_assert" in text or "Q_" in text:
                        continue
                    m = masked(line)
                    for hit in OPERATOR.finditer(m):
                        found.append((rel, n, hit.start(), hit.group(1), FLIPS[hit.group(1)]))
                    for hit in NUMBER.finditer(m):
                        value = int(hit.group(1))
                        new = value + 1 if value == 0 or (n + hit.start()) % 2 else value - 1
                        found.append((rel, n, hit.start(), hit.group(1), str(new)))
                    for hit in RETURN_BOOL.finditer(m):
                        old = hit.group(1)
                        found.append((rel, n, hit.start(1), old, "false" if old == "true" else "true"))
    return found


def uncovered_lines(path):
    """file -> line numbers the tests never ran (lines gcov does not list count as run)."""
    if not path or not os.path.exists(path):
        return {}
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    out = {}
    for entry in data.get("files", []):
        out[entry["file"]] = {l["line_number"] for l in entry.get("lines", []) if l.get("count", 0) == 0
                              and not l.get("gcovr/noncode", False)}
    return out


def run(cmd, cwd, timeout, env=None):
    try:
        return subprocess.run(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


def ctest_tests(build):
    """ctest name -> the target that builds its program."""
    out = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, check=True, capture_output=True).stdout
    tests = {}
    for t in json.loads(out)["tests"]:
        exe = [os.path.basename(c) for c in t.get("command", []) if c.startswith(build)]
        tests[t["name"]] = exe[0] if exe else None
    return tests


def failed_tests(junit):
    """Names of the tests in a ctest JUnit file that did not pass."""
    import xml.etree.ElementTree as ET
    failed = set()
    for case in ET.parse(junit).getroot().iter("testcase"):
        if case.get("status") != "run" or case.find("failure") is not None or case.find("error") is not None:
            failed.add(case.get("name"))
    return failed


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("-n", type=int, default=40, help="changes to try (default 40)")
    p.add_argument("--seed", type=int, default=21)
    p.add_argument("--src", default=ROOT, help="the sources the tree was built from (default this checkout)")
    p.add_argument("--build", help="the coverage tree (default SRC/build-cov)")
    p.add_argument("--coverage", help="gcovr JSON of the tests run (default BUILD/coverage.json)")
    p.add_argument("--versus", metavar="SUFFIX",
                   help="also judge each change by a second set, where a test NAME+SUFFIX stands in for NAME")
    p.add_argument("--versus-coverage", help="gcovr JSON of the second set")
    p.add_argument("--timeout", type=int, default=120, help="seconds per test")
    p.add_argument("--jobs", type=int, default=2)
    p.add_argument("--only", help="of the picked changes, try those whose path matches this expression")
    p.add_argument("--list", action="store_true", help="only list the picked changes")
    args = p.parse_args()

    src = os.path.abspath(args.src)
    build = os.path.abspath(args.build or os.path.join(src, "build-cov"))
    picked = sorted(random.Random(args.seed).sample(sites(src), args.n))
    if args.only:
        picked = [s for s in picked if re.search(args.only, s[0])]
    if args.list:
        for s in picked:
            print("%s:%d:%d %s -> %s" % s)
        return 0
    coverage = [args.coverage or os.path.join(build, "coverage.json")]
    if args.versus:
        coverage.append(args.versus_coverage or coverage[0])
    for c in coverage:
        if not os.path.exists(c):
            print("mutants: no coverage run %s (scripts/coverage.sh)" % c, file=sys.stderr)
            return 2
    uncovered = [uncovered_lines(c) for c in coverage]
    tests = ctest_tests(build)
    test_env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    results = [{"caught": [], "survived": [], "no-compile": []} for _ in coverage]
    for i, (rel, line, col, old, new) in enumerate(picked, 1):
        path = os.path.join(src, rel)
        with open(path, encoding="utf-8") as f:
            original = f.read()
        label = "%s:%d: %s -> %s" % (rel, line, old, new)
        area = next(t for pattern, t in AREAS if re.match(pattern, rel))
        first = sorted(n for n in tests if re.search(area, n) and not (args.versus and n.endswith(args.versus)))
        sets = [first]
        if args.versus:
            sets.append([n + args.versus if n + args.versus in tests else n for n in first])
        names = sorted(set().union(*sets))
        targets = sorted({tests[n] for n in names if tests[n]})
        build_cmd = ["nice", "-n", "10", "ninja", "-C", build, "-j%d" % args.jobs] + targets
        unrun = [line in u.get(rel, set()) for u in uncovered]
        verdicts = ["survived" for _ in sets]
        note = ""
        if all(unrun):
            note = " (never run)"
        else:
            lines = original.split("\n")
            text = lines[line - 1]
            assert text[col:col + len(old)] == old, label
            lines[line - 1] = text[:col] + new + text[col + len(old):]
            try:
                with open(path, "w", encoding="utf-8") as f:
                    f.write("\n".join(lines))
                started = time.time()
                if run(build_cmd, build, 1800) != 0:
                    verdicts = ["no-compile" for _ in sets]
                else:
                    # The counts of the coverage run stay as they were.
                    with tempfile.TemporaryDirectory() as counts:
                        junit = os.path.join(counts, "junit.xml")
                        test_cmd = ["nice", "-n", "10", "ctest", "-R", "^(%s)$" % "|".join(names),
                                    "-j%d" % args.jobs, "--timeout", str(args.timeout), "--output-junit", junit]
                        if not args.versus:
                            test_cmd.append("--stop-on-failure")
                        status = run(test_cmd, build, 3600, dict(test_env, GCOV_PREFIX=counts))
                        failed = failed_tests(junit) if os.path.exists(junit) else set(names)
                        if status != 0 and not failed:
                            failed = set(names)  # ctest itself failed
                        verdicts = ["survived" if skip or not failed & set(names_) else "caught"
                                    for skip, names_ in zip(unrun, sets)]
                note = " (%ds)" % (time.time() - started)
            finally:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original)
                os.utime(path)  # rebuilt with the next change's build
        for r, v in zip(results, verdicts):
            r[v].append(label + note)
        print("[%d/%d] %s %s%s" % (i, len(picked), " / ".join("%-10s" % v for v in verdicts), label, note),
              flush=True)

    run(["nice", "-n", "10", "ninja", "-C", build, "-j%d" % args.jobs], build, 3600)  # the tree as it was
    for k, r in enumerate(results):
        compiled = len(r["caught"]) + len(r["survived"])
        rate = 100.0 * len(r["caught"]) / compiled if compiled else 0.0
        print("\n%sseed %d, %d changes: %d caught, %d survived, %d did not compile; caught %.0f%% of those that compile"
              % ("with %s: " % args.versus if k else "", args.seed, len(picked), len(r["caught"]), len(r["survived"]),
                 len(r["no-compile"]), rate))
        for label in r["survived"]:
            print("  survived: " + label)
    return 0


if __name__ == "__main__":
    sys.exit(main())
