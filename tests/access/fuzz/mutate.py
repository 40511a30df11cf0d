#!/usr/bin/env python3
"""Damages copies of real Access files in many small ways and copies each with rowsifter-cli --sqlite-copy.

    tests/access/fuzz/mutate.py CLI DATA-FOLDER [COUNT] [SEED] [--seconds N]

Each mutant is one recipe (file, then either bytes written at an offset or a cut length), printed as a
line of JSON with what the copy did: "whole" (copied, every table and row count as in the undamaged
file), "partial" (copied, but tables or rows differ: the fault this exists to find), "refused", "hang"
(no answer within the limit), "signal", "noise" (standard output held more than the one JSON object).
Run by hand, bounded in time; CI runs the recipes the tests keep, never this.
"""
import json, os, random, shutil, sqlite3, subprocess, sys, tempfile, time

FILES = {"nwind.mdb": 2048, "DateTestDatabase.mdb": 4096, "ASampleDatabase.accdb": 4096}


def mutations(rng, name, size, page):
    pages = size // page
    kind = rng.choice(["zero-page", "cut", "byte", "tdef-field", "data-count", "garbage-page"])
    if kind == "zero-page":
        p = rng.randrange(1, pages)
        return kind, {"offset": p * page, "fill": 0, "length": page}
    if kind == "garbage-page":
        p = rng.randrange(1, pages)
        return kind, {"offset": p * page, "bytes": bytes(rng.randrange(256) for _ in range(64)).hex()}
    if kind == "cut":
        return kind, {"cut": rng.randrange(1, pages) * page}
    if kind == "byte":
        return kind, {"offset": rng.randrange(page, size), "bytes": "%02x" % rng.randrange(256)}
    return kind, None  # page-type aware kinds are chosen by the caller


def apply(src, dst, recipe):
    data = bytearray(open(src, "rb").read())
    if "cut" in recipe:
        data = data[: recipe["cut"]]
    elif "fill" in recipe:
        o = recipe["offset"]
        data[o : o + recipe["length"]] = bytes([recipe["fill"]]) * recipe["length"]
    else:
        b = bytes.fromhex(recipe["bytes"])
        data[recipe["offset"] : recipe["offset"] + len(b)] = b
    open(dst, "wb").write(data)


def counts(path):
    con = sqlite3.connect(path)
    names = [r[0] for r in con.execute("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'rowsifter%'")]
    out = {n: con.execute('SELECT count(*) FROM "%s"' % n.replace('"', '""')).fetchone()[0] for n in names}
    con.close()
    return out


def run(cli, src, work, seconds):
    out = os.path.join(work, "copy.sqlite")
    env = dict(os.environ, ROWSIFTER_ACCESS_DEADLINE=str(seconds), ROWSIFTER_ACCESS_MEMORY_MB="1024")
    started = time.time()
    try:
        p = subprocess.run(["prlimit", "--as=%d" % (1536 << 20), cli, "-d", src, "--sqlite-copy", out, "-q", "--json"],
                           capture_output=True, timeout=seconds * 3 + 5, env=env)
    except subprocess.TimeoutExpired:
        return {"result": "hang"}, None
    lines = [l for l in p.stdout.decode(errors="replace").splitlines() if l.strip()]
    took = round(time.time() - started, 2)
    if p.returncode < 0:
        return {"result": "signal", "signal": -p.returncode, "seconds": took}, None
    try:
        obj = json.loads(lines[-1]) if lines else {}
    except ValueError:
        obj = {}
    res = {"seconds": took}
    if len(lines) != 1:
        res["noise"] = len(p.stdout)
    if obj.get("ok") and os.path.exists(out):
        c = counts(out)
        os.remove(out)
        return dict(res, result="copied"), c
    res["result"] = "refused"
    res["error"] = obj.get("error", p.stderr.decode(errors="replace")[-200:])
    return res, None


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    seconds = 3
    if "--seconds" in sys.argv:
        seconds = float(sys.argv[sys.argv.index("--seconds") + 1])
        args.remove(sys.argv[sys.argv.index("--seconds") + 1])
    cli, data = args[0], args[1]
    count = int(args[2]) if len(args) > 2 else 100
    rng = random.Random(int(args[3]) if len(args) > 3 else 1)
    work = tempfile.mkdtemp(prefix="access-mutants-")
    try:
        whole = {}
        pagetypes = {}
        for name in FILES:
            r, c = run(cli, os.path.join(data, name), work, seconds)
            whole[name] = c
            raw = open(os.path.join(data, name), "rb").read()
            pagetypes[name] = [raw[i * FILES[name]] for i in range(len(raw) // FILES[name])]
        for n in range(count):
            name = rng.choice(list(FILES))
            page = FILES[name]
            src = os.path.join(data, name)
            size = os.path.getsize(src)
            kind, recipe = mutations(rng, name, size, page)
            if recipe is None:
                wanted = 2 if kind == "tdef-field" else 1  # table definition / data page
                candidates = [i for i, t in enumerate(pagetypes[name]) if t == wanted]
                p = rng.choice(candidates)
                if kind == "tdef-field":
                    width = rng.choice([2, 4])
                    value = rng.choice([0, 1, 0xFF, 0xFFFF, 0x7FFFFFFF, rng.randrange(1 << (8 * width))]) & ((1 << (8 * width)) - 1)
                    recipe = {"offset": p * page + rng.randrange(0, 64 - width), "bytes": value.to_bytes(width, "little").hex()}
                else:
                    at = 12 if page == 4096 else 8  # the number of rows on a data page
                    have = int.from_bytes(open(src, "rb").read()[p * page + at : p * page + at + 2], "little")
                    recipe = {"offset": p * page + at, "bytes": (have + rng.choice([1, 2, -1])).to_bytes(2, "little", signed=True).hex()}
            recipe = dict({"file": name}, **recipe)
            mutant = os.path.join(work, "mutant" + os.path.splitext(name)[1])
            apply(src, mutant, recipe)
            res, c = run(cli, mutant, work, seconds)
            if res["result"] == "copied":
                res["result"] = "whole" if c == whole[name] else "partial"
                if c != whole[name]:
                    res["tables"] = len(c)
                    res["differs"] = sorted(set(c.items()) ^ set(whole[name].items()))[:4]
            if "noise" in res:
                res["result"] += "+noise"
            left = [f for f in os.listdir(work) if not f.startswith("mutant")]
            if left:
                res["left"] = left
                for f in left:
                    os.remove(os.path.join(work, f))
            print(json.dumps(dict(recipe=recipe, kind=kind, **res), default=str), flush=True)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
