#!/usr/bin/env python3
"""Reads a trace of the station (strace -f -xx) and checks that before each
ACK of an upload's end of file (a write of 0x06 on the line right after the
line gave a lone EOT) and before each record written to STAT.TXT, every file
the station wrote was synced since its last write and every directory whose
entries it changed was synced since. Prints the file steps leading to each
such point. Exits 1 when a point comes before its syncs or the points are
not the ones |mode| expects (upload: one end of file, one record; download:
one record).

usage: durability_trace_check.py upload|download TRACE [EXISTING]
EXISTING lists the files there before the run, one a line (default
existing.txt beside the trace).
"""
import os
import re
import sys

mode, trace = sys.argv[1], sys.argv[2]
existing_list = sys.argv[3] if len(sys.argv) > 3 else os.path.join(
    os.path.dirname(trace), "existing.txt")
# What the points write (the result logs and the exchange journal), and the
# lock a station on line holds, which protects nothing after a power cut.
EXEMPT = re.compile(r"^(STAT\.TXT|UNLINK\.TXT|EXCHANGES\.JSONL(\.\d+)?|\.kavelin2\.lock)$")
STR = re.compile(r'"((?:\\x[0-9a-f]{2})*)"(\.\.\.)?')
CALL = re.compile(r"^(\d+)\s+(\w+)\((.*)\)\s+=\s+(-?\d+|\?)")

exists = set()
if os.path.exists(existing_list):
    exists = {os.path.normpath(l.strip()) for l in open(existing_list) if l.strip()}


def text(hexes):
    return bytes.fromhex(hexes.replace("\\x", "")).decode("latin-1")


def norm(path, cwd):
    if os.path.isabs(path):
        path = os.path.relpath(path, cwd)
    return os.path.normpath(path)


def parent(path):
    return os.path.dirname(path) or "."


# Joins the halves of calls that another thread interrupted.
lines, pending = [], {}
for raw in open(trace, errors="replace"):
    raw = raw.rstrip("\n")
    m = re.match(r"^(\d+)\s+(.*) <unfinished \.\.\.>$", raw)
    if m:
        pending[m.group(1)] = m.group(2)
        continue
    m = re.match(r"^(\d+)\s+<\.\.\. \w+ resumed>(.*)$", raw)
    if m:
        raw = m.group(1) + " " + pending.pop(m.group(1), "") + m.group(2)
    lines.append(raw)

cwd = os.path.dirname(os.path.abspath(trace))
fds = {}  # fd -> ("file"|"dir"|"line", path)
dirty_files = set()
dirty_dirs = {}  # dir -> names changed since its last sync
steps = []  # the file steps since the last point, for the report
points = {"eof-ack": 0, "record": 0}
problems = []
line_input = ""


def step(s, size=0):
    # Consecutive writes to one file count as one step, their sizes added.
    if s.startswith("write ") and steps and steps[-1][0] == s:
        steps[-1][1] += size
        return
    steps.append([s, size])


def shown(s):
    return "%s (%d bytes)" % (s[0], s[1]) if s[0].startswith("write ") else s[0]


def change(path):
    dirty_dirs.setdefault(parent(path), set()).add(os.path.basename(path))


def point(what):
    late = sorted(f for f in dirty_files if not EXEMPT.match(os.path.basename(f)))
    for d, names in sorted(dirty_dirs.items()):
        if any(not EXEMPT.match(n) for n in names):
            late.append(d + "/ (entries " + ", ".join(sorted(names)) + ")")
    print("  %s after: %s" % (what, "; ".join(shown(s) for s in steps) if steps else "no file step"))
    if late:
        problems.append("%s before the sync of %s" % (what, ", ".join(late)))
    steps.clear()


for raw in lines:
    m = CALL.match(raw)
    if not m:
        continue
    _, name, args, ret = m.groups()
    if ret == "?" or int(ret) < 0:
        continue
    ret = int(ret)
    strings = [text(s[0]) for s in STR.findall(args)]
    first = args.split(",")[0].strip()
    if name in ("openat", "open", "creat") and strings:
        path = norm(strings[0], cwd)
        if name == "openat" and first not in ("AT_FDCWD",) and first.isdigit():
            base = fds.get(int(first), ("dir", "."))[1]
            path = os.path.normpath(os.path.join(base, strings[0]))
        kind = "dir" if "O_DIRECTORY" in args else "file"
        if path.endswith("com1"):
            kind = "line"
        fds[ret] = (kind, path)
        if kind == "file" and ("O_CREAT" in args or name == "creat"):
            if "O_EXCL" in args or path not in exists:
                change(path)
                step("create " + path)
            exists.add(path)
        if kind == "file" and "O_TRUNC" in args:
            dirty_files.add(path)
    elif name in ("dup", "dup2", "dup3") or (name == "fcntl" and "F_DUPFD" in args):
        old = int(first)
        if old in fds:
            fds[ret if name in ("dup", "fcntl") else int(args.split(",")[1])] = fds[old]
    elif name == "close":
        fds.pop(int(first), None)
    elif name == "read":
        fd = int(first)
        if fds.get(fd, ("", ""))[0] == "line" and strings:
            line_input = strings[0][:ret]
    elif name in ("write", "pwrite64"):
        fd = int(first)
        kind, path = fds.get(fd, ("", ""))
        data = strings[0][:ret] if strings else ""
        if kind == "line":
            if data == "\x06" and line_input == "\x04":
                points["eof-ack"] += 1
                point("ACK of the end of file")
            line_input = ""
        elif kind == "file":
            if os.path.basename(path) == "STAT.TXT":
                points["record"] += 1
                point("STAT.TXT record %r" % data[:2])
            dirty_files.add(path)
            step("write " + path, ret)
    elif name in ("fsync", "fdatasync"):
        fd = int(first)
        kind, path = fds.get(fd, ("", ""))
        if kind == "dir":
            dirty_dirs.pop(path, None)
            step("%s %s/" % (name, path))
        elif kind == "file":
            dirty_files.discard(path)
            step("%s %s" % (name, path))
    elif name in ("rename", "renameat", "renameat2") and len(strings) >= 2:
        src, dst = norm(strings[0], cwd), norm(strings[1], cwd)
        change(src)
        change(dst)
        if src in dirty_files:
            dirty_files.discard(src)
            dirty_files.add(dst)
        exists.discard(src)
        exists.add(dst)
        step("rename %s %s" % (src, dst))
    elif name in ("unlink", "unlinkat") and strings:
        path = norm(strings[0], cwd)
        change(path)
        dirty_files.discard(path)
        exists.discard(path)
        step("unlink " + path)
    elif name == "mkdir" and strings:
        change(norm(strings[0], cwd))

expected = {"upload": {"eof-ack": 1, "record": 1}, "download": {"eof-ack": 0, "record": 1}}[mode]
if points != expected:
    problems.append("found %s, expected %s" % (points, expected))
for p in problems:
    print("  FAULT: " + p)
sys.exit(1 if problems else 0)
