"""Calibration of the gene x covariate test under population structure: 8000 null markers of
1500 affected-child trios from two subpopulations (tools/population-structure: risks 0.20 and
0.05, allele frequencies 0.15 apart, E of mean 1 in one group and 0 in the other), 30% of the
families the child alone.  Without a remedy the untyped parents' genotypes are averaged over
prevalences pooled across the groups, and the GxE z = BETA_X1 / SE is inflated (lambda above
1.15); analysed by group it is calibrated: lambda within 1 +- 0.08, and the share of p < 0.05
within the 99.9% binomial interval of 8000 draws at 0.05.

usage: population_structure_test.py BUILD_DIR TOOL
"""

import math
import os
import subprocess
import sys
import tempfile

build, tool = map(os.path.abspath, sys.argv[1:3])
MARKERS = 8000

STRATIFIED = "strata"  # --strata GROUP on the true groups

with tempfile.TemporaryDirectory(prefix="quillon-population-structure-test-") as work:
    table = os.path.join(work, "result.tsv")
    r = subprocess.run([tool, build, "--rows", "childonly30", "--analyses", "gxe," + STRATIFIED, "--markers",
                        str(MARKERS), "--families", "1500", "--seed", "2025", "--threads", "1", "--tsv", table],
                       capture_output=True, text=True)
    print(r.stdout + r.stderr)
    assert r.returncode == 0, r.returncode
    with open(table) as f:
        header = f.readline().split()
        rows = {(v[1], v[2]): dict(zip(header, v)) for v in (line.split() for line in f)}


# The 99.9% interval of the count of Bin(n, p): the counts whose lower and upper tails are
# each above 0.0005.
def binomial_interval(n, p, tail=0.0005):
    pmf = [math.exp(math.lgamma(n + 1) - math.lgamma(k + 1) - math.lgamma(n - k + 1) + k * math.log(p) +
                    (n - k) * math.log1p(-p)) for k in range(n + 1)]
    lo, below = 0, 0.0
    while below + pmf[lo] <= tail:
        below += pmf[lo]
        lo += 1
    hi, above = n, 0.0
    while above + pmf[hi] <= tail:
        above += pmf[hi]
        hi -= 1
    return lo, hi


failures = []
pooled = rows[("gxe", "GXE_Z")]
if not float(pooled["LAMBDA"]) > 1.15:
    failures.append("without strata the GxE lambda is %s, not above 1.15" % pooled["LAMBDA"])
stratified = rows[(STRATIFIED, "GXE_Z")]
n = int(stratified["MARKERS"])
if n < MARKERS * 0.99:
    failures.append("only %d of %d markers analysed" % (n, MARKERS))
if abs(float(stratified["LAMBDA"]) - 1.0) > 0.08:
    failures.append("stratified GxE lambda %s is not within 1 +- 0.08" % stratified["LAMBDA"])
lo, hi = binomial_interval(n, 0.05)
count = round(float(stratified["ERROR_005"]) * n)
if not lo <= count <= hi:
    failures.append("stratified: %d of %d p-values below 0.05, outside %d..%d" % (count, n, lo, hi))
for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
