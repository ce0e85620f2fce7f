#!/usr/bin/env python3
"""mutants-helper: the list reader, the scratch copy's upkeep and the text
replacement of scripts/mutants, which calls it (helper COMMAND ARGS...).
"""
import os, re, shutil, sys

def parse(path):
    """Entries of the list: [id] headers, then key = value lines."""
    entries, cur = [], None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            m = re.fullmatch(r"\[([A-Za-z0-9_.-]+)\]\s*", line)
            if m:
                cur = {"id": m.group(1), "pairs": [], "repeat": "1", "run": "", "what": "", "file": ""}
                entries.append(cur)
                continue
            m = re.fullmatch(r"\s*([a-z]+)\s*=\s?(.*)", line)
            if not m or cur is None:
                sys.exit(f"{path}:{number}: not an entry line: {line}")
            key, value = m.group(1), m.group(2).rstrip()
            if key == "find":
                cur["pairs"].append([value, None])
            elif key == "replace":
                if not cur["pairs"] or cur["pairs"][-1][1] is not None:
                    sys.exit(f"{path}:{number}: replace without its find")
                cur["pairs"][-1][1] = value
            elif key in ("what", "file", "run", "repeat"):
                cur[key] = value
            else:
                sys.exit(f"{path}:{number}: unknown key {key}")
    for e in entries:
        if not e["file"] or not e["pairs"] or not e["run"] or any(r is None for _, r in e["pairs"]):
            sys.exit(f"{path}: entry {e['id']} needs file, run and find/replace pairs")
    return entries

def unescape(text):
    return text.replace("\\n", "\n").replace("\\t", "\t")

def pattern(find):
    """The find text as a pattern that tolerates reformatting: words must be
    separated by some whitespace, anything else by any (or none)."""
    tokens = re.findall(r"\w+|\S", unescape(find))
    out = ""
    for i, tok in enumerate(tokens):
        if i:
            word = re.match(r"\w", tokens[i - 1]) and re.match(r"\w", tok)
            out += r"\s+" if word else r"\s*"
        out += re.escape(tok)
    return re.compile(out)

def applied(entry, text):
    """The text with the entry's pairs applied in turn, or why not."""
    for n, (find, replace) in enumerate(entry["pairs"], 1):
        matches = list(pattern(find).finditer(text))
        if len(matches) != 1:
            return None, f"find #{n} " + ("not found" if not matches else f"found {len(matches)} times")
        m = matches[0]
        text = text[:m.start()] + unescape(replace) + text[m.end():]
    return text, ""

def sources(root):
    """The C and C++ files outside tests, benchmarks and build output."""
    skip = {".git", "build", "out", "tmp", ".cache", "tests", "bench", "scripts", "docs"}
    for base, dirs, files in os.walk(root):
        if os.path.relpath(base, root) == ".":
            dirs[:] = [d for d in dirs if d not in skip]
        for name in files:
            if name.endswith((".c", ".cpp", ".h")):
                yield os.path.relpath(os.path.join(base, name), root)

def locate(entry, root):
    """Where the fault applies and the file's text with it, or why not and
    None. The entry's file first; when the code has moved out of it, the one
    source file where every find is found exactly once, so that moving code
    between files never retires a fault silently."""
    why = "no such file " + entry["file"]
    path = os.path.join(root, entry["file"])
    if os.path.isfile(path):
        result, why = applied(entry, open(path, encoding="utf-8").read())
        if result is not None:
            return entry["file"], result
        why += " in " + entry["file"]
    found = []
    for rel in sources(root):
        if rel == entry["file"]:
            continue
        result, _ = applied(entry, open(os.path.join(root, rel), encoding="utf-8").read())
        if result is not None:
            found.append((rel, result))
    if len(found) == 1:
        return found[0]
    if len(found) > 1:
        return why + ", and it applies in " + ", ".join(f for f, _ in found), None
    return why + " (nor anywhere else)", None

cmd = sys.argv[1]
if cmd == "entries":
    # id TAB repeat TAB file TAB run TAB what, for the shell.
    # The faults named, in the order named; else every fault in list order.
    wanted = set(sys.argv[3:])
    by_id = {e["id"]: e for e in parse(sys.argv[2])}
    for i in sys.argv[3:] or list(by_id):
        if i in by_id:
            e = by_id.pop(i)
            print("\t".join([e["id"], e["repeat"], e["file"], e["run"], e["what"]]))
    known = {e["id"] for e in parse(sys.argv[2])}
    for w in sorted(wanted - known):
        print(f"mutants: no fault named {w}", file=sys.stderr)
elif cmd == "apply":
    # apply LIST ID SCRATCH: changes the file in place and prints its path
    # (from the top of the tree); else prints why not and exits 1.
    entry = next(e for e in parse(sys.argv[2]) if e["id"] == sys.argv[3])
    where, result = locate(entry, sys.argv[4])
    if result is None:
        print(where); sys.exit(1)
    with open(os.path.join(sys.argv[4], where), "w", encoding="utf-8") as f:
        f.write(result)
    print(where)
elif cmd == "check":
    # check LIST ROOT [ID...]: whether each fault applies, changing nothing.
    wanted = set(sys.argv[4:])
    bad = 0
    for e in parse(sys.argv[2]):
        if wanted and e["id"] not in wanted:
            continue
        where, result = locate(e, sys.argv[3])
        if result is None:
            why = "does not apply: " + where
        elif where != e["file"]:
            why = f"applies in {where} (the code moved: update its file line)"
        else:
            why = "applies"
        bad += result is None
        print(f"{e['id']:40} {why}")
    sys.exit(1 if bad else 0)
elif cmd == "sync":
    # sync SOURCE SCRATCH: copies files whose content differs, removes those
    # gone from the source; build output and version control stay out.
    src, dst = sys.argv[2], sys.argv[3]
    skip = {".git", "build", "out", "tmp", ".cache"}
    seen = set()
    for base, dirs, files in os.walk(src):
        rel = os.path.relpath(base, src)
        if rel == ".":
            dirs[:] = [d for d in dirs if d not in skip]
        for name in files:
            r = os.path.normpath(os.path.join(rel, name))
            seen.add(r)
            a, b = os.path.join(src, r), os.path.join(dst, r)
            if os.path.isfile(b) and not os.path.islink(a):
                with open(a, "rb") as fa, open(b, "rb") as fb:
                    if fa.read() == fb.read():
                        continue
            os.makedirs(os.path.dirname(b), exist_ok=True)
            shutil.copy2(a, b) if os.path.islink(a) else shutil.copyfile(a, b)
            shutil.copymode(a, b)
    for base, dirs, files in os.walk(dst):
        rel = os.path.relpath(base, dst)
        if rel == ".":
            dirs[:] = [d for d in dirs if d not in skip]
        for name in files:
            r = os.path.normpath(os.path.join(rel, name))
            if r not in seen:
                os.remove(os.path.join(dst, r))
