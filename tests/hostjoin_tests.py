#!/usr/bin/env python3
"""velmora-join (build/host) on sets made by the real splitter, velmora.exe /split
under Wine: plain and compressed, sound and damaged, with and without a target
directory, with and without checksums (added by split_set_tool.py).

Every case runs the program on a fresh copy of a set and compares the whole
case directory before and after: a success adds or replaces exactly the
rebuilt file, byte for byte the source; a failure exits with 1 and one line
naming what failed, changes and removes nothing, leaves no file under the
source's name, and keeps the joined data under a temporary name only where
the case says so.

Usage: hostjoin_tests.py BUILD_DIR [CASE-NAME...]
"""
import hashlib
import os
import random
import shutil
import stat
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import split_set_tool as sst  # noqa: E402

BUILD = os.path.abspath(sys.argv[1])
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# VELMORA_JOIN runs the table against another build of velmora-join.
JOIN = os.environ.get("VELMORA_JOIN") or os.path.join(BUILD, "host", "velmora-join")
SECTION = 20000
NAME = "data.bin"
# A FILETIME for 2001-02-03 04:05:06 UTC, and the same instant in Unix time.
WRITE_UNIX = 981173106
WRITE_FILETIME = WRITE_UNIX * 10_000_000 + 116444736000000000


def win(path):
    return "Z:" + path.replace("/", "\\")


