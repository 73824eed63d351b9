"""The Snakemake workflow end to end on a simulated multi-marker study.

usage: workflow_test.py QUILLON QUILLON_SIMULATE SOURCE_DIR

Chunks of 3 and chunks beyond the marker count gather to one whole scan's files byte for byte;
the plots are PNGs of a sensible size; lambda in summary.tsv agrees with one computed here;
`snakemake --report` holds both plots and the summary.
"""

import base64
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "workflow"))
from common import png_text, read_tsv, reference_lambda, summary_lambdas

quillon, simulate, source = (os.path.abspath(a) for a in sys.argv[1:4])
snakefile = os.path.join(source, "workflow", "Snakefile")
work = tempfile.mkdtemp(prefix="quillon-workflow-test-")
MARKERS = 24


def run(command, **kwargs):
    done = subprocess.run(command, cwd=work, capture_output=True, text=True, **kwargs)
    assert done.returncode == 0, f"{command[:3]}... exit {done.returncode}\n{done.stdout}\n{done.stderr}"
    return done


def read(path):
    with open(os.path.join(work, path), "rb") as f:
        return f.read()


def snakemake(outdir, chunks, *extra):
    config = {"quillon": quillon, "bfile": "study", "covar": "study.covar", "weights": "study.weights",
              "covar_names": ["X1"], "status_model": "additive", "covariate_model": "none",
              "intercept": True, "chunks": chunks, "threads": 2, "outdir": outdir}
    with open(os.path.join(work, f"{outdir}.yaml"), "w") as f:
        json.dump(config, f)  # JSON is YAML
    return run(["snakemake", "-s", snakefile, "--configfile", f"{outdir}.yaml", "--cores", "2", *extra])


run([simulate, "--families", "60", "--min-size", "3", "--max-size", "5", "--untyped-father", "0.2",
     "--ncov", "3", "--intercept", "--model", "none", "--b1", "0.2,0.3,-0.2", "--b2", "0.4,0.5,0.1",
     "--markers", str(MARKERS), "--chromosomes", "3", "--effect-share", "0.2", "--genotype-errors", "0.01",
     "--weights", "random", "--bfile", "study", "--covar", "study.covar", "--weight-file", "study.weights",
     "--seed", "11"])
run([quillon, "scan", "--bfile", "study", "--covar", "study.covar", "--covar-name", "X1",
     "--weights", "study.weights", "--status-model", "additive", "--covariate-model", "none",
     "--threads", "1", "--quiet", "--out", "whole"])
whole = read_tsv(os.path.join(work, "whole.tsv"))
assert len(whole) == MARKERS and len({r["CHR"] for r in whole}) > 1 and read("whole.mendel").count(b"\n") > 1 \
    and all(any(r[c] != "NA" for r in whole) for c in ("WALD_P", "NFS_P")), "the study is not what the test needs"

snakemake("three", 3)
snakemake("many", MARKERS + 4)
for outdir in ("three", "many"):
    for ext in ("tsv", "mendel"):
        assert read(f"{outdir}/scan.{ext}") == read(f"whole.{ext}"), f"{outdir}/scan.{ext} differs from whole.{ext}"

kept = [r for r in whole if not r["STATUS"].startswith(("failed", "skipped"))]
lambdas = summary_lambdas(os.path.join(work, "three", "summary.tsv"))
for column in ("WALD_P", "NFS_P"):
    expected = reference_lambda([float(r[column]) for r in kept if r[column] != "NA"])
    assert math.isclose(lambdas[column], expected, rel_tol=1e-12), (column, lambdas[column], expected)
for plot in ("manhattan", "qq"):
    assert png_text(os.path.join(work, "three", f"{plot}.png"))["Title"].startswith(f"{len(kept)} markers;")

# Snakemake 7 downloads the report's scripts and stylesheets while writing it; without a
# network, write it again with those downloads answered by a placeholder.
report = ["-s", snakefile, "--configfile", "three.yaml", "--report", "report.html"]
done = subprocess.run(["snakemake", *report], cwd=work, capture_output=True, text=True)
if done.returncode != 0 and "ConnectionError" in done.stderr:
    print("no network: the report's scripts and stylesheets are left out")
    offline = ("import sys, requests\n"
               "class Offline: status_code, text = requests.codes.ok, ''\n"
               "requests.get = lambda url, *args, **kwargs: Offline()\n"
               "from snakemake import main\n"
               "sys.argv[0] = 'snakemake'\n"
               "main()\n")
    with open(shutil.which("snakemake")) as script:
        python = script.readline()[2:].split()  # snakemake's own interpreter, from its #! line
    done = subprocess.run([*python, "-c", offline, *report], cwd=work, capture_output=True, text=True)
assert done.returncode == 0, done.stderr
html = read("report.html").decode()
for name in ("manhattan.png", "qq.png", "summary.tsv", "scan.log"):
    assert base64.b64encode(read(f"three/{name}")).decode() in html, f"{name} is not in the report"
if os.environ.get("KEEP") is None: shutil.rmtree(work)
print("workflow: all checks passed")
