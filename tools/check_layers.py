#!/usr/bin/env python3
"""Checks the layers of src/: every folder is a library that names the folders
it uses (kavelin2_layer(NAME USES ...) in its CMakeLists.txt), and a source
may include only its own folder and the folders its layer reaches through
those names. Exits 1, listing each include that reaches elsewhere (upward or
sideways), or a cycle among the declared uses.

usage: check_layers.py SOURCE_DIR
"""
import os
import re
import sys

root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
src = os.path.join(root, "src")
decl = re.compile(r"kavelin2_layer\(\s*(\w+)(.*?)\bSOURCES\b", re.S)
include = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')
# Tests and the fakes may reach across layers: they build the station whole.
exempt_file = re.compile(r"_test\.cc$|_fixture\.h$|test_util")
exempt_dirs = {"testing"}

uses = {}
for folder in sorted(os.listdir(src)):
    cml = os.path.join(src, folder, "CMakeLists.txt")
    if folder in exempt_dirs or not os.path.isfile(cml):
        continue
    for m in decl.finditer(open(cml).read()):
        words = m.group(2).split()
        uses[m.group(1)] = set(words[1:]) if words[:1] == ["USES"] else set()

problems = []
for folder in sorted(os.listdir(src)):
    path = os.path.join(src, folder)
    if os.path.isdir(path) and folder not in exempt_dirs and folder not in uses:
        problems.append("src/%s is not a layer (no kavelin2_layer in its CMakeLists.txt)" % folder)


def reach(layer, seen=()):
    if layer in seen:
        problems.append("cycle among the declared layers: %s" % " -> ".join(seen + (layer,)))
        return set()
    out = set()
    for u in uses.get(layer, ()):
        if u not in uses:
            problems.append("layer %s uses %s, which is no layer" % (layer, u))
            continue
        out |= {u} | reach(u, seen + (layer,))
    return out


below = {layer: reach(layer) for layer in uses}
for layer in uses:
    for dp, _, files in os.walk(os.path.join(src, layer)):
        for f in sorted(files):
            if not f.endswith((".cc", ".h")) or exempt_file.search(f):
                continue
            p = os.path.join(dp, f)
            for n, line in enumerate(open(p, errors="replace"), 1):
                m = include.match(line)
                if not m:
                    continue
                target = m.group(1)
                if target == layer or target not in uses and target not in exempt_dirs:
                    continue
                if target not in below[layer]:
                    problems.append("%s:%d: %s includes %s, which is not below it" %
                                    (os.path.relpath(p, root), n, layer, target))

for p in problems:
    print(p)
order = sorted(uses, key=lambda l: (len(below[l]), l))
print("layers (bottom-up): " + ", ".join("%s[%s]" % (l, " ".join(sorted(uses[l]))) for l in order))
sys.exit(1 if problems else 0)
