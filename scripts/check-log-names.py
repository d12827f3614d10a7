#!/usr/bin/env python3
"""Fails when a module log line names another function than the one it is in.

MC_LOG takes the qualified function name as text, so a function that is split
or renamed can leave its lines pointing at the wrong place. Checked: a name
written in the call, and a `kFn` constant defined in the function. Names the
module must keep whatever function writes them are listed in KEEP.
"""
import pathlib
import re
import sys

KEEP = {"MessageClient::ParseCmdLine", "MessageClient::DumpCrashCallback", "CHttpClient::HttpUpLoadDcLog"}
DEFINITION = re.compile(r"^(?:[\w:<>,*&\s]+?\s)?[*&]?((?:\w+::)*~?\w+)\s*\([^;]*$")
CALL = re.compile(r'MC_LOG\(\s*\w+,\s*"([^"]*)"')
CONSTANT = re.compile(r'static const char\* const kFn = "([^"]*)";')


def problems(path):
    function = None
    lines = path.read_text(encoding="utf-8").split("\n")
    for number, line in enumerate(lines, 1):
        if line and not line[0].isspace() and line[0] not in "#/{}" and not line.startswith("namespace"):
            match = DEFINITION.match(line)
            if match:
                function = match.group(1)
        if function is None or "::" not in function:
            continue
        joined = line + (lines[number] if number < len(lines) else "")
        for name in CALL.findall(joined) + CONSTANT.findall(line):
            if name != function and name not in KEEP and name.split("::")[-1] != function.split("::")[-1]:
                yield f"{path}:{number}: log line names {name} inside {function}"


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    found = [p for f in sorted((root / "src").rglob("*.cpp")) for p in problems(f)]
    for problem in found:
        print(problem)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
