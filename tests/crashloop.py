#!/usr/bin/env python3
"""Kill -9 loop: runs the service's passes on a home whose slots cover a NONE copy, the five
transforms and the four importers, kills the process with SIGKILL at random moments, starts it
again, and checks at the end that every output is whole (counting files parse and their
signatures hold), every input was converted, no status record names an output that does not
exist, and no temporary file is left.

Usage: crashloop.py ROUNDS TARNO_EXE SOURCE_DIR [--seed N] [--keep DIR]
"""

import argparse
import hashlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# Slot number, conversion type, watched directory, output directory (None: in place).
SLOTS = [
    (0, "NONE", "none", "none"),
    (1, "CORRECTION", "corr", None),
    (2, "VRKMERGE", "merge", "merge"),
    (3, "VRK_CBX", "cbx", "cbx"),
    (4, "VRKNORMALIZE", "norm", "norm"),
    (5, "VRKSUMMARIZE", "sum", "sum"),
    (6, "BRICKSTREAM", "bs", "bs"),
    (7, "BRICKSTREAM-CHLD", "chld", "chld"),
    (8, "BRICKSTREAM-RT", "rt", "rt"),
    (9, "CBOX-RT", "cbox", "cbox"),
]
TEMP_NAME = re.compile(r"^\.tarno-[A-Za-z0-9]{6}$")


