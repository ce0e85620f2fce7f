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
    # apply LIST ID SCRATCH: changes the file in place; prints why not.
    entry = next(e for e in parse(sys.argv[2]) if e["id"] == sys.argv[3])
    path = os.path.join(sys.argv[4], entry["file"])
    if not os.path.isfile(path):
        print(f"{entry['file']} does not exist"); sys.exit(1)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    for n, (find, replace) in enumerate(entry["pairs"], 1):
        matches = list(pattern(find).finditer(text))
        if len(matches) != 1:
            where = "not found" if not matches else f"found {len(matches)} times"
            print(f"find #{n} {where} in {entry['file']}"); sys.exit(1)
        m = matches[0]
        text = text[:m.start()] + unescape(replace) + text[m.end():]
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
elif cmd == "check":
    # check LIST ROOT [ID...]: whether each fault applies, changing nothing.
    wanted = set(sys.argv[4:])
    bad = 0
    for e in parse(sys.argv[2]):
        if wanted and e["id"] not in wanted:
            continue
        path = os.path.join(sys.argv[3], e["file"])
        why = "applies"
        if not os.path.isfile(path):
            why = "does not apply: no such file"
        else:
            text = open(path, encoding="utf-8").read()
            for n, (find, replace) in enumerate(e["pairs"], 1):
                k = len(pattern(find).findall(text))
                if k != 1:
                    why = f"does not apply: find #{n} " + ("not found" if not k else f"found {k} times")
                    break
                text = pattern(find).sub(lambda m: unescape(replace), text, count=1)
        bad += why != "applies"
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
