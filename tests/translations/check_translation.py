#!/usr/bin/env python3
"""Fails unless the English translation covers every tr() source in the code exactly: runs
lupdate over the sources into a copy of the .ts and lists each entry that comes out
unfinished (a text of the code without English) or vanished/obsolete (English for a text the
code no longer has)."""
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

lupdate, sources, ts = sys.argv[1], sys.argv[2], sys.argv[3]
with tempfile.TemporaryDirectory() as tmp:
    copy = Path(tmp) / Path(ts).name
    shutil.copy(ts, copy)
    run = subprocess.run([lupdate, "-locations", "none", "-source-language", "zh_CN",
                          "-target-language", "en", sources, "-ts", str(copy)],
                         capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"lupdate failed:\n{run.stdout}{run.stderr}")
    problems = {"unfinished": [], "vanished": [], "obsolete": []}
    for context in ET.parse(copy).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            kind = message.find("translation").get("type")
            if kind in problems:
                problems[kind].append(f"  {name}: {message.findtext('source')!r}")

why = {"unfinished": "in the code without a finished English translation",
       "vanished": "translated but gone from the code",
       "obsolete": "translated but gone from the code"}
failed = False
for kind, entries in problems.items():
    if entries:
        failed = True
        print(f"{len(entries)} {kind} ({why[kind]}):")
        print("\n".join(entries))
if failed:
    print(f"\nUpdate the .ts with: cmake --build <build dir> --target update_translations\n"
          f"then translate its unfinished entries in {ts}.")
    sys.exit(1)
print(f"{ts}: complete")
