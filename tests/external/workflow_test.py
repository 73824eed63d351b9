"""The Snakemake workflow end to end on a simulated multi-marker study.

usage: workflow_test.py QUILLON QUILLON_SIMULATE SOURCE_DIR

Chunks of 3 and chunks beyond the marker count gather to one whole scan's files byte for byte;
the plots are PNGs of a sensible size; lambda in summary.tsv agrees with one computed here;
`snakemake --report` holds both plots and the summary; with the ssf key, the chunks' summary
statistics gather to one whole scan's (the same text, index and metadata but for the file's
name and MD5).
"""

import base64
import gzip
import hashlib
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


def snakemake(outdir, chunks, *extra, ssf=None, **keys):
    config = {"ssf": ssf, "quillon": quillon, "bfile": "study", "covar": "study.covar", "weights": "study.weights",
              "covar_names": ["X1"], "status_model": "additive", "covariate_model": "none",
              "intercept": True, "chunks": chunks, "threads": 2, "outdir": outdir, **keys}
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
     "--threads", "1", "--quiet", "--out", "whole", "--ssf", "B1_X1", "--build", "GRCh38"])
whole = read_tsv(os.path.join(work, "whole.tsv"))
assert len(whole) == MARKERS and len({r["CHR"] for r in whole}) > 1 and read("whole.mendel").count(b"\n") > 1 \
    and all(any(r[c] != "NA" for r in whole) for c in ("WALD_P", "NFS_P")), "the study is not what the test needs"

snakemake("three", 3, ssf={"term": "B1_X1", "build": "GRCh38"})
# (the selection and quality-control keys at values that keep every marker and individual)
with open(os.path.join(work, "everyone"), "w") as f:
    f.writelines(line.split()[0] + " " + line.split()[1] + "\n" for line in open(os.path.join(work, "study.fam")))
snakemake("many", MARKERS + 4, fit="Newton", all_children=False, complete_trios=False, chr="1-3", keep="everyone",
          maf=0.0, geno=1.0, hwe=0.0, me=1.0)
for outdir in ("three", "many"):
    for ext in ("tsv", "mendel"):
        assert read(f"{outdir}/scan.{ext}") == read(f"whole.{ext}"), f"{outdir}/scan.{ext} differs from whole.{ext}"

ssf = gzip.decompress(read("three/scan.ssf.tsv.gz"))
assert ssf == gzip.decompress(read("whole.ssf.tsv.gz")) and ssf.count(b"\n") > MARKERS // 2
chr2 = [line for line in ssf.decode().splitlines()[1:] if line.startswith("2\t")]
assert chr2 and run(["tabix", "three/scan.ssf.tsv.gz", "2"]).stdout.splitlines() == chr2
md5 = hashlib.md5(read("three/scan.ssf.tsv.gz")).hexdigest()
assert read("three/scan.ssf.tsv.gz-meta.yaml").decode() == read("whole.ssf.tsv.gz-meta.yaml").decode().replace(
    "'whole.ssf.tsv.gz'", "'scan.ssf.tsv.gz'").replace(hashlib.md5(read("whole.ssf.tsv.gz")).hexdigest(), md5)
assert not os.path.exists(os.path.join(work, "many", "scan.ssf.tsv.gz"))

kept = [r for r in whole if not r["STATUS"].startswith(("failed", "skipped"))]
lambdas = summary_lambdas(os.path.join(work, "three", "summary.tsv"))
for column, df in (("WALD_P", 4), ("NFS_P", 1)):  # WALD: b1 and b2 of INTERCEPT and X1
    assert column == "NFS_P" or {r["WALD_DF"] for r in kept if r[column] != "NA"} == {str(df)}
    expected = reference_lambda([float(r[column]) for r in kept if r[column] != "NA"], df)
    assert math.isclose(lambdas[column], expected, rel_tol=1e-9 if df > 1 else 1e-12), (column, lambdas[column], expected)
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
