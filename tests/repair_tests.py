#!/usr/bin/env python3
"""Repair of split sets from PAR2 recovery volumes, against Debian's par2.

Sets made by the real splitter (velmora.exe /split under Wine), their
recovery volumes by `par2 create` (one slice per piece, or par2's own default
slice size). Each row of the table loses pieces by one generator (the first
piece always deleted, others deleted or damaged) and runs three repairers on
fresh copies: `par2 repair`, `velmora.exe /repair` and `velmora-join`. Where
the volumes suffice all three rebuild the pieces (velmora-join the file)
byte for byte; with one loss more all three refuse and nothing changes.
velmora keeps a damaged piece as NAME.damaged (a number after it where that
is taken), velmora-join leaves the set's folder as it is, and /verify says
whether the volumes can repair the set.

Usage: repair_tests.py BUILD_DIR [ROW-LABEL...]
"""
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import split_set_tool as sst  # noqa: E402

BUILD = os.path.abspath(sys.argv[1])
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VELMORA = os.path.join(BUILD, "bin", "velmora.exe")
JOIN = os.environ.get("VELMORA_JOIN") or os.path.join(BUILD, "host", "velmora-join")
SECTION = 16384
NAME = "data.bin"
FIRST = "dataVRAX.exe"


def win(path):
    return "Z:" + path.replace("/", "\\")


def run(args, cwd=None):
    r = subprocess.run(args, cwd=cwd, capture_output=True, text=True,
                       env=dict(os.environ, VELMORA_BUILD=BUILD))
    return r.returncode, (r.stdout + r.stderr).strip()


def velmora(*args):
    return run(["bash", os.path.join(ROOT, "cmake", "wine-run.sh"), VELMORA] + list(args))


def snapshot(folder):
    return {f: hashlib.sha256(sst.read_bytes(os.path.join(folder, f))).hexdigest()
            for f in os.listdir(folder)}


def piece_names(folder):
    return [os.path.basename(p) for p in sst.pieces(os.path.join(folder, FIRST))]


# ---- the sets every row starts from ------------------------------------------

def make_set(work, label, seed):
    src = os.path.join(work, "src-" + label)
    os.makedirs(src)
    data = random.Random(seed).randbytes(100_000)
    sst.write_bytes(os.path.join(src, NAME), data)
    folder = os.path.join(work, label)
    os.makedirs(folder)
    rc, out = velmora("/split", win(os.path.join(src, NAME)), win(folder), str(SECTION))
    if rc != 0:
        sys.exit("velmora.exe /split failed (%d): %s" % (rc, out))
    return folder, data


def par2_create(folder, options, base="dataVRAX"):
    names = piece_names(folder)
    slice_size = (max(os.path.getsize(os.path.join(folder, n)) for n in names) + 3) // 4 * 4
    options = [o.replace("SLICE", str(slice_size)) for o in options]
    rc, out = run(["par2", "create", "-q"] + options + [base + ".par2"] + names, cwd=folder)
    if rc != 0:
        sys.exit("par2 create failed (%d): %s" % (rc, out))


def make_bases(work):
    own, data = make_set(work, "own", 1)
    par2_create(own, ["-sSLICE", "-c3", "-n3", "-u"])
    default, _ = make_set(work, "default", 1)
    par2_create(default, ["-r30"])  # par2's own slice size: many slices per piece
    # Beside a set, a volume of an older set of the same name (other data),
    # under a name that sorts before the set's own volumes, and no index.
    stale, _ = make_set(work, "stale", 1)
    par2_create(stale, ["-sSLICE", "-c3", "-n3", "-u"])
    older, _ = make_set(work, "older", 2)
    par2_create(older, ["-sSLICE", "-c4", "-n4", "-u"])
    os.remove(os.path.join(stale, "dataVRAX.par2"))
    shutil.copy(os.path.join(older, sorted(f for f in os.listdir(older) if ".vol" in f)[-1]),
                os.path.join(stale, "dataVRAX.old.par2"))
    return {"own": own, "default": default, "stale": stale}, data


# ---- losses --------------------------------------------------------------------

def lose(folder, rng, lost, deleted, taken):
    """Loses `lost` pieces: the first and deleted-1 others deleted, the rest
    damaged (bytes overwritten inside, or cut short). Returns the damaged
    pieces' names and bytes; with `taken`, NAME.damaged is there already."""
    names = piece_names(folder)
    chosen = [names[0]] + rng.sample(names[1:], lost - 1)
    damaged = {}
    for n, name in enumerate(chosen):
        path = os.path.join(folder, name)
        if n < deleted:
            os.remove(path)
            continue
        data = bytearray(sst.read_bytes(path))
        if rng.random() < 0.5:
            at = rng.randrange(len(data) - 64)
            data[at:at + 64] = bytes(b ^ 0x5A for b in data[at:at + 64])
        else:
            data = data[:rng.randrange(12, len(data))]
        sst.write_bytes(path, data)
        damaged[name] = bytes(data)
        if taken:
            sst.write_bytes(path + ".damaged", b"an older damaged copy")
    return damaged


