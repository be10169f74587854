#!/usr/bin/env python3
"""Adds up every suite's results under a results folder and prints one line:
"N passed, M failed, K skipped". GoogleTest programs count their test cases
(a case that skipped itself counts as skipped, and so does a ctest entry
that exited with its SKIP_RETURN_CODE, its "skipped: reason" line printed);
other checks (ctest entries
without a GoogleTest report, fuzz targets, static checks) count one each; a
flavour that could not run lists its suites in skipped.txt ("name count").
Exits non-zero when anything failed."""
import os
import sys
import xml.etree.ElementTree as ET


def gtest_counts(path):
    root = ET.parse(path).getroot()
    tests = int(root.get("tests", 0))
    failed = int(root.get("failures", 0)) + int(root.get("errors", 0))
    disabled = int(root.get("disabled", 0))
    skipped = sum(int(suite.get("skipped", 0)) for suite in root.iter("testsuite"))
    return tests - disabled - skipped, failed, skipped


def main(results):
    passed = failed = skipped = 0
    for flavour in sorted(os.listdir(results)):
        folder = os.path.join(results, flavour)
        if not os.path.isdir(folder):
            continue
        ctest = os.path.join(folder, "ctest.xml")
        listed = os.path.join(folder, "gtest-suites.txt")
        gtest_suites = set(open(listed).read().split()) if os.path.exists(listed) else set()
        if os.path.exists(ctest):
            for case in ET.parse(ctest).getroot().iter("testcase"):
                name = case.get("name")
                if case.get("status") == "notrun":
                    # A check that skipped itself (SKIP_RETURN_CODE) is no pass.
                    skipped += 1
                    out = case.findtext("system-out") or ""
                    reasons = [l for l in out.splitlines() if l.startswith("skipped:")]
                    print(f"skipped: {flavour}/{name}" + (f" ({reasons[0][9:]})" if reasons else ""))
                    continue
                ok = case.get("status") not in ("fail", "failed") and case.find("failure") is None
                report = os.path.join(folder, name + ".xml")
                if os.path.exists(report):
                    try:
                        tests, bad, skips = gtest_counts(report)
                    except ET.ParseError:
                        tests, bad, skips = 1, 1, 0
                    skipped += skips
                    if not ok and bad == 0:
                        bad = 1  # crashed or a sanitizer stopped it after the last test
                    passed += tests - min(bad, tests)
                    failed += bad
                elif name in gtest_suites:
                    # A GoogleTest program that wrote no report did not finish.
                    failed += 1
                    print(f"failed: {flavour}/{name} (no report: it ended early)")
                else:
                    passed += 1 if ok else 0
                    failed += 0 if ok else 1
                    if not ok:
                        print(f"failed: {flavour}/{name}")
        skip_list = os.path.join(folder, "skipped.txt")
        if os.path.exists(skip_list):
            for line in open(skip_list):
                parts = line.split()
                if len(parts) == 2 and parts[1].isdigit():
                    skipped += int(parts[1])
        for extra in ("checks.txt",):
            path = os.path.join(folder, extra)
            if os.path.exists(path):
                for line in open(path):
                    parts = line.split()
                    if len(parts) >= 2:
                        if parts[-1] == "pass":
                            passed += 1
                        else:
                            failed += 1
                            print(f"failed: {flavour}/{parts[0]}")
    steps = os.path.join(results, "step-failures.txt")
    if os.path.exists(steps):
        for line in open(steps):
            if line.strip():
                failed += 1
    print(f"{passed} passed, {failed} failed, {skipped} skipped")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
