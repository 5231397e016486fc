#!/usr/bin/env python3
"""Reads back the CSV tables of a results folder with Python's csv module and
checks them: every table has its columns, every row its fields, and every
value that also appears in a legacy result file of the same folder agrees
with it to the precision the legacy file prints.

Usage: check_tables.py FOLDER...   (exit status 1 on the first folder that
fails; each failure is named)."""
import csv
import glob
import gzip
import io
import json
import math
import os
import re
import struct
import sys

YEARLY = ["set", "year", "model_year", "quantity", "mean", "p05", "p10", "p25", "p50", "p75", "p90", "p95"]
SUMMARY = ["set", "first_year", "last_year", "statistic", "value"]
PERRECRUIT = ["regime", "f_factor", "yield", "ssb", "tsb", "pct_virgin", "yield_per_ssb", "age_catch",
              "age_ssb", "recruits", "yield_per_recruit", "ssb_per_recruit"]
REFPOINTS = ["regime", "refpoint", "f", "yield", "ssb", "yield_per_recruit", "ssb_per_recruit"]
ITERATIONS = ["set", "iteration", "year", "ssb", "tsb", "f", "catch", "tac", "recruitment", "regime"]
QUANTITIES = {"ssb", "tsb", "f", "catch", "tac", "recruitment", "tac_change", "p_below_blim",
              "p_below_trigger", "p_crash"}
STATS = ["Cmean", "C10", "C50", "C90", "Fmean", "F10", "F50", "F90", "Smean", "SSB10", "SSB50", "SSB90",
         "Tmean", "TSB10", "TSB50", "TSB90", "IAV", "Risklim", "Probtrig", "Crash", "risk1", "risk2",
         "risk3", "tac_change_under_20"]


class Failure(Exception):
    pass


class Checker:
    def __init__(self, folder):
        self.folder = folder
        self.compared = 0

    def fail(self, what):
        raise Failure(f"{self.folder}: {what}")

    # ---- reading the tables

    def table(self, name, columns=None, opener=open):
        path = os.path.join(self.folder, name)
        with opener(path, "rt", newline="", encoding="utf-8") as f:
            text = f.read()
        if "\r" in text:
            self.fail(f"{name}: a CR in the text (lines must end with LF only)")
        rows = list(csv.reader(io.StringIO(text, newline="")))
        if not rows:
            self.fail(f"{name}: empty")
        header = rows[0]
        if columns is not None and header != columns:
            self.fail(f"{name}: columns {header}, expected {columns}")
        out = []
        for n, r in enumerate(rows[1:], start=2):
            if len(r) != len(header):
                self.fail(f"{name}: row {n} has {len(r)} fields, the header {len(header)}")
            for h, v in zip(header, r):
                if v != "" and h not in ("quantity", "statistic", "refpoint") and not is_number(v):
                    self.fail(f"{name}: row {n}, column {h}: not a number: {v!r}")
            out.append(dict(zip(header, r)))
        return header, out

    # ---- comparing with a legacy field

    def compared_since(self, name, before):
        """A legacy file that is there and holds finished sets must have
        given values to compare; one that gave none checked nothing."""
        if self.compared == before:
            self.fail(f"{name}: no value compared with the tables")

    def same(self, where, value, field, decimals):
        """value: the table's text; field: the legacy text printed with
        `decimals` decimals (asterisks: too wide, nothing to compare)."""
        field = field.strip()
        if "*" in field or field == "":
            return
        if value == "":
            self.fail(f"{where}: empty in the table, {field} in the legacy file")
        v = f32(float(value))
        legacy = float(field)
        tol = 0.5 * 10.0 ** (-decimals) * (1 + 1e-6) + 1e-12
        if not abs(v - legacy) <= tol:
            self.fail(f"{where}: table {value}, legacy file {field}")
        self.compared += 1


def is_number(v):
    if v in ("Inf", "-Inf"):
        return True
    try:
        x = float(v)
    except ValueError:
        return False
    return math.isfinite(x)


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def layout_fields(layout):
    """Fields of a flat laid-out record such as "(i5,2x,4f7.1)": a list of
    (kind, width, decimals), kind 'i', 'f' or 'x'."""
    out = []
    for item in layout.strip("()").replace(" ", "").split(","):
        m = re.fullmatch(r"(\d*)([ifx])(\d*)(?:\.(\d+))?", item)
        if m is None:
            m2 = re.fullmatch(r"(\d+)x", item)
            out.append(("x", int(m2.group(1)), 0))
            continue
        rep, kind, w, d = m.groups()
        rep = int(rep) if rep else 1
        if kind == "x":
            out.append(("x", rep, 0))
            continue
        out.extend([(kind, int(w), int(d or 0))] * rep)
    return out


