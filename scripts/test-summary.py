#!/usr/bin/env python3
"""Sums up CTest's JUnit reports: how many tests ran, passed, failed and were
skipped, with each skip's reason. Exits 1 when a test failed or was skipped
for a missing tool or file (the test helpers start those reasons with
"missing:"), since the test command installs everything the tests need."""
import sys
import xml.etree.ElementTree as ElementTree


def skip_reason(output):
    lines = output.splitlines()
    for index, line in enumerate(lines):
        if line.endswith(": Skipped"):
            reason = lines[index + 1] if index + 1 < len(lines) else ""
            return reason.strip() or "(no reason given)"
    return "(skipped before the test said why)"


def main(reports):
    bad = False
    for report in reports:
        try:
            cases = ElementTree.parse(report).getroot().iter("testcase")
        except (OSError, ElementTree.ParseError) as error:
            print(f"{report}: no report ({error})")
            bad = True
            continue
        passed, failed, skipped = 0, [], []
        for case in cases:
            status = case.get("status")
            if status == "run":
                passed += 1
            elif case.find("skipped") is not None:
                skipped.append((case.get("name"), skip_reason(case.findtext("system-out") or "")))
            else:
                failed.append(case.get("name"))
        total = passed + len(failed) + len(skipped)
        print(f"{report}: {total} tests, {passed} passed, {len(failed)} failed, {len(skipped)} skipped")
        for name in failed:
            print(f"  failed: {name}")
        for name, reason in skipped:
            print(f"  skipped: {name}: {reason}")
            bad = bad or reason.startswith("missing:")
        bad = bad or bool(failed)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
