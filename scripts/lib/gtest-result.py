"""Reads one gtest run's JSON report (--gtest_output=json:FILE) for the test
command: prints "PASSED FAILED SKIPPED_DOWNLOADS" on its first line, then the
full name of every failed test, one a line. SKIPPED_DOWNLOADS counts skipped
tests of the suites that must reach a server (a skip there means none was
found). Exits 1 when the report is missing or unreadable (a crash, a sanitizer
abort before the end)."""
import json
import re
import sys

DOWNLOAD_SUITES = re.compile(r"LauncherDownload|xHttp|AutoLoginExchange|PackageWorker|PackageUpdate|SignedUpdate")


def main(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as report:
            suites = json.load(report)["testsuites"]
    except (OSError, ValueError, KeyError):
        return 1
    passed, failed, skipped_downloads = 0, [], 0
    for suite in suites:
        for test in suite.get("testsuite", []):
            name = f"{suite['name']}.{test['name']}"
            if test.get("failures"):
                failed.append(name)
            elif test.get("result") == "SKIPPED" or test.get("status") == "NOTRUN":
                skipped_downloads += 1 if DOWNLOAD_SUITES.search(name) else 0
            else:
                passed += 1
    print(passed, len(failed), skipped_downloads)
    for name in failed:
        print(name)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
