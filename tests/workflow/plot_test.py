"""quillon-plot on one chromosome with failed, skipped, NA and zero p-values; then bad input.

usage: plot_test.py TOOL
"""

import math
import os
import random
import shutil
import subprocess
import sys
import tempfile

from common import png_text, read_tsv, reference_lambda, summary_lambdas

tool = sys.argv[1]
work = tempfile.mkdtemp(prefix="quillon-plot-test-")
header = "CHR SNP BP A1 A2 FAMILIES WALD WALD_DF WALD_P NFS NFS_P STATUS".split()
random.seed(3)
rows = []
for i in range(60):
    wald_p, nfs_p, status = random.random(), random.random(), "ok"
    if i % 20 == 3:
        wald_p = nfs_p = "NA"
        status = "failed:iteration limit reached"
    elif i % 15 == 4:
        wald_p = nfs_p = "NA"
        status = ["skipped:monomorphic", "skipped:no_families"][i % 2]
    elif i % 10 == 5:
        nfs_p, status = "NA", "warning:nfs_undefined"
    rows.append(["7", f"rs{i}", str(1000 + 50 * i), "A", "C", "12", "1", "1", wald_p, "1", nfs_p, status])
rows[0][8], rows[1][10], rows[2][8] = 0.0, 0.0, 1.0  # p = 0 in each column, p = 1
rows[6][8], rows[7][10] = 1e-9, 5e-324  # the top Wald marker; half of it is 0
scan = os.path.join(work, "scan.tsv")
with open(scan, "w") as out:
    out.write("\t".join(header) + "\n")
    out.writelines("\t".join(map(str, r)) + "\n" for r in rows)

failed = sum(r[11].startswith("failed") for r in rows)
skipped = sum(r[11].startswith("skipped") for r in rows)
kept = [r for r in rows if r[11].split(":")[0] in ("ok", "warning")]
assert (failed, skipped) == (3, 4)

run = subprocess.run([tool, scan, "--out", os.path.join(work, "t")], capture_output=True, text=True)
assert run.returncode == 0, run.stderr
title = f"{len(kept)} markers; {failed} failed and {skipped} skipped left out"
for kind in ("manhattan", "qq"):
    assert png_text(os.path.join(work, f"t.{kind}.png"))["Title"] == title

lambdas = summary_lambdas(os.path.join(work, "t.summary.tsv"))
for column, col in (("WALD_P", 8), ("NFS_P", 10)):
    pvalues = [float(r[col]) for r in kept if r[col] != "NA"]
    assert math.isclose(lambdas[column], reference_lambda(pvalues), rel_tol=1e-12), (column, lambdas)
top = [r for r in read_tsv(os.path.join(work, "t.summary.tsv")) if r["RANK"] == "1"]
assert [(r["TEST"], r["SNP"], r["P"], r["PVALUES"]) for r in top] == \
    [("WALD_P", "rs0", "0.0", str(len(kept))), ("NFS_P", "rs1", "0.0", str(sum(r[10] != "NA" for r in kept)))], top

# Lambda on each test's own df: 4-df Wald statistics inflated 1.1-fold have lambda 1.1 (read
# as 1-df p-values they would not); an interaction test whose p-values are all NA gets NA.
def upper4(x):  # P(chi2_4 > x) = exp(-x/2) (1 + x/2)
    return math.exp(-x / 2) * (1 + x / 2)


lo, hi = 0.0, 10.0
for _ in range(200):
    lo, hi = ((lo + hi) / 2, hi) if upper4((lo + hi) / 2) > 0.5 else (lo, (lo + hi) / 2)
statistics4 = [1.1 * lo * (i + 1) / 151 for i in range(301)]
diagonal = os.path.join(work, "diagonal.tsv")
with open(diagonal, "w") as out:
    out.write("CHR\tSNP\tBP\tA1\tA2\tWALD_DF\tWALD_P\tGXE_DF\tGXE_P\tNFS_P\tSTATUS\n")
    out.writelines(f"1\trs{i}\t{i + 1}\tA\tC\t4\t{upper4(x)!r}\tNA\tNA\t{(i + 0.5) / 301}\tok\n"
                   for i, x in enumerate(statistics4))
run = subprocess.run([tool, diagonal, "--out", os.path.join(work, "d")], capture_output=True, text=True)
assert run.returncode == 0, run.stderr
summary = {r["TEST"]: r for r in read_tsv(os.path.join(work, "d.summary.tsv"))}
assert abs(float(summary["WALD_P"]["LAMBDA"]) - 1.1) < 1e-9 and abs(float(summary["NFS_P"]["LAMBDA"]) - 1) < 1e-6, summary
assert (summary["GXE_P"]["LAMBDA"], summary["GXE_P"]["RANK"]) == ("NA", "NA"), summary

# A refitting scan: its rows ok:score_only show the score test's p-value (and its df) in the Wald
# panel, and the title counts them; a scan of score tests alone has the score panels.
refit = os.path.join(work, "refit.tsv")
with open(refit, "w") as out:
    out.write("CHR\tSNP\tBP\tA1\tA2\tWALD_DF\tWALD_P\tNFS_P\tSCORE_JOINT_DF\tSCORE_JOINT_P\tSTATUS\n")
    out.writelines(f"1\trs{i}\t{i + 1}\tA\tC\t" + (f"2\t{i / 1e4}\tNA\t2\t{i / 1e3}\tok\n" if i < 5 else
                   f"NA\tNA\tNA\t2\t{(i + 0.5) / 301}\tok:score_only\n") for i in range(301))
for name, columns in (("r", None), ("s", (0, 1, 2, 3, 4, 8, 9, 10))):
    if columns:
        lines = [line.rstrip("\n").split("\t") for line in open(refit)]
        with open(refit, "w") as out:
            out.writelines("\t".join(f[c] for c in columns) + "\n" for f in lines)
    run = subprocess.run([tool, refit, "--out", os.path.join(work, name)], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    summary = {r["TEST"]: r for r in read_tsv(os.path.join(work, f"{name}.summary.tsv")) if r["RANK"] == "1"}
    test = "SCORE_JOINT_P" if columns else "WALD_P"
    assert (summary[test]["PVALUES"], summary[test]["SNP"]) == ("301", "rs0"), summary
    assert abs(float(summary[test]["LAMBDA"]) - 1) < 0.02, summary
    said = "score test p-values on the 296 rows without the full fit" in png_text(os.path.join(work, f"{name}.qq.png"))["Title"]
    assert said != bool(columns), name

# Bad input: a message naming the file and line, status 1, no output.
with open(scan, "a") as out:
    out.write("7\trsX\t99\tA\tC\t1\t1\t1\tabc\t1\t0.5\tok\n")
run = subprocess.run([tool, scan, "--out", os.path.join(work, "bad")], capture_output=True, text=True)
assert run.returncode == 1 and f"{scan}, line {len(rows) + 2}: WALD_P 'abc'" in run.stderr, run.stderr
assert not [f for f in os.listdir(work) if f.startswith("bad") or f.startswith(".quillon-plot")]
shutil.rmtree(work)
print("quillon-plot: all checks passed")
