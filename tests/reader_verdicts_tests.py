#!/usr/bin/env python3
"""One set, one verdict: a table of sets made by the real splitter (velmora.exe
/split under Wine), each shaped into a case, run through every reader of a set:
the first piece started as a process, velmora.exe /verify, velmora.exe /join
(where the build has it) and velmora-join on Linux. Each row says the exit
code every reader must give; a reader that rebuilds gives the file its name
only with exit code 0, and then byte for byte the source. The one written
difference: a set cut short by Break is sound to /verify (it holds the leading
part, exit code 0), while the rebuilding readers decline to name it.

Usage: reader_verdicts_tests.py BUILD_DIR
"""
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
SECTION = 20000
NAME = "data.bin"


def win(path):
    return "Z:" + path.replace("/", "\\")


def wine(args, cwd):
    r = subprocess.run(["bash", os.path.join(ROOT, "cmake", "wine-run.sh")] + args, cwd=cwd,
                       env=dict(os.environ, VELMORA_BUILD=BUILD, WINEPATH=win(os.path.join(BUILD, "bin"))),
                       capture_output=True, text=True)
    return r.returncode, (r.stdout + r.stderr).strip()


def has_join_command():
    """Whether this velmora.exe reads sets too: its usage names /join."""
    _, out = wine([VELMORA, "/split"], BUILD)
    return "/join" in out


# ---- how a case shapes its copy of a set ------------------------------------

def first_of(folder):
    return next(os.path.join(folder, f) for f in sorted(os.listdir(folder))
                if f.lower().endswith("vrax.exe") or f == "setup.exe")


def cut_short(folder):
    first = first_of(folder)
    for p in sst.pieces(first)[2:]:
        os.remove(p)
    sst.set_piece_count(first, 2)
    sst.add_record(first, cut_short=True)
    sst.write_sfv(first)


def sfv_short_a_line(folder):
    path = sst.checksum_file(first_of(folder))
    lines = sst.read_bytes(path).decode().split("\r\n")
    sst.write_bytes(path, "\r\n".join(l for l in lines if ".001 " not in l).encode())


def stale_piece_resummed(folder):
    """A piece of an older split of the same name mixed in, and the checksum
    file written again over the mixed set: only the record can tell."""
    first = first_of(folder)
    p = sst.pieces(first)[2]
    raw = bytearray(sst.read_bytes(p))
    raw[sst.LATER_DATA + 100:sst.LATER_DATA + 200] = bytes(100)
    sst.write_bytes(p, bytes(raw))
    sst.write_sfv(first)


