#!/usr/bin/env python3
"""Kill -9 loop: runs the service's passes on a home whose slots cover a NONE copy, the five
transforms, the four importers, a point-of-sale journal into day tables (ACURITY), a keyed-file
export (ODEIS) and the two appending back-office exports (CEGID, CYLANDE), kills the process
with SIGKILL at random moments, starts it again, and checks at the end that every output is
whole (counting files parse and their signatures hold, day tables and keyed files hold exactly
what the inputs give), every input was converted, no status record names an output that does
not exist, every line due to an appended back-office file was delivered and none was delivered
twice except in the window a kill between the append and the index replacement leaves (see
check_appended), and no temporary file is left.

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
    (10, "ACURITY", "acu", "acu"),
    (11, "ODEIS", "odeis", "odeis"),
    (12, "CEGID", "cegid", "cegid"),
    (13, "CYLANDE", "cyl", "cyl"),
]
RETAIL = {"ACURITY", "ODEIS", "CEGID", "CYLANDE"}
EXPORTS = ("odeis", "cegid", "cyl")

# The counting files of the exports: doors 1 and 2 are entrances (in/out on channels 1/2 and
# 3/4), door 3 a corridor (channels 5/6), channel 7 inactive. Export file k (1..EXPORT_FILES)
# holds the day k/03/2009 (one day per file, as the export indexes key their lines by time),
# from 08:00 on; each new version adds whole half-hours (two quarters), and a quarter's counts
# never change, so each back-office line has one right content.
EXPORT_HEADER = ("#TKT9\r\n# Shop name: Test\r\n#D1DNord\r\n#D2DSud\r\n#D3CCouloir\r\n"
                 "#C1YE1\r\n#C2YX1\r\n#C3YE2\r\n#C4YX2\r\n#C5YE3\r\n#C6YX3\r\n#C7IE1\r\n"
                 "#R1111111111111111\r\n#K1.000\r\n#F0\r\n#S\r\n"
                 "Magasin \tDate \tHeure \t CANALS\r\n\t\t\tCNL1\tCNL2\tCNL3\tCNL4\r\n")
EXPORT_FILES = 6
EXPORT_MAX_QUARTERS = 40
JOURNALS = 6


def export_counts(k, q):
    """Channels 1 to 7 of quarter q (0 is 00:00) of export file k."""
    return [1 + (7 * k + 3 * q + 5 * c) % 40 for c in range(1, 8)]


def quarter_time(q):
    return "%02d:%02d" % (q // 4, 15 * (q % 4))
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
            if kind == "CEGID":
                ini.append("ShopId=12")
        self.appends = {kind: [] for kind in APPENDED}  # per run: (lines after it, killed)
        self.export_quarters = {}  # export file number -> quarters it holds (from 08:00)
        self.journals = {}  # journal number -> its lines
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
        self.add_retail_inputs(n)

    def add_retail_inputs(self, n):
        # Two export files get a half-hour more (or, when full, are put again unchanged).
        for k in {1 + n % EXPORT_FILES, self.rng.randint(1, EXPORT_FILES)}:
            quarters = min(self.export_quarters.get(k, 0) + 2, EXPORT_MAX_QUARTERS)
            self.export_quarters[k] = quarters
            rows = "".join("001\t%02d/03/2009\t%s\t%s\r\n"
                           % (k, quarter_time(32 + q),
                              "\t".join(" %d" % c for c in export_counts(k, 32 + q)))
                           for q in range(quarters))
            for watched in EXPORTS:
                self.put(watched, "e%d.vrk" % k, (EXPORT_HEADER + rows).encode())
        # A journal gets a few more sales lines; journal j holds the day j/04/2008.
        j = 1 + n % JOURNALS
        lines = self.journals.setdefault(j, [])
        for _ in range(self.rng.randint(1, 6)):
            measure = self.rng.choice(["CUST", "STUK", "XOMZ-TOT"])
            # Turnovers in quarters of a unit: their sums are exact in binary.
            value = ("%.2f" % (self.rng.randint(1, 4000) / 4) if measure.startswith("XOMZ")
                     else "%d" % self.rng.randint(1, 30))
            lines.append("S%02d\t%s\t%s\t%02d/04/2008 %02d:%02d" % (
                j, value, measure, j, self.rng.randint(7, 20), self.rng.randint(0, 59)))
        self.put("acu", "j%d.txt" % j, ("\r\n".join(lines) + "\r\n").encode())

    def expected_day_tables(self):
        """The content of each day table the journals give, by file name."""
        tables = {}
        for j, lines in self.journals.items():
            hours = {}
            for line in lines:
                _, value, measure, stamp = line.split("\t")
                row = hours.setdefault(int(stamp[11:13]), [0, 0.0, 0])
                if measure == "CUST":
                    row[0] += int(value)
                elif measure == "STUK":
                    row[2] += int(value)
                else:
                    row[1] += float(value)
            tables["0804%02d.txt" % j] = "".join(
                " S%02d | %02d/04/08 | %02d | %6d | %10.2f | %6d |      0 |\r\n"
                % (j, j, h, c, t, a) for h, (c, t, a) in sorted(hours.items()))
        return tables

    def expected_export_lines(self, kind):
        """The lines each export must hold at the end, by their key."""
        lines = {}
        for k, quarters in self.export_quarters.items():
            for q in range(32, 32 + quarters):
                c = export_counts(k, q)
                t = quarter_time(q)
                if kind == "ODEIS":
                    lines[(k, t)] = "001\t%02d/03/2009\t%s\t%d\t%d\t%d\t0" % (k, t, c[0], c[2], c[4])
                elif kind == "CEGID":
                    # The entrance doors; the in count twice; the last 3 characters of ShopId.
                    for door, count in ((1, c[0]), (2, c[2])):
                        lines[(door, k, t)] = "%05d%02d%02d%04d%s%05d%05d012" % (
                            door, k, 3, 2009, t.replace(":", ""), count, count)
                elif kind == "CYLANDE" and q % 2 == 1:
                    # Half-hours: the sums of two quarters per door; channels past 4 count
                    # nothing, so the corridor has zeros.
                    p = export_counts(k, q - 1)
                    start = quarter_time(q - 1)
                    for door, (i, o) in ((1, (0, 1)), (2, (2, 3)), (3, (None, None))):
                        pair = (p[i] + c[i], p[o] + c[o]) if i is not None else (0, 0)
                        lines[(door, k, start)] = "%02d032009;%s;%d;%d;%d" % (
                            k, start, door, pair[0], pair[1])
        return lines


def run_service(exe, home, rundir, kill_after):
    """Runs one pass; kills it after kill_after seconds when given. Answers (killed, seconds)."""
    start = time.monotonic()
    proc = subprocess.Popen([exe, "--home", home.root, "--rundir", rundir, "--once"],
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
    for slot, kind, watched, out in SLOTS:
        if kind in APPENDED:
            home.appends[kind].append((count_lines(home.path("out", out, "ZALMORET.TXT")), killed))
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


APPENDED = {
    # Kind: the pattern of a delivered line, and the key of a match (door, day, time).
    "CEGID": (re.compile(r"^(\d{5})(\d\d)03(2009)(\d\d)(\d\d)(?P<n>\d{5})(?P=n)012$"),
              lambda m: (int(m.group(1)), int(m.group(2)), m.group(4) + ":" + m.group(5))),
    "CYLANDE": (re.compile(r"^(\d\d)032009;(\d\d:\d\d);(\d+);(\d+);(\d+)$"),
                lambda m: (int(m.group(3)), int(m.group(1)), m.group(2))),
}


REDELIVERED = {}  # kind -> lines delivered again in the window


def check_appended(kind, path, expected, rounds, problems):
    """An appended back-office file: every line due is delivered, and a line is delivered again
    only in the documented window.

    rounds lists, for every run of the service in order, (lines in the file after it, killed).
    The export appends the block of its pending lines durably, then replaces its index, which
    marks them delivered. A kill between the two leaves the block pending: the next export (in
    the first later run that appends anything) delivers the same lines again. As a quarter's
    counts never change here, a legitimate delivery of a key differs from the last one of that
    key; a line equal to the last delivery of its key is a repetition, allowed only when the
    delivery it repeats came from a killed run, no run in between appended anything, and the
    lines it repeats form the whole end of that killed run's appends (the block of its last
    export, which the kill kept from being marked)."""
    pattern, key_of = APPENDED[kind]
    data = open(path, "rb").read() if os.path.exists(path) else b""
    if data and not data.endswith(b"\r\n"):
        problems.append("%s: %s ends with a line cut short" % (kind, path))
    lines = data.decode("latin-1").split("\r\n")[:-1]
    run_of = []
    for run, (count, _) in enumerate(rounds):
        run_of += [run] * (count - len(run_of))
    if len(run_of) != len(lines):
        problems.append("%s: %s has %d lines, the runs left %d" % (kind, path, len(lines), len(run_of)))
        return
    last = {}  # key -> (line, index) of its last delivery
    repeated = {}  # killed run -> indexes of its lines delivered again
    for i, line in enumerate(lines):
        m = pattern.match(line)
        key = key_of(m) if m else None
        if key not in expected:
            problems.append("%s: line %d %r is no line of the inputs" % (kind, i + 1, line))
            continue
        before = last.get(key)
        if before is not None and before[0] == line:
            first, again = run_of[before[1]], run_of[i]
            if not rounds[first][1]:
                problems.append("%s: line %d %r delivered twice, the first run (%d) was not killed"
                                % (kind, i + 1, line, first))
            elif rounds[again - 1][0] != rounds[first][0]:
                problems.append("%s: line %d %r delivered again after a later run appended"
                                % (kind, i + 1, line))
            else:
                repeated.setdefault(first, set()).add(before[1])
        last[key] = (line, i)
    REDELIVERED[kind] = sum(len(indexes) for indexes in repeated.values())
    for run, indexes in sorted(repeated.items()):
        if indexes != set(range(min(indexes), rounds[run][0])):
            problems.append("%s: the lines of killed run %d delivered again are not the end of its "
                            "appends (%s)" % (kind, run, sorted(indexes)))
    for key, line in sorted(expected.items()):
        got = last.get(key, (None,))[0]
        if got != line:
            problems.append("%s: %s delivered last as %r, due %r" % (kind, key, got, line))


def count_lines(path):
    return open(path, "rb").read().count(b"\r\n") if os.path.exists(path) else 0


def check_retail(home, kind, out_dir, problems):
    files = sorted(f for f in os.listdir(out_dir) if not f.startswith("."))
    if kind == "ACURITY":
        tables = home.expected_day_tables()
        if files != sorted(tables):
            problems.append("ACURITY: day tables %s, due %s" % (files, sorted(tables)))
        for name, text in tables.items():
            path = os.path.join(out_dir, name)
            if os.path.exists(path) and open(path, "rb").read().decode("latin-1") != text:
                problems.append("ACURITY: %s holds %r, due %r"
                                % (name, open(path, "rb").read()[:200], text[:200]))
    elif kind == "ODEIS":
        due = sorted(home.expected_export_lines(kind).items())
        text = "".join(line + "\r\n" for _, line in due)
        path = os.path.join(out_dir, "zalmoret_client_001.txt")
        got = open(path, "rb").read().decode("latin-1") if os.path.exists(path) else None
        if got != text:
            problems.append("ODEIS: %s holds %r, due %r" % (path, (got or "")[:200], text[:200]))
    else:
        if "ZALMORET.ERR" in files:
            problems.append("%s: errors reported: %r"
                            % (kind, open(os.path.join(out_dir, "ZALMORET.ERR"), "rb").read()[:300]))
        check_appended(kind, os.path.join(out_dir, "ZALMORET.TXT"),
                       home.expected_export_lines(kind), home.appends[kind], problems)


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
        if kind in RETAIL:
            check_retail(home, kind, home.path("out", out), problems)
            continue
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
    _, full = run_service(args.exe, home, rundir, None)
    # The kill comes at a random moment of a run as long as the last one that finished; one run
    # in five is left to finish, which measures that length again.
    kills = finished = temps_seen = mid_pass = 0
    log = home.path("tarno.log")
    for _ in range(args.rounds):
        if rng.random() < 0.8:
            home.add_inputs()
        delay = None if rng.random() < 0.2 else rng.uniform(0, full * 1.1)
        logged = os.path.getsize(log) if os.path.exists(log) else 0
        killed, seconds = run_service(args.exe, home, rundir, delay)
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
    run_service(args.exe, home, rundir, None)
    run_service(args.exe, home, rundir, None)
    problems = []
    check(home, problems)
    elapsed = time.monotonic() - started
    print("crash loop: seed %d, %d rounds in %.0f s (a whole run %.2f s): %d killed (%d of them "
          "after a file's conversion had begun), %d finished; temporary files seen after the "
          "rounds: %d" % (seed, args.rounds, elapsed, full, kills, mid_pass, finished, temps_seen))
    print("appended back-office files: %s" % ", ".join(
        "%s %d lines, %d of them delivered again after a kill between append and index"
        % (kind, count_lines(home.path("out", out, "ZALMORET.TXT")), REDELIVERED.get(kind, 0))
        for _, kind, _, out in SLOTS if kind in APPENDED))
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