def split_layout(line, layout):
    """The data fields of a record under a flat layout, with their decimals."""
    vals = []
    at = 0
    for kind, w, d in layout_fields(layout):
        if kind != "x":
            vals.append((line[at:at + w], d))
        at += w
    return vals


def records(path):
    with open(path, "rb") as f:
        data = f.read().decode("latin-1")
    return data.split("\r\n")[:-1] if data.endswith("\r\n") else data.split("\r\n")


OPTION_LAYOUTS = {1: "(2f10.1,4f10.3,5f10.1,6f6.3)", 7: "(2f10.1,4f10.3,5f10.1,6f6.3)",
                  2: "(3f10.1,4f10.3,5f10.1,6f6.3)", 3: "(2f10.1,5f10.3,5f10.1,6f6.3)",
                  4: "(2f10.1,5f10.3,5f10.1,6f6.3)", 5: "(3f10.1,5f10.3,5f10.1,6f6.3)",
                  6: "(4f10.1,5f10.3,5f10.1,6f6.3)", 8: "(2f10.1,6f10.3,5f10.1,6f6.3)"}
TAIL = "f5.2,f10.2,f5.1,2f10.2,2f10.1,2f5.2,3f6.3,4f10.1,4f8.3,12f8.1)"
SUMMARY_LAYOUTS = {1: "(2f10.2,3f10.3,f5.2,f10.1,f5.1,3f10.1,6f6.3,4f10.1,4f8.3,12f8.1)",
                   7: "(2f10.2,3f10.3,f5.2,f10.1,f5.1,3f10.1,6f6.3,4f10.1,4f8.3,12f8.1)",
                   2: "(3f10.2,3f10.3," + TAIL, 3: "(2f10.2,4f10.3," + TAIL, 4: "(2f10.1,4f10.3," + TAIL,
                   5: "(2f10.1,5f10.3," + TAIL, 8: "(2f10.1,5f10.3," + TAIL, 6: "(4f10.1,4f10.3," + TAIL}