def flipped_without_sfv(folder):
    first = first_of(folder)
    os.remove(sst.checksum_file(first))
    p = sst.pieces(first)[1]
    raw = bytearray(sst.read_bytes(p))
    raw[len(raw) // 2] ^= 0x5A
    sst.write_bytes(p, bytes(raw))


def lowercased(folder):
    for f in os.listdir(folder):
        os.rename(os.path.join(folder, f), os.path.join(folder, f.lower()))


def first_renamed(folder):
    """The first piece renamed on the way (a mail filter, a recipient): the
    later pieces are found by the stored name."""
    os.rename(first_of(folder), os.path.join(folder, "setup.exe"))


def flipped_with_sfv(folder):
    p = sst.pieces(first_of(folder))[3]
    raw = bytearray(sst.read_bytes(p))
    raw[len(raw) // 2] ^= 0x5A
    sst.write_bytes(p, bytes(raw))


def bytes_behind_a_data_area(folder):
    """Bytes appended to a piece, no checksum file: no part of the file."""
    first = first_of(folder)
    os.remove(sst.checksum_file(first))
    p = sst.pieces(first)[2]
    sst.write_bytes(p, sst.read_bytes(p) + b"stray")


def nothing(folder):
    pass


# label, base set, folder the set lies in, shaping, verdicts: first piece, /verify, /join, velmora-join;
# optionally the piece (by index) every failing reader names, and then nothing may be written
CASES = [
    ("sound", "plain", "set", nothing, (0, 0, 0, 0)),
    ("sound_compressed", "compressed", "set", nothing, (0, 0, 0, 0)),
    ("marker_in_its_folder", "plain", "keepVRAX.box", nothing, (0, 0, 0, 0)),
    ("dots_in_its_folder", "plain", "john.smith", nothing, (0, 0, 0, 0)),
    ("lowercased_on_the_way", "plain", "set", lowercased, (0, 0, 0, 0)),
    ("checksum_file_short_a_line", "plain", "set", sfv_short_a_line, (0, 0, 0, 0)),
    ("cut_short_by_break", "plain", "set", cut_short, (1, 0, 1, 1)),
    ("cut_short_compressed", "compressed", "set", cut_short, (1, 0, 1, 1)),
    ("stale_piece_checksum_file_rewritten", "plain", "set", stale_piece_resummed, (1, 1, 1, 1)),
    ("damaged_piece_record_only", "plain", "set", flipped_without_sfv, (1, 1, 1, 1)),
    # The first piece keeps the rule on its own name; every other reader falls back on the stored name.
    ("first_piece_renamed_setup_exe", "plain", "set", first_renamed, (1, 0, 0, 0)),
    ("first_piece_renamed_compressed", "compressed", "set", first_renamed, (1, 0, 0, 0)),
    ("damaged_piece_named_nothing_written", "plain", "set", flipped_with_sfv, (1, 1, 1, 1), 3),
    ("bytes_behind_a_data_area_no_checksum_file", "plain", "set", bytes_behind_a_data_area, (0, 0, 0, 0)),
]


def main():
    work = tempfile.mkdtemp(prefix="verdicts.", dir=BUILD)
    try:
        rng = random.Random(5)
        source = rng.randbytes(60_000) + b"".join(b"row %d of a compressible text\n" % i for i in range(3000))
        os.makedirs(os.path.join(work, "src"))
        sst.write_bytes(os.path.join(work, "src", NAME), source)
        bases = {}
        for kind, extra in (("plain", []), ("compressed", ["/compress"])):
            bases[kind] = os.path.join(work, kind)
            os.makedirs(bases[kind])
            code, out = wine([VELMORA, "/split", win(os.path.join(work, "src", NAME)), win(bases[kind]),
                              str(SECTION)] + extra, work)
            if code != 0:
                sys.exit("velmora.exe /split failed (%d): %s" % (code, out))
        join_command = has_join_command()

        passed = failed = 0
        table = []
        for label, base, folder, shape, want, *named_piece in CASES:
            case = os.path.join(work, label)
            set_dir = os.path.join(case, folder)
            shutil.copytree(bases[base], set_dir)
            piece_names = [os.path.basename(p) for p in sst.pieces(first_of(set_dir))]
            shape(set_dir)
            first = first_of(set_dir)
            verdicts = []
            os.makedirs(os.path.join(case, "cwd"))
            readers = [
                ("first piece", lambda t: wine([first, win(t)], os.path.join(case, "cwd")), want[0]),
                ("/verify", lambda t: wine([VELMORA, "/verify", win(first).replace("\\", "/")],
                                           os.path.join(case, "cwd")), want[1]),
                ("velmora-join", lambda t: _host(first, t, os.path.join(case, "cwd")), want[3]),
            ]
            if join_command:
                readers.insert(2, ("/join", lambda t: wine([VELMORA, "/join", win(first), win(t)],
                                                           os.path.join(case, "cwd")), want[2]))
            for reader, run, expected in readers:
                target = os.path.join(case, "out_" + reader.strip("/").replace(" ", "_"))
                code, out = run(target)
                rebuilt = os.path.join(target, NAME)
                problems = []
                if code != expected:
                    problems.append("exit %d, want %d" % (code, expected))
                if named_piece and code != 0 and piece_names[named_piece[0]] not in out:
                    problems.append("does not name " + piece_names[named_piece[0]])
                if named_piece and reader != "/verify" and os.path.exists(target) and os.listdir(target):
                    problems.append("wrote " + ", ".join(os.listdir(target)))
                verdicts.append(str(code))
                if reader != "/verify":
                    named = os.path.exists(rebuilt)
                    if code == 0 and (not named or sst.read_bytes(rebuilt) != source):
                        problems.append("exit 0 without the source under its name")
                    if code != 0 and named:
                        problems.append("failed, yet the file has its name")
                if problems:
                    failed += 1
                    print("FAIL %s / %s: %s\n    %s" % (label, reader, "; ".join(problems), out))
                else:
                    passed += 1
            table.append("%-40s %s" % (label, "  ".join(verdicts)))
        print("exit codes: " + ", ".join(r for r, _, _ in readers))
        print("\n".join(table))
        failed += crafted_cabinet(work, source, bases["compressed"], join_command)
        print("%d passed, %d failed" % (passed, failed))
        return 1 if failed else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


def crafted_cabinet(work, source, compressed, join_command):
    """A compressed set whose cabinet also holds "..\\data.bin" and another
    file: the readers that do not run the set's own code take only the set's
    file, and nothing leaves the target. Returns the number of failures."""
    cab = os.path.join(work, "cab")
    os.makedirs(os.path.join(cab, "ab"))
    sst.write_bytes(os.path.join(cab, "ab", NAME), b"must never be written")
    sst.write_bytes(os.path.join(cab, NAME), source)
    sst.write_bytes(os.path.join(cab, "other.txt"), b"not the set's file")
    subprocess.run(["gcab", "-c", "-z", "c.cab", "ab/" + NAME, NAME, "other.txt"], cwd=cab, check=True)
    data = sst.read_bytes(os.path.join(cab, "c.cab")).replace(b"ab\\" + NAME.encode(), b"..\\" + NAME.encode())
    case = os.path.join(work, "crafted")
    os.makedirs(os.path.join(case, "set"))
    os.makedirs(os.path.join(case, "cwd"))
    first = os.path.join(case, "set", "dataVRAX.exe")
    sst.write_set(os.path.join(compressed, "dataVRAX.exe"), first, data, SECTION, True)
    runs = [("velmora-join", lambda t: _host(first, t, os.path.join(case, "cwd")))]
    if join_command:
        runs.append(("/join", lambda t: wine([VELMORA, "/join", win(first), win(t)], os.path.join(case, "cwd"))))
    failures = 0
    expected = [os.path.relpath(p, case) for p in sst.pieces(first)]
    for reader, run in runs:
        target = os.path.join(case, "out", reader.strip("/"))
        code, out = run(target)
        expected.append(os.path.relpath(os.path.join(target, NAME), case))
        found = sorted(os.path.relpath(os.path.join(d, f), case) for d, _, fs in os.walk(case) for f in fs)
        rebuilt = os.path.join(target, NAME)
        if code != 0 or found != sorted(expected) or sst.read_bytes(rebuilt) != source:
            failures += 1
            print("FAIL crafted cabinet / %s: exit %d, files %s\n    %s" % (reader, code, found, out))
    return failures


def _host(first, target, cwd):
    r = subprocess.run([os.path.join(BUILD, "host", "velmora-join"), first, target], cwd=cwd,
                       capture_output=True, text=True)
    return r.returncode, (r.stdout + r.stderr).strip()


if __name__ == "__main__":
    sys.exit(main())