# label, base set, pieces lost, of them deleted, repairable, NAME.damaged taken, par2's file to
# start from (None: every name lowercased on the way, which par2 on Linux cannot find by name)
ROWS = [
    ("volumes_mend_as_many_losses", "own", 3, 2, True, False, "dataVRAX.par2"),
    ("one_loss_too_many_changes_nothing", "own", 4, 2, False, False, "dataVRAX.par2"),
    ("first_piece_alone_lost", "own", 1, 1, True, False, "dataVRAX.par2"),
    ("damaged_name_taken_gets_a_number", "own", 2, 1, True, True, "dataVRAX.par2"),
    ("par2_default_slice_size", "default", 2, 1, True, False, "dataVRAX.par2"),
    ("stale_volume_beside_is_ignored", "stale", 3, 1, True, False, "dataVRAX.vol0+1.par2"),
    ("names_lowercased_on_the_way", "own", 3, 1, True, False, None),
]


def check_row(row, base, data, work):
    label, kind, lost, deleted, repairable, taken, par2_file = row
    failures = []

    def expect(cond, what):
        if not cond:
            failures.append("%s: %s" % (label, what))

    def state(folder):
        return {k.lower(): v for k, v in snapshot(folder).items()} if not par2_file else snapshot(folder)

    original = state(base)
    state_name = (lambda n: n.lower()) if not par2_file else (lambda n: n)
    first = FIRST.lower() if not par2_file else FIRST
    for tool in ("par2", "velmora", "join") if par2_file else ("velmora", "join"):
        folder = os.path.join(work, label + "-" + tool)
        shutil.copytree(base, folder)
        damaged = lose(folder, random.Random(label), lost, deleted, taken)
        for name in os.listdir(folder) if not par2_file else []:
            os.rename(os.path.join(folder, name), os.path.join(folder, name.lower()))
        before = state(folder)
        if tool == "par2":
            rc, out = run(["par2", "repair", "-q", par2_file], cwd=folder)
            expect((rc == 0) == repairable, "par2 repair exit code %d: %s" % (rc, out))
            after = snapshot(folder)
            expect(all(after.get(n) == h for n, h in original.items()) if repairable else after == before,
                   "par2 did not rebuild the pieces" if repairable else "par2 changed the set")
        elif tool == "velmora":
            rc, out = velmora("/verify", win(os.path.join(folder, first)))
            expect(rc == 1 and ("can repair the set" if repairable else "cannot repair the set") in out,
                   "/verify on the damaged set (%d): %s" % (rc, out))
            rc, out = velmora("/repair", win(os.path.join(folder, first)))
            after = state(folder)
            if repairable:
                expect(rc == 0, "/repair exit code %d: %s" % (rc, out))
                kept = {state_name(n) + (".damaged1" if taken else ".damaged"): hashlib.sha256(b).hexdigest()
                        for n, b in damaged.items()}
                expect(after == dict(before, **original, **kept),
                       "/repair left %s" % sorted(set(after.items()) ^ set(dict(before, **original, **kept).items())))
                rc, out = velmora("/verify", win(os.path.join(folder, first)))
                expect(rc == 0, "/verify after /repair (%d): %s" % (rc, out))
            else:
                expect(rc == 1 and "more recovery slice" in out, "/repair exit code %d: %s" % (rc, out))
                expect(after == before, "/repair changed the set")
        else:
            target = os.path.join(work, label + "-out")
            os.chmod(folder, 0o555)
            rc, out = run([JOIN, os.path.join(folder, first), target])
            os.chmod(folder, 0o755)
            expect(state(folder) == before, "velmora-join changed the set's folder")
            made = sorted(os.listdir(target)) if os.path.isdir(target) else []
            if repairable:
                expect(rc == 0 and "repaired" in out, "velmora-join exit code %d: %s" % (rc, out))
                expect(made == [NAME] and sst.read_bytes(os.path.join(target, NAME)) == data,
                       "velmora-join left %s" % made)
            else:
                expect(rc == 1 and "more needed" in out, "velmora-join exit code %d: %s" % (rc, out))
                expect(made == [], "velmora-join left %s" % made)
    return failures


def main():
    work = tempfile.mkdtemp(prefix="repair-tests-")
    try:
        bases, data = make_bases(work)
        wanted = sys.argv[2:]
        failures = []
        for row in ROWS:
            if wanted and row[0] not in wanted:
                continue
            found = check_row(row, bases[row[1]], data, work)
            print("%-40s %s" % (row[0], "ok" if not found else "FAILED"))
            failures += found
        for f in failures:
            print(f)
        return 1 if failures else 0
    finally:
        if not os.environ.get("REPAIR_TESTS_KEEP"):
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