def check_folder(folder):
    c = Checker(folder)
    with open(os.path.join(folder, "run.json"), encoding="utf-8") as f:
        run = json.load(f)
    for key in ("program", "command_line", "started", "ended", "seed", "inputs", "option_sets",
                "sets_finished", "seconds_per_set", "threads", "sets_started_from_a_guess", "sets_rerun",
                "files_written", "exit_status", "stop_message"):
        if key not in run:
            c.fail(f"run.json: no {key}")
    for name in run["files_written"]:
        if not os.path.exists(os.path.join(folder, name)):
            c.fail(f"run.json names {name}, which is not there")
    if run["exit_status"] != 0:
        # A run that stopped: the record says why, and the tables it wrote
        # hold whole sets only.
        if not run["stop_message"]:
            c.fail("run.json: a stopped run without its message")
        if not os.path.exists(os.path.join(folder, "sets.csv")):
            return c.compared
        if len(c.table("sets.csv")[1]) != run["sets_finished"]:
            c.fail("sets.csv: not the finished sets of run.json")
        return c.compared
    sets_header, sets = c.table("sets.csv")
    if sets_header[0] != "set" or sets_header[-1] != "rule" or len(set(sets_header)) != len(sets_header):
        c.fail(f"sets.csv: columns {sets_header}")
    _, yearly = c.table("yearly.csv", YEARLY)
    _, summary = c.table("summary.csv", SUMMARY)
    _, perrec = c.table("perrecruit.csv", PERRECRUIT)
    _, refp = c.table("refpoints.csv", REFPOINTS)
    iters = None
    if os.path.exists(os.path.join(folder, "iterations.csv.gz")):
        _, iters = c.table("iterations.csv.gz", ITERATIONS, opener=gzip.open)

    nsets = len(sets)
    if [int(r["set"]) for r in sets] != list(range(1, nsets + 1)):
        c.fail("sets.csv: sets not numbered 1, 2, ...")
    if run["option_sets"] != nsets or run["sets_finished"] != nsets:
        c.fail(f"run.json: {run['option_sets']} option sets, sets.csv {nsets}")
    rule = int(sets[0]["rule"]) if sets else 0
    for r in yearly:
        if r["quantity"] not in QUANTITIES:
            c.fail(f"yearly.csv: quantity {r['quantity']}")
    for r in summary:
        if r["statistic"] not in STATS:
            c.fail(f"summary.csv: statistic {r['statistic']}")
    yr = {(int(r["set"]), int(r["model_year"]), r["quantity"]): r for r in yearly}
    year0 = int(yearly[0]["year"]) - int(yearly[0]["model_year"]) if yearly else 0
    sm = {(int(r["set"]), int(r["first_year"]) - year0, int(r["last_year"]) - year0, r["statistic"]): r["value"]
          for r in summary}
    if len(yr) != nsets * 10 * 41 or len(yr) != len(yearly):
        c.fail(f"yearly.csv: {len(yearly)} rows for {nsets} sets")
    option_cols = sets_header[1:-1]

    # ---- Results: options, yearly means and fractile tables, set by set
    path = os.path.join(folder, "Results")
    if os.path.exists(path):
        before = c.compared
        lines = records(path)
        s = 0
        i = 0
        fractile_tables = {"Fractiles for TAC": "tac", "Fractiles for True F": "f",
                           "Fractiles for True SSB": "ssb", "Fractiles for True TSB": "tsb",
                           "Fractiles for Recruitment": "recruitment"}
        decimals = {"tac": 1, "f": 3, "ssb": 1, "tsb": 1, "recruitment": 1}
        while i < len(lines):
            t = lines[i].strip()
            if t == "Options for this run:":
                s += 1
                vals = split_layout(lines[i + 2], OPTION_LAYOUTS[rule])
                for col, (v, d) in zip(option_cols, vals):
                    c.same(f"Results set {s} option {col}", sets[s - 1][col], v, d)
                i += 3
                continue
            if t == "Yearly true mean values":
                for y in range(41):
                    f = split_layout(lines[i + 2 + y], "(i5,2x,f7.3,3f7.0,4f7.1)")
                    for (v, d), q in zip(f[1:], ["f", "ssb", "catch", "tac", None, "p_below_trigger",
                                                 "p_below_blim", "p_crash"]):
                        if q is None or (q == "p_below_trigger" and y == 0):
                            continue
                        c.same(f"Results set {s} year {y} mean {q}", yr[(s, y, q)]["mean"], v, d)
                i += 43
                continue
            if t in fractile_tables or t.startswith("Fractiles for IAV"):
                q = fractile_tables.get(t, "tac_change")
                first = 1 if q == "tac_change" else 0
                lay = {"tac": "(i5,2x,4f10.1)", "ssb": "(i5,2x,4f10.1)", "tsb": "(i5,2x,4f10.1)",
                       "recruitment": "(i5,2x,4f10.1)", "f": "(i5,2x,4f7.3)", "tac_change": "(i5,2x,4f7.1)"}[q]
                for y in range(first, 41):
                    f = split_layout(lines[i + 2 + y - first], lay)
                    if int(f[0][0]) != y + year0:
                        c.fail(f"Results set {s}: {t} year {f[0][0]}")
                    for (v, d), col in zip(f[1:], ["mean", "p10", "p50", "p90"]):
                        c.same(f"Results set {s} {q} year {y} {col}", yr[(s, y, q)][col], v, d)
                i += 2 + 41 - first
                continue
            i += 1
        if s != nsets:
            c.fail(f"Results holds {s} sets, sets.csv {nsets}")
        if nsets > 0:
            c.compared_since("Results", before)

    # ---- the window summary files
    windows = [("First_5", 1, 5), ("All_years", 1, 40)]
    for p in glob.glob(os.path.join(folder, "Years*")):
        m = re.fullmatch(r"Years([ \d]{2})_([ \d]{2})", os.path.basename(p))
        if m:
            windows.append((os.path.basename(p), int(m.group(1)), int(m.group(2))))
    for name, first, last in windows:
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            continue
        before = c.compared
        lines = records(path)[1:]
        if len(lines) != nsets:
            c.fail(f"{name} holds {len(lines)} records, sets.csv {nsets}")
        for s, line in enumerate(lines, start=1):
            f = split_layout(line, SUMMARY_LAYOUTS[rule])
            nopt = len(option_cols)
            for col, (v, d) in zip(option_cols, f[:nopt]):
                c.same(f"{name} set {s} option {col}", sets[s - 1][col], v, d)
            for stat, (v, d) in zip(STATS, f[nopt:]):
                key = (s, first, last, stat)
                if key not in sm:
                    c.fail(f"summary.csv: no {stat} for set {s}, years {first}..{last}")
                c.same(f"{name} set {s} {stat}", sm[key], v, d)
            # The legacy risk is the third risk of advice when Blim is fixed.
            if sm[(s, first, last, "risk3")] != sm[(s, first, last, "Risklim")]:
                c.fail(f"summary.csv set {s} years {first}..{last}: risk3 differs from Risklim")
        if nsets > 0:
            c.compared_since(name, before)

    # ---- Yieldrecr: the per-recruit table and Fmax, F0.1 per regime
    path = os.path.join(folder, "Yieldrecr")
    if os.path.exists(path):
        before = c.compared
        pr = {}
        for r in perrec:
            pr.setdefault(int(r["regime"]), []).append(r)
        rp = {(int(r["regime"]), r["refpoint"]): r for r in refp}
        regime = 0
        row = 0
        cols = PERRECRUIT[1:10]
        for line in records(path):
            t = line.strip()
            m = re.fullmatch(r"Recruitment regime:\s+(\d+)", t)
            if m:
                regime = int(m.group(1))
                row = 0
                continue
            if re.fullmatch(r"-?\d+\.\d{3}\s.*", t) and not t.startswith("F"):
                f = split_layout(line, "(f6.3,3f10.2,2f8.3,2f8.2,f10.2)")
                got = pr[regime][row]
                for col, (v, d) in zip(cols, f):
                    if col in ("age_catch", "age_ssb") and float(v) < 0:
                        if got[col] != "":
                            c.fail(f"perrecruit.csv regime {regime} row {row + 1}: {col} should be empty")
                        continue
                    c.same(f"Yieldrecr regime {regime} row {row + 1} {col}", got[col], v, d)
                row += 1
                continue
            for label, point, col, d in (("F at Ymax (approx):", "Fmax", "f", 2), ("Yield at Fmax:", "Fmax", "yield", 2),
                                         ("SSB at Fmax:", "Fmax", "ssb", 2), ("F0.1:", "F0.1", "f", 3),
                                         ("Yield at F0.1:", "F0.1", "yield", 2), ("SSB at F0.1:", "F0.1", "ssb", 2)):
                if t.startswith(label):
                    v = t[len(label):]
                    got = rp[(regime, point)][col]
                    if float(v) == -1.0 and got == "":
                        continue
                    c.same(f"Yieldrecr regime {regime} {point} {col}", got, v, d)
            if regime and row and t == "" and len(pr[regime]) < row:
                c.fail(f"perrecruit.csv regime {regime}: rows missing")
        if perrec:
            c.compared_since("Yieldrecr", before)

    # ---- per-iteration files against the series
    if iters is not None:
        it = {(int(r["set"]), int(r["iteration"]), int(r["year"]) - year0): r for r in iters}
        if len(it) != nsets * 1000 * 41:
            c.fail(f"iterations.csv.gz: {len(iters)} rows for {nsets} sets")
        path = os.path.join(folder, "S0_distr")
        if os.path.exists(path):
            s = 0
            for line in records(path):
                if line.startswith(" Btrig1") or line.startswith(" B0"):
                    s += 1
                    continue
                m = re.fullmatch(r"\s*(\d+)\s+(-?[\d.]+)", line)
                if m and len(line) == 15:
                    c.same(f"S0_distr set {s} iteration {m.group(1)}", it[(s, int(m.group(1)), 0)]["ssb"],
                           line[5:15], 0)
        path = os.path.join(folder, "F_distr")
        if os.path.exists(path):
            s = 0
            for line in records(path):
                if line.startswith(" Btrig1") or line.startswith(" B0"):
                    s += 1
                    continue
                if len(line) == 24 and re.fullmatch(r"[ \d]{10}[ \d.*-]{14}", line):
                    i, y = int(line[0:5]), int(line[5:10])
                    c.same(f"F_distr set {s} iteration {i} year {y}", it[(s, i, y)]["f"], line[17:24], 3)
        path = os.path.join(folder, "Traj")
        if os.path.exists(path):
            s = 0
            for line in records(path):
                if line.startswith(" Btrig1") or line.startswith(" B0"):
                    s += 1
                    continue
                label = line[0:10].strip()
                col, d = {"TAC": ("tac", 0), "True_bas": ("ssb", 0), "True_F": ("f", 3),
                          "Recruits": ("recruitment", 0)}.get(label, (None, 0))
                if col is None:
                    continue
                i = int(line[10:15])
                for y in range(41):
                    c.same(f"Traj set {s} iteration {i} {label} year {y}", it[(s, i, y)][col],
                           line[15 + 10 * y:25 + 10 * y], d)
    return c.compared


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    total = 0
    for folder in argv[1:]:
        try:
            n = check_folder(folder)
        except Failure as e:
            print(f"FAILED: {e}", file=sys.stderr)
            return 1
        total += n
        print(f"{folder}: tables read back; {n} values agree with the legacy files")
    if total == 0:
        print("FAILED: no value of any folder was compared with a legacy file", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