class Home:
    def __init__(self, root, source, rng):
        self.root = root
        self.rng = rng
        fixtures = os.path.join(source, "src", "transforms", "testdata")
        self.vrk = [open(os.path.join(fixtures, f), "rb").read()
                    for f in sorted(os.listdir(fixtures)) if f.endswith(".vrk")]
        self.counter = 0
        self.written = {}  # the content last put in each input, by path
        ini = ["[General]", "LogDetailed=1"]
        for slot, kind, watched, out in SLOTS:
            os.makedirs(self.path("in", watched))
            ini += ["[Directory%d]" % slot, "TrackDirectory=" + self.path("in", watched),
                    "ConvType=" + kind]
            if out is not None:
                os.makedirs(self.path("out", out))
                ini.append("OutDir=" + self.path("out", out))
            if kind == "CORRECTION":
                # Whole factors: a count corrected twice shows.
                ini.append("Correction=2 2 2 2 2 2 2")
        with open(self.path("tarno.ini"), "w", newline="") as f:
            f.write("\r\n".join(ini) + "\r\n")

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def put(self, watched, name, data):
        # As a counter or a transfer does: written whole to a hidden name, then renamed.
        final = self.path("in", watched, name)
        temp = self.path("in", watched, "." + name + ".part")
        with open(temp, "wb") as f:
            f.write(data)
        os.replace(temp, final)
        self.written[final] = data

    def add_inputs(self):
        """New files and new versions of old ones for every slot."""
        self.counter += 1
        n = self.counter
        day = 1 + n % 28
        vrk = self.vrk[n % len(self.vrk)]
        for k in range(3):
            self.put("none", "f%03d.txt" % ((3 * n + k) % 60),
                     (b"copy %d\r\n" % n) * self.rng.randint(1, 5000))
            for watched in ("corr", "merge", "cbx", "norm", "sum"):
                self.put(watched, "0812%02d.vrk" % (1 + (day + 9 * k) % 28), vrk)
        stamp = "03/%02d/2008 %02d:%02d:00" % (day, 8 + n % 10, 15 * (n % 4))
        self.put("bs", "bs%02d.dat" % (n % 10),
                 ("11|site|Store|3|Door A|1|%s|%d|%d\r\n" % (stamp, n, n // 2)).encode() * 3)
        self.put("chld", "ch%02d.dat" % (n % 10),
                 ("11|site|Hall|3|entrance|1|%s|%d|3\r\n11|site|Hall|3|CHILDREN|1|%s|2|1\r\n"
                  % (stamp, n, stamp)).encode())
        iso = "2008-03-%02d" % day
        self.put("rt", "rt%02d.dat" % (n % 10),
                 ("%s;10:00;entrance;Door A;100;10;dev1\r\n%s;10:15;entrance;Door A;%d;12;dev1\r\n"
                  % (iso, iso, 100 + n)).encode())
        self.put("cbox", "cb%02d.dat" % (n % 10),
                 ("%s;10:15:30;A;Door 1;C;X;0;%d;box;01\r\n%s;10:31:00;A;Door 1;C;X;0;%d;box;01\r\n"
                  % (iso, n, iso, n + 5)).encode())


def run_service(exe, home, rundir, kill_after):
    """Runs one pass; kills it after kill_after seconds when given. Answers (killed, seconds)."""
    start = time.monotonic()
    proc = subprocess.Popen([exe, "--home", home, "--rundir", rundir, "--once"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    killed = False
    if kill_after is not None:
        try:
            proc.wait(timeout=kill_after)
        except subprocess.TimeoutExpired:
            proc.send_signal(signal.SIGKILL)
            killed = True
    _, err = proc.communicate(timeout=300)
    if not killed and proc.returncode != 0:
        raise SystemExit("tarno --once failed (%d): %s" % (proc.returncode, err.decode()))
    return killed, time.monotonic() - start


def temp_files(root):
    return [os.path.join(d, f) for d, _, files in os.walk(root) for f in files
            if TEMP_NAME.match(f)]


def check_counting_file(path, problems):
    data = open(path, "rb").read()
    if not data.endswith(b"\r\n"):
        problems.append("%s: does not end with a line end (cut short)" % path)
        return
    lines = data[:-2].split(b"\r\n")
    if not lines or not lines[0].startswith(b"#T"):
        problems.append("%s: no model line" % path)
        return
    signature = None
    rows = []
    for line in lines:
        if len(line) >= 2 and line[:1] == b"#":
            if line[1:2] == b"S":
                signature = line[2:].decode("latin-1")
        elif len(line) >= 2 and b"Magasin" not in line and b"CNL" not in line:
            fields = line.split(b"\t")
            if len(fields) < 4 or not re.match(rb"^\d\d/\d\d/\d{4}$", fields[1].strip()):
                problems.append("%s: malformed row %r" % (path, line[:60]))
            rows.append(line)
    if signature:
        digest = hashlib.sha1(b"".join(r + b"\r\n" for r in rows)).hexdigest()
        if digest.upper() != signature.upper():
            problems.append("%s: signature does not match its rows" % path)


def count_rows(path):
    """The counts of each row of a counting file by date and time."""
    rows = {}
    for line in open(path, "rb").read().split(b"\r\n"):
        fields = line.split(b"\t")
        if len(line) >= 2 and line[:1] != b"#" and b"Magasin" not in line and b"CNL" not in line:
            rows[(fields[1].strip(), fields[2].strip())] = [int(f) for f in fields[3:] if f.strip()]
    return rows


def check_corrected(path, raw, written, problems):
    """The raw copy holds what was put in the input; each count of the corrected input is twice
    the raw count (the slots the raw file lacks are zero)."""
    if not os.path.exists(raw) or open(raw, "rb").read() != written:
        problems.append("CORRECTION: the raw copy of %s is not the input put there" % path)
        return
    corrected, original = count_rows(path), count_rows(raw)
    for key, counts in corrected.items():
        want = [2 * c for c in original.get(key, [0] * len(counts))]
        if counts[:len(want)] != want[:len(counts)]:
            problems.append("CORRECTION: %s %s holds %s, twice the raw counts are %s"
                            % (path, key, counts, want))
            return


def status_records(path):
    records = {}
    if not os.path.exists(path):
        return records
    for line in open(path, "rb").read().decode("latin-1").splitlines():
        if line.strip() and not line.startswith("#"):
            fields = line.split("\t")
            records[fields[0]] = int(fields[1])
    return records


def check(home, problems):
    for slot, kind, watched, out in SLOTS:
        in_dir = home.path("in", watched)
        status = status_records(os.path.join(in_dir, "fclist_%s%d.dst" % (kind.lower(), slot)))
        inputs = [f for f in os.listdir(in_dir)
                  if os.path.isfile(os.path.join(in_dir, f)) and not f.startswith(".")
                  and not f.endswith(".dst")]
        for name in inputs:
            size = os.path.getsize(os.path.join(in_dir, name))
            if status.get(name) != size:
                problems.append("%s: %s not recorded as converted (status %s, size %d)"
                                % (kind, name, status.get(name), size))
        for name in status:
            if not os.path.exists(os.path.join(in_dir, name)):
                continue
            if kind == "NONE":
                copy = home.path("out", out, name)
                if not os.path.exists(copy):
                    problems.append("NONE: %s recorded, its copy missing" % name)
                elif open(copy, "rb").read() != open(os.path.join(in_dir, name), "rb").read():
                    problems.append("NONE: copy of %s differs from the input" % name)
            elif kind == "CORRECTION":
                if not os.path.exists(os.path.join(in_dir, "compteursbrut", name)):
                    problems.append("CORRECTION: %s recorded, its raw copy missing" % name)
            elif name.endswith(".vrk") and not os.path.exists(home.path("out", out, name)):
                problems.append("%s: %s recorded, its output missing" % (kind, name))
        if out is not None and kind != "NONE":
            outputs = [f for f in os.listdir(home.path("out", out)) if f.endswith(".vrk")]
            if status and not outputs:
                problems.append("%s: inputs recorded, no output" % kind)
            for name in outputs:
                check_counting_file(home.path("out", out, name), problems)
        if kind == "CORRECTION":
            for name in inputs:
                check_counting_file(os.path.join(in_dir, name), problems)
                check_corrected(os.path.join(in_dir, name),
                                os.path.join(in_dir, "compteursbrut", name),
                                home.written[os.path.join(in_dir, name)], problems)
    for path in temp_files(home.root):
        problems.append("temporary file left: " + path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("rounds", type=int)
    parser.add_argument("exe")
    parser.add_argument("source")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--keep", default=None, help="home to use and keep (else a temporary one)")
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    root = args.keep or tempfile.mkdtemp(prefix="tarno-crashloop-")
    os.makedirs(root, exist_ok=True)
    rundir = os.path.join(root, "run")
    home = Home(os.path.join(root, "home"), args.source, rng)

    started = time.monotonic()
    home.add_inputs()
    _, full = run_service(args.exe, home.root, rundir, None)
    # The kill comes at a random moment of a run as long as the last one that finished; one run
    # in five is left to finish, which measures that length again.
    kills = finished = temps_seen = mid_pass = 0
    log = home.path("tarno.log")
    for _ in range(args.rounds):
        if rng.random() < 0.8:
            home.add_inputs()
        delay = None if rng.random() < 0.2 else rng.uniform(0, full * 1.1)
        logged = os.path.getsize(log) if os.path.exists(log) else 0
        killed, seconds = run_service(args.exe, home.root, rundir, delay)
        if killed and os.path.exists(log):
            with open(log, "rb") as f:
                f.seek(logged)
                mid_pass += b"processing file" in f.read()
        kills += killed
        finished += not killed
        if not killed:
            full = seconds
        temps_seen += len(temp_files(home.root))
    # Two passes without a kill: the first converts what the last kill left, the second finds
    # nothing left to do.
    run_service(args.exe, home.root, rundir, None)
    run_service(args.exe, home.root, rundir, None)
    problems = []
    check(home, problems)
    elapsed = time.monotonic() - started
    print("crash loop: seed %d, %d rounds in %.0f s (a whole run %.2f s): %d killed (%d of them "
          "after a file's conversion had begun), %d finished; temporary files seen after the "
          "rounds: %d" % (seed, args.rounds, elapsed, full, kills, mid_pass, finished, temps_seen))
    for p in problems:
        print("PROBLEM: " + p)
    if problems:
        print("home kept in " + root)
        return 1
    if not args.keep:
        shutil.rmtree(root)
    print("every check held")
    return 0


if __name__ == "__main__":
    sys.exit(main())