def split(source, target, compress):
    os.makedirs(target)
    cmd = ["bash", os.path.join(ROOT, "cmake", "wine-run.sh"), os.path.join(BUILD, "bin", "velmora.exe"),
           "/split", win(source), win(target), str(SECTION)] + (["/compress"] if compress else [])
    r = subprocess.run(cmd, env=dict(os.environ, VELMORA_BUILD=BUILD), capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("velmora.exe /split failed (%d): %s%s" % (r.returncode, r.stdout, r.stderr))


def snapshot(top):
    """Everything under `top`: relative path -> digest of a regular file,
    "other" for a FIFO or the like (never opened), and each directory as
    its path with a trailing "/" -> "dir"."""
    seen = {}
    for d, dirs, files in os.walk(top):
        for sub in dirs:
            seen[os.path.relpath(os.path.join(d, sub), top) + "/"] = "dir"
        for f in files:
            p = os.path.join(d, f)
            seen[os.path.relpath(p, top)] = (hashlib.sha256(sst.read_bytes(p)).hexdigest()
                                             if stat.S_ISREG(os.lstat(p).st_mode) else "other")
    return seen


# ---- the sets every case starts from ----------------------------------------

def make_bases(work):
    rng = random.Random(11)
    source = rng.randbytes(150_000) + b"".join(b"line %d of a text that compresses\n" % i for i in range(4000))
    os.makedirs(os.path.join(work, "src"))
    sst.write_bytes(os.path.join(work, "src", NAME), source)
    bases = {}
    for kind, compress in (("plain", False), ("compressed", True)):
        split(os.path.join(work, "src", NAME), os.path.join(work, kind), compress)
        bases[kind] = os.path.join(work, kind)
    # A source whose name is that of a later piece of its own set.
    os.makedirs(os.path.join(work, "src2"))
    sst.write_bytes(os.path.join(work, "src2", "dataVRAX.000"), source)
    split(os.path.join(work, "src2", "dataVRAX.000"), os.path.join(work, "piece_named"), False)
    bases["piece_named"] = os.path.join(work, "piece_named")

    # Cabinets holding names that lead elsewhere, written as sets by the tool.
    cab = os.path.join(work, "cab")
    os.makedirs(os.path.join(cab, "ab"))
    os.makedirs(os.path.join(cab, "sub"))
    sst.write_bytes(os.path.join(cab, "ab", NAME), b"must never be written")
    sst.write_bytes(os.path.join(cab, "sub", NAME), b"must never be written either")
    sst.write_bytes(os.path.join(cab, NAME), source)
    sst.write_bytes(os.path.join(cab, "other.txt"), b"not the set's file")
    template = os.path.join(bases["compressed"], "dataVRAX.exe")
    for kind, members in (("cab_paths_only", ["ab/" + NAME, "sub/" + NAME]),
                          ("cab_extra_names", ["ab/" + NAME, NAME, "other.txt"])):
        cab_file = os.path.join(cab, kind + ".cab")
        subprocess.run(["gcab", "-c", "-z", cab_file] + members, cwd=cab, check=True)
        # "ab\data.bin" becomes "..\data.bin": a name that climbs out.
        data = sst.read_bytes(cab_file).replace(b"ab\\" + NAME.encode(), b"..\\" + NAME.encode())
        os.makedirs(os.path.join(work, kind))
        sst.write_set(template, os.path.join(work, kind, "dataVRAX.exe"), data, SECTION, True)
        bases[kind] = os.path.join(work, kind)
    # A cabinet whose one member carries a name of the Windows code page.
    subprocess.run(["gcab", "-c", "-z", "cp.cab", NAME], cwd=cab, check=True)
    data = sst.read_bytes(os.path.join(cab, "cp.cab")).replace(NAME.encode(), "café.bin".encode("cp1252"))
    os.makedirs(os.path.join(work, "cab_cp1252"))
    sst.write_set(template, os.path.join(work, "cab_cp1252", "dataVRAX.exe"), data, SECTION, True)
    bases["cab_cp1252"] = os.path.join(work, "cab_cp1252")
    return source, bases


# ---- what a case does to its set ---------------------------------------------

def piece(first, k):
    ps = sst.pieces(first)
    return k % len(ps), ps[k % len(ps)]


def flip(k):
    """One payload byte changed in the middle of piece k's data area."""
    def damage(first):
        i, p = piece(first, k)
        raw = bytearray(sst.read_bytes(p))
        start = sst.FIRST_DATA if i == 0 else sst.LATER_DATA
        raw[(start + len(raw)) // 2] ^= 0x5A
        sst.write_bytes(p, bytes(raw))
    return damage


def chunk_blocks(k, delta):
    """Piece k's ChunkRecord claims `delta` blocks more (or fewer)."""
    def damage(first):
        i, p = piece(first, k)
        raw = bytearray(sst.read_bytes(p))
        at = (sst.FIRST_CHUNK if i == 0 else 0) + 4
        struct.pack_into("<i", raw, at, struct.unpack_from("<i", raw, at)[0] + delta)
        sst.write_bytes(p, bytes(raw))
    return damage


def remove(k):
    return lambda first: os.remove(piece(first, k)[1])


def cut(k, count):
    def damage(first):
        p = piece(first, k)[1]
        os.truncate(p, os.path.getsize(p) - count)
    return damage


def append(k, data):
    def damage(first):
        with open(piece(first, k)[1], "ab") as f:
            f.write(data)
    return damage


def swap(a, b):
    def damage(first):
        pa, pb = piece(first, a)[1], piece(first, b)[1]
        da, db = sst.read_bytes(pa), sst.read_bytes(pb)
        assert da != db and len(da) == len(db)
        sst.write_bytes(pa, db)
        sst.write_bytes(pb, da)
    return damage


def header_byte(offset, value):
    def damage(first):
        raw = bytearray(sst.read_bytes(first))
        raw[sst.IMAGE_SIZE + offset] = value
        sst.write_bytes(first, bytes(raw))
    return damage


def header_name(name):
    def damage(first):
        raw = bytearray(sst.read_bytes(first))
        raw[sst.IMAGE_SIZE + 4:sst.IMAGE_SIZE + 264] = name.ljust(260, b"\0")
        sst.write_bytes(first, bytes(raw))
    return damage


def sfv_edit(old_piece, new_text):
    """Rewrites the checksum file's line for a piece (by its number or "exe")."""
    def damage(first):
        path = sst.checksum_file(first)
        lines = sst.read_bytes(path).decode().split("\r\n")
        wanted = "dataVRAX.%s " % old_piece
        assert any(line.startswith(wanted) for line in lines)
        lines = [new_text if line.startswith(wanted) else line for line in lines]
        sst.write_bytes(path, "\r\n".join(lines).encode())
    return damage


def break_after(kept_pieces):
    """What a Break leaves: the leading pieces, the header counting them."""
    def shape(first):
        for p in sst.pieces(first)[kept_pieces:]:
            os.remove(p)
        sst.set_piece_count(first, kept_pieces)
    return shape


def in_cwd(name, data=None, link_to_piece=None):
    """A file in the current directory of the run: bytes, or a hard link to a piece."""
    def prepare(case, first):
        path = os.path.join(case, "cwd", name)
        if link_to_piece is not None:
            os.link(piece(first, link_to_piece)[1], path)
        else:
            sst.write_bytes(path, data)
    return prepare


def in_target(target, name, data):
    def prepare(case, first):
        os.makedirs(os.path.join(case, "cwd", target), exist_ok=True)
        sst.write_bytes(os.path.join(case, "cwd", target, name), data)
    return prepare


def rename_set(to):
    """Every file of the set renamed by `to` (a function of the file name),
    as copy tools and FAT media do; returns the new first piece."""
    def spell(first):
        folder = os.path.dirname(first)
        for f in os.listdir(folder):
            os.rename(os.path.join(folder, f), os.path.join(folder, to(f)))
        return os.path.join(folder, to(os.path.basename(first)))
    return spell


def fifo(which):
    """Piece `which` (an index) or the checksum file ("sfv") replaced by a FIFO."""
    def damage(first):
        p = sst.checksum_file(first) if which == "sfv" else piece(first, which)[1]
        os.remove(p)
        os.mkfifo(p)
    return damage


def named(name, rename_to=None):
    """The stored name set to `name` (bytes of the set's code page); the
    pieces renamed to begin with `rename_to` as the file system spells it."""
    def shape(first):
        header_name(name)(first)
        if rename_to:
            return rename_set(lambda f: f.replace("data", rename_to, 1))(first)
    return shape


# ---- the cases ----------------------------------------------------------------
# base: the set copied; sums: "" none, "record", "sfv" (record and checksum
# file), "cut" (record flagged as cut short, and checksum file); shape: done
# before the sums; damage: after them; target: relative to the run's current
# directory; set_dir: the folder the set is copied into; spell: renames the
# set's files last and gives the new first piece; options: before the paths;
# codepage: the Python codec of the stored name; run_in: "cwd" or "set";
# code; says: texts the line must hold
# (a number stands for the file name of the piece of that index, 0 the
# first, -1 the last); kept: the joined data stay under a temporary name
# ("payload": the data areas joined, "source": the rebuilt file), or
# "partial": they are the file's name + ".partial".
MAY = "the checksum file itself may be the damaged one"
CASES = [
    dict(name="plain_here"),
    dict(name="plain_into_new_target_levels", target="out/a/b"),
    dict(name="plain_relative_first_piece", first="../set/dataVRAX.exe", target="out"),
    dict(name="plain_replaces_a_file_here", prepare=in_cwd(NAME, b"an older file")),
    dict(name="plain_missing_piece", damage=remove(6), code=1, says=["missing", 6]),
    dict(name="plain_last_piece_cut_short", damage=cut(-1, 100), code=1, says=["damaged piece", -1]),
    dict(name="plain_first_piece_cut_short", damage=cut(0, 3000), code=1, says=[0]),
    dict(name="plain_chunk_claims_a_block_more", damage=chunk_blocks(3, 1), code=1, says=[3]),
    dict(name="plain_existing_file_in_target", target="out", prepare=in_target("out", NAME, b"precious"),
         code=1, says=["already exists"], kept="source"),
    dict(name="plain_hard_link_to_a_piece_here", prepare=in_cwd(NAME, link_to_piece=4),
         code=1, says=["is a file of the set"], kept="source"),
    dict(name="source_named_like_its_piece_run_beside_it", base="piece_named", run_in="set",
         code=1, says=["dataVRAX.000 is a file of the set"], kept="source"),
    dict(name="header_name_with_a_path", damage=header_name(b"../escape.bin"), code=1,
         says=["no usable file name", 0]),
    dict(name="first_piece_missing", first="../set/nosuchVRAX.exe", code=1, says=["nosuchVRAX.exe"]),

    dict(name="sums_sound_into_target", sums="sfv", target="out"),
    dict(name="record_sound_gives_write_time", sums="record", expect_mtime=WRITE_UNIX),
    dict(name="sums_byte_in_first_piece", sums="sfv", damage=flip(0), code=1, says=[0, MAY]),
    dict(name="sums_byte_in_middle_piece", sums="sfv", damage=flip(7), code=1, says=[7, MAY]),
    dict(name="sums_byte_in_last_piece", sums="sfv", damage=flip(-1), code=1, says=[-1, MAY]),
    dict(name="sums_two_pieces_swapped", sums="sfv", damage=swap(2, 3), code=1, says=[2, MAY]),
    dict(name="sums_chunk_one_block_short", sums="sfv", damage=chunk_blocks(4, -1), code=1,
         says=[4, MAY]),
    dict(name="sums_bytes_appended_to_a_piece", sums="sfv", damage=append(5, b"stray"), code=1,
         says=[5, MAY]),
    dict(name="record_catches_a_byte_without_sfv", sums="record", damage=flip(7), code=1,
         says=["the set is damaged", "kept as"], kept="payload"),
    dict(name="record_catches_a_short_chunk_without_sfv", sums="record", damage=chunk_blocks(4, -1), code=1,
         says=["the set is damaged", "kept as"], kept="payload"),
    dict(name="sfv_line_wrong_for_a_sound_piece", sums="sfv", damage=sfv_edit("004", "dataVRAX.004 0BADC0DE"),
         code=1, says=[5, MAY]),
    dict(name="sfv_without_a_line_for_a_piece_leaves_it_to_the_record", sums="sfv",
         damage=sfv_edit("006", "")),
    dict(name="sfv_without_a_line_and_a_damaged_piece", sums="sfv",
         damage=lambda first: (sfv_edit("006", "")(first), flip(7)(first)), code=1,
         says=["the set is damaged", "kept as"], kept="payload"),
    dict(name="sfv_names_in_another_case", sums="sfv", damage=lambda first: sst.write_bytes(
        sst.checksum_file(first), sst.read_bytes(sst.checksum_file(first)).upper()), target="out"),
    dict(name="record_flags_a_changed_compressed_byte", sums="record", damage=header_byte(268, 1), code=1,
         says=["damaged in", 0]),
    # The kinds of set, each reader's verdict: a set cut short never takes the name.
    dict(name="break_cut_set_keeps_its_leading_part_as_partial", shape=break_after(6), sums="cut", target="out",
         code=1, says=["cut short by Break", "data.bin.partial holds the leading"], kept="partial"),
    dict(name="break_cut_set_beside_a_partial_stays_temporary", shape=break_after(6), sums="cut",
         prepare=in_cwd(NAME + ".partial", b"an older partial"), code=1, says=["already exists"], kept="payload"),
    dict(name="break_cut_compressed_set_keeps_its_cabinet", base="compressed", shape=break_after(3), sums="cut",
         code=1, says=["cut short by Break", "cannot be expanded", "kept as"], kept="payload"),
    # A stale piece mixed in, the checksum file written again over the mixed set.
    dict(name="sfv_rewritten_over_a_stale_piece", sums="sfv", damage=lambda first: (flip(3)(first), sst.write_sfv(
        first)), code=1, says=["the set is damaged", "written over other pieces"], kept="payload"),
    dict(name="header_counting_no_piece", shape=lambda f: sst.set_piece_count(f, 0), code=1, says=["counts 0"]),
    dict(name="header_counting_minus_one", shape=lambda f: sst.set_piece_count(f, -1), code=1, says=["counts -1"]),
    dict(name="header_counting_more_pieces_than_any_set", shape=lambda f: sst.set_piece_count(f, 400001), code=1,
         says=["counts 400001"]),
    dict(name="piece_is_a_fifo", damage=fifo(3), code=1, says=[3, "not a regular file"]),
    dict(name="checksum_file_is_a_fifo", sums="sfv", damage=fifo("sfv"), code=1, says=["not a regular file"]),

    # Paths and case: where the set lies, how its names are spelled.
    dict(name="set_in_a_folder_with_the_marker", set_dir="keepVRAX.box", sums="sfv", target="out"),
    # The old rule named a set after its folder (john.smith/docs gave johnVRAX.*).
    dict(name="old_rule_set_named_after_its_folder", shape=rename_set(lambda f: f.replace("data", "john", 1)),
         sums="sfv", target="out"),
    dict(name="lowercased_set", sums="sfv", spell=rename_set(str.lower), target="out"),
    dict(name="uppercased_set_with_its_SFV_damaged", sums="sfv", damage=flip(7), spell=rename_set(str.upper),
         code=1, says=[7, MAY]),
    dict(name="target_with_a_detour_leaves_no_folder", target="stray/../real"),
    # A first piece under any name: the later pieces and the checksum file by the stored name.
    dict(name="first_piece_renamed_found_by_stored_name", sums="sfv", target="out",
         spell=lambda first: shutil.move(first, os.path.join(os.path.dirname(first), "setup.exe"))),
    dict(name="first_piece_renamed_damage_named", sums="sfv", damage=flip(4), code=1, says=["dataVRAX.003", MAY],
         spell=lambda first: shutil.move(first, os.path.join(os.path.dirname(first), "reportVRAX.ex_"))),
    dict(name="stored_name_in_windows_1252", shape=named("résumé.bin".encode("cp1252"), "résumé"), sums="sfv",
         target="out", codepage="cp1252"),
    dict(name="stored_name_in_windows_1252_sfv_in_code_page_damaged", shape=named("résumé.bin".encode("cp1252"),
         "résumé"), sums="sfv", damage=lambda first: (sst.write_sfv(first, "cp1252"), flip(6)(first)),
         code=1, says=[6, MAY], codepage="cp1252"),
    dict(name="stored_name_in_windows_1251", shape=named("резюме.bin".encode("cp1251")), sums="record",
         options=["--codepage", "WINDOWS-1251"], codepage="cp1251"),
    dict(name="compressed_stored_name_in_windows_1252", base="cab_cp1252", shape=named("café.bin".encode("cp1252")),
         sums="record", codepage="cp1252", target="out"),
    dict(name="stored_name_not_in_the_code_page", shape=named(b"a\x81b.bin"), code=1,
         says=["a\\x81b.bin", "code page WINDOWS-1252"], codepage="cp1252"),
    dict(name="unknown_code_page", options=["--codepage", "NO-SUCH-CODE-PAGE"], code=1,
         says=["NO-SUCH-CODE-PAGE"]),

    dict(name="compressed_here", base="compressed"),
    dict(name="compressed_into_target", base="compressed", target="out/x"),
    dict(name="compressed_missing_piece", base="compressed", damage=remove(-1), code=1, says=[-1]),
    dict(name="compressed_piece_cut_short", base="compressed", damage=cut(2, 1), code=1, says=[2]),
    dict(name="compressed_sums_byte_in_middle_piece", base="compressed", sums="sfv", damage=flip(4), code=1,
         says=[4, MAY]),
    dict(name="compressed_record_catches_a_byte", base="compressed", sums="record", damage=flip(4), code=1,
         says=["the set is damaged", "kept as"], kept="payload"),
    dict(name="compressed_damaged_cabinet_kept", base="compressed", damage=flip(4), code=1,
         says=["cannot expand the joined cabinet", "kept as"], kept="payload"),
    dict(name="compressed_existing_file_in_target", base="compressed", sums="sfv", target="out",
         prepare=in_target("out", NAME, b"precious"), code=1, says=["already exists"], kept="source"),
    dict(name="cabinet_with_only_names_that_lead_elsewhere", base="cab_paths_only", code=1,
         says=["holds no file named data.bin", "kept as"], kept="payload"),
    dict(name="cabinet_with_other_names_expands_only_its_file", base="cab_extra_names", target="t"),

    dict(name="usage_without_arguments", args=[], code=1, says=["usage: velmora-join [--codepage NAME] FIRST-PIECE"]),
    dict(name="usage_with_three_arguments", args=["a", "b", "c"], code=1, says=["usage"]),
]


def apply_sums(first, sums):
    # The splitter writes its own checksums; cases without them drop them.
    if sums in ("", "record") and os.path.exists(sst.checksum_file(first)):
        os.remove(sst.checksum_file(first))
    if not sums:
        sst.strip_record(first)
        return
    sst.add_record(first, cut_short=(sums == "cut"), write_time=WRITE_FILETIME)
    if sums in ("sfv", "cut"):
        sst.write_sfv(first)
        # Any SFV tool accepts what the tool wrote.
        r = subprocess.run(["cksfv", "-q", "-g", sst.checksum_file(first)], capture_output=True, text=True)
        assert r.returncode == 0, "cksfv rejects the checksum file: " + r.stdout + r.stderr


def run_case(case, source, bases, work):
    problems = []

    def check(ok, what):
        if not ok:
            problems.append(what)

    top = os.path.join(work, "cases", case["name"])
    set_dir = os.path.join(top, case.get("set_dir", "set"))
    shutil.copytree(bases[case.get("base", "plain")], set_dir)
    os.makedirs(os.path.join(top, "cwd"))
    first = os.path.join(set_dir, sorted(f for f in os.listdir(set_dir) if f.endswith(".exe"))[0])
    first = case["shape"](first) or first if "shape" in case else first
    apply_sums(first, case.get("sums", ""))
    if "damage" in case:
        case["damage"](first)
    first = case["spell"](first) if "spell" in case else first
    if "prepare" in case:
        case["prepare"](top, first)
    # The data areas as the set now holds them: what a kept output must hold.
    joined = sst.payload(first) if case.get("kept") in ("payload", "partial") else b""

    run_dir = set_dir if case.get("run_in") == "set" else os.path.join(top, "cwd")
    target = case.get("target")
    args = case.get("args")
    if args is None:
        args = case.get("options", []) + [case.get("first", first)] + ([target] if target else [])
    dest = os.path.normpath(os.path.join(run_dir, target) if target else run_dir)
    file_name = (sst.read_header(first).name.decode(case.get("codepage", "ascii"), "surrogateescape")
                 if os.path.exists(first) else NAME)
    out = os.path.relpath(os.path.join(dest, file_name), top)
    # Directories a run may add: the target's levels.
    levels, d = set(), dest
    while d.startswith(top + os.sep):
        levels.add(os.path.relpath(d, top) + "/")
        d = os.path.dirname(d)

    before = snapshot(top)
    try:
        r = subprocess.run([JOIN] + args, cwd=run_dir, capture_output=True, timeout=30,
                           encoding="utf-8", errors="replace")
    except subprocess.TimeoutExpired:
        return ["velmora-join hung (still running after 30 s)"]
    after = snapshot(top)
    added = sorted(p for p in after if p not in before and p not in levels)
    changed = sorted(p for p in before if p in after and before[p] != after[p])
    removed = sorted(p for p in before if p not in after)

    code = case.get("code", 0)
    check(r.returncode == code, "exit code %d, expected %d" % (r.returncode, code))
    if code == 0:
        check(r.stdout == "" and r.stderr == "", "printed: " + r.stdout + r.stderr)
        path = os.path.join(top, out)
        check(os.path.isfile(path) and sst.read_bytes(path) == source, "the rebuilt file differs: " + out)
        check(set(added + changed) == {out} and not removed,
              "touched more than the rebuilt file: added %s changed %s removed %s" % (added, changed, removed))
        if "expect_mtime" in case and os.path.isfile(path):
            check(int(os.stat(path).st_mtime) == case["expect_mtime"], "write time not taken from the record")
    else:
        lines = r.stderr.splitlines()
        check(len(lines) == 1 and lines[0].startswith("velmora-join: ") and r.stdout == "",
              "not one line on standard error: %r %r" % (r.stdout, r.stderr))
        for text in case.get("says", []):
            if isinstance(text, int):
                text = os.sep + os.path.basename(piece(first, text)[1])
            check(text in r.stderr, "the line does not say %r: %s" % (text, r.stderr.strip()))
        check(not changed and not removed, "changed %s removed %s" % (changed, removed))
        check(out not in added, "a file under the source's name: " + out)
        kept = case.get("kept")
        if kept:
            # A kept file may lie in the private folder it was made in.
            files = [p for p in added if not p.endswith("/")]
            check(len(files) == 1 and all(files[0].startswith(p) for p in added if p.endswith("/")),
                  "expected one kept file, found %s" % added)
            for p in files:
                inside = os.path.relpath(os.path.join(top, p), dest)
                if kept == "partial":
                    check(p == out + ".partial" and os.path.join(top, p) in r.stderr,
                          "kept file %s is not the file's name + .partial, named by the line" % p)
                    check(len(joined) < len(source) and source.startswith(joined),
                          "the cut set does not hold a leading part of the source")
                else:
                    check(inside.startswith("vrx") and inside in r.stderr,
                          "kept file %s not a temporary in the destination named by the line" % p)
                want = joined if kept in ("payload", "partial") else source
                check(sst.read_bytes(os.path.join(top, p)) == want, "kept file %s does not hold the %s" % (p, kept))
        else:
            check(not added, "left behind: %s" % added)
    return problems


def main():
    if not os.access(JOIN, os.X_OK):
        sys.exit("velmora-join is not built: %s (./run build builds it)" % JOIN)
    chosen = set(sys.argv[2:])
    work = tempfile.mkdtemp(prefix="hostjoin.", dir=BUILD)
    try:
        source, bases = make_bases(work)
        failed = 0
        for case in CASES:
            if chosen and case["name"] not in chosen:
                continue
            problems = run_case(case, source, bases, work)
            print("%-52s %s" % (case["name"], "ok" if not problems else "FAILED"))
            for p in problems:
                print("    " + p)
            failed += bool(problems)
        print("%d of %d cases failed" % (failed, len(chosen) if chosen else len(CASES)))
        return 1 if failed else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
