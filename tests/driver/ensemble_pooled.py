#!/usr/bin/env python3
"""Recomputes the pooled statistics of an ensemble from the models' own
iterations (iterations.csv.gz, from --iterations) and compares them with
OUT/ensemble.csv (to within the rounding of single-precision sums: 1e-4
relative). Usage: ensemble_pooled.py ENSEMBLE_FILE OUT BLIM

Each reference model j has the weight w_j (normalised to sum 1); each of its
N_j iterations weighs w_j / N_j. Means are weighted means; a fractile is the
first value, in ascending order, at which the cumulative weight reaches the
fraction (0.1, 0.5 and 0.899: the 100th, 500th and 899th of 1000 values of
one model); the yearly risk is the weighted share of iterations with SSB
below Blim, risk1 its mean over the window's years, risk3 its largest,
risk2 the weighted share whose lowest SSB in the window lies below Blim.
"""
import csv, gzip, math, os, sys
from collections import defaultdict

ens_file, out, blim = sys.argv[1], sys.argv[2], float(sys.argv[3])

models = []
with open(ens_file, newline="") as f:
    for row in csv.DictReader(f):
        if row["set"].strip().lower() == "reference":
            models.append((row["name"], float(row["weight"])))
total = sum(w for _, w in models)
models = [(n, w / total) for n, w in models]

def windows(name):
    seen = []
    with open(os.path.join(out, name, "summary.csv"), newline="") as f:
        for row in csv.DictReader(f):
            key = (int(row["first_year"]), int(row["last_year"]))
            if key not in seen:
                seen.append(key)
    return seen

def series(name):
    """set -> iteration -> year -> row"""
    data = defaultdict(lambda: defaultdict(dict))
    with gzip.open(os.path.join(out, name, "iterations.csv.gz"), "rt", newline="") as f:
        for row in csv.DictReader(f):
            data[int(row["set"])][int(row["iteration"])][int(row["year"])] = {
                k: float(row[k]) for k in ("ssb", "tsb", "f", "catch", "tac")}
    return data

def fractile(pairs, q):
    pairs = sorted(pairs)
    cum = 0.0
    for i, (v, w) in enumerate(pairs):
        cum += w
        if (i + 1 == len(pairs) or pairs[i + 1][0] != v) and cum >= q - 1e-9:
            return v
    return pairs[-1][0]

def relchange(t0, t1):
    return 2 * (t1 - t0) / (t0 + t1) if t0 > 0 and t1 > 0 else 0.0

def pooled(data, s, first, last):
    stats = {}
    years = range(first, last + 1)
    nf = len(years)
    for q, (label, names) in {"catch": ("C", "Cmean C10 C50 C90"), "f": ("F", "Fmean F10 F50 F90"),
                              "ssb": ("S", "Smean SSB10 SSB50 SSB90"),
                              "tsb": ("T", "Tmean TSB10 TSB50 TSB90")}.items():
        pairs, mean = [], 0.0
        for name, w in models:
            its = data[name][s]
            for it in its.values():
                m = sum(it[y][q] for y in years) / nf
                pairs.append((m, w / len(its)))
                mean += m * w / len(its)
        mname, f10, f50, f90 = names.split()
        stats[mname] = mean
        stats[f10], stats[f50], stats[f90] = (fractile(pairs, x) for x in (0.1, 0.5, 0.899))
    plim = {y: 0.0 for y in years}
    iav = risk2 = steady = 0.0
    for name, w in models:
        its = data[name][s]
        wi = w / len(its)
        for it in its.values():
            for y in years:
                if it[y]["ssb"] < blim:
                    plim[y] += wi
                r = relchange(it[y - 1]["tac"], it[y]["tac"])
                iav += wi * abs(r) / nf
                steady += wi * (abs(r) < 0.2) / nf
            if min(it[y]["ssb"] for y in years) < blim:
                risk2 += wi
    stats["IAV"] = 100 * iav
    stats["Risklim"] = stats["risk3"] = 100 * max(plim.values())
    stats["risk1"] = 100 * sum(plim.values()) / nf
    stats["risk2"] = 100 * risk2
    stats["tac_change_under_20"] = 100 * steady
    return stats

data = {name: series(name) for name, _ in models}
wins = windows(models[0][0])
written = {}
with open(os.path.join(out, "ensemble.csv"), newline="") as f:
    for row in csv.DictReader(f):
        written[(int(row["set"]), int(row["first_year"]), int(row["last_year"]), row["statistic"])] = float(row["value"])
bad = checked = 0
for s in sorted(data[models[0][0]]):
    for first, last in wins:
        for stat, value in pooled(data, s, first, last).items():
            got = written.get((s, first, last, stat))
            checked += 1
            if got is None or abs(got - value) > 1e-4 * max(abs(value), 1.0):
                print(f"set {s} {first}-{last} {stat}: ensemble.csv {got}, recomputed {value}")
                bad += 1
print(f"{checked} pooled statistics recomputed, {bad} differ")
sys.exit(1 if bad or checked == 0 else 0)
