#!/usr/bin/env python3
"""Fails when a source file includes a header from a layer above its own.

The layers, bottom to top:
    runtime/ < datatypes/ < services/ < evaluator/ < boot/, library/, console/ < gui/
A file may include its own layer and those below; gui/backend/ is for gui/
and console/ only.  Includes are the quoted ones naming a layer folder
("datatypes/cell.hpp"); system and test headers are not looked at.

usage: check-layers.py [ROOT]      check the tree at ROOT (default: the project)
       check-layers.py --self-test check that an upward include is caught
"""
import os
import re
import sys
import tempfile

RANK = {"runtime": 0, "datatypes": 1, "services": 2, "evaluator": 3,
        "boot": 4, "library": 4, "console": 4, "gui": 5}
BACKEND = "gui/backend/"
BACKEND_USERS = ("gui", "console")
SOURCE_EXT = (".cpp", ".hpp", ".h", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def violations(root):
    found = []
    checked = 0
    for layer in sorted(RANK):
        base = os.path.join(root, layer)
        for folder, _, names in sorted(os.walk(base)):
            for name in sorted(names):
                if not name.endswith(SOURCE_EXT):
                    continue
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root).replace(os.sep, "/")
                checked += 1
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = m.group(1)
                        top = target.split("/", 1)[0]
                        if top not in RANK:
                            continue
                        if target.startswith(BACKEND):
                            if layer not in BACKEND_USERS:
                                found.append(f"{rel}:{number}: includes {target}: "
                                             f"gui/backend/ is for gui/ and console/ only")
                        elif RANK[top] > RANK[layer]:
                            found.append(f"{rel}:{number}: includes {target}: "
                                         f"{top}/ lies above {layer}/")
    return checked, found


def check(root):
    checked, found = violations(root)
    for v in found:
        print(v)
    print(f"check-layers: {checked} files, {len(found)} upward includes")
    return 1 if found else 0


def self_test():
    files = {
        "runtime/a.hpp": '#include "runtime/b.hpp"\n#include "evaluator/stack.hpp"\n',
        "runtime/b.hpp": "#include <vector>\n",
        "datatypes/c.cpp": '#include "gui/backend/window.hpp"\n#include "runtime/a.hpp"\n',
        "console/d.cpp": '#include "gui/backend/window.hpp"\n#include "library/e.hpp"\n',
        "library/e.hpp": '#include "boot/f.hpp"\n',
        "boot/f.hpp": '#include "gui/g.hpp"\n',
    }
    expected = {"runtime/a.hpp:2", "datatypes/c.cpp:1", "boot/f.hpp:1"}
    with tempfile.TemporaryDirectory() as root:
        for rel, text in files.items():
            path = os.path.join(root, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        _, found = violations(root)
    got = {":".join(v.split(":", 2)[:2]) for v in found}
    if got != expected:
        print(f"check-layers self-test: expected {sorted(expected)}, found {sorted(got)}")
        return 1
    print("check-layers self-test: upward includes caught")
    return 0


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--self-test":
        sys.exit(self_test())
    here = os.path.dirname(os.path.abspath(__file__))
    sys.exit(check(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(here)))
