"""quillon scan --ssf and --bgzip read back with tabix, Python's gzip and YAML: the summary
statistics are the TSV's coefficient with its SE and normal p-value, rows left out are
counted, a region returns exactly its rows, the metadata holds every key the GWAS Catalog
asks for, and unsorted markers are refused with no file left.

usage: ssf_test.py QUILLON QUILLON_SIMULATE
"""

import gzip
import hashlib
import math
import os
import shutil
import subprocess
import sys
import tempfile

import yaml

quillon, simulate = map(os.path.abspath, sys.argv[1:3])
work = tempfile.mkdtemp(prefix="quillon-ssf-test-")


def run(*args):
    return subprocess.run(list(args), cwd=work, capture_output=True, text=True)


def table(text):
    lines = text.splitlines()
    return lines[0].split("\t"), [line.split("\t") for line in lines[1:]]


def region(path, where):
    r = run("tabix", path, where)
    assert r.returncode == 0, r.stderr
    return [line.split("\t") for line in r.stdout.splitlines()]


r = run(simulate, "--families", "40", "--markers", "30", "--chromosomes", "2", "--ncov", "1", "--covar", "st.covar",
        "--seed", "5", "--bfile", "st")
assert r.returncode == 0, r.stderr
bim = [line.split("\t") for line in open(os.path.join(work, "st.bim")).read().splitlines()]
bim[2][1], bim[3][1] = "rs123", "rs12a"  # an rsid, and an ID that is none
bim[4][4] = "I"                          # alleles outside the format
for line in bim[-3:]:
    line[0] = "Y"                        # skipped, no test: no coefficient
with open(os.path.join(work, "st.bim"), "w") as out:
    out.writelines("\t".join(line) + "\n" for line in bim)
scan = [quillon, "scan", "--bfile", "st", "--covar", "st.covar", "--status-model", "2", "--covariate-model", "additive",
        "--quiet", "--threads", "2"]
r = run(*scan, "--out", "o", "--ssf", "BETA_X1", "--build", "hg38", "--bgzip")
assert r.returncode == 0, r.stderr

# The TSV, compressed and indexed: a region returns exactly its rows, header kept as a comment.
tsv_header, tsv = table(gzip.open(os.path.join(work, "o.tsv.gz"), "rt").read())
assert tsv_header[0] == "#CHR" and len(tsv) == 30
assert region("o.tsv.gz", "2:40000-90000") == [t for t in tsv if t[0] == "2" and 40000 <= int(t[2]) <= 90000]

header, ssf = table(gzip.open(os.path.join(work, "o.ssf.tsv.gz"), "rt").read())
assert header == ["chromosome", "base_pair_location", "effect_allele", "other_allele", "beta", "standard_error",
                  "effect_allele_frequency", "p_value", "variant_id", "rsid", "n"], header
col = {name: i for i, name in enumerate(tsv_header)}
kept = [t for t in tsv if t[0] != "Y" and "I" not in t[3:5]]
assert len(ssf) == len(kept) == 26
for s, t in zip(ssf, kept):
    beta, se = t[col["BETA_X1"]], t[col["BETA_X1_SE"]]
    freq = t[col["A1_FREQ"]]
    assert s[:7] == [t[0], t[2], t[3], t[4], beta, se, "#NA" if freq == "NA" else freq], (s, t)
    assert math.isclose(float(s[7]), math.erfc(abs(float(beta) / float(se)) / math.sqrt(2)), rel_tol=1e-13), s
    assert s[8:] == [f"{t[0]}_{t[2]}_{t[4]}_{t[3]}", t[1] if t[1] == "rs123" else "#NA", t[col["CHILDREN"]]], s
assert sum(s[9] == "rs123" for s in ssf) == 1
assert region("o.ssf.tsv.gz", "1:30000-70000") == [s for s in ssf if s[0] == "1" and 30000 <= int(s[1]) <= 70000]
assert region("o.ssf.tsv.gz", "2") == [s for s in ssf if s[0] == "2"]
log = open(os.path.join(work, "o.log")).read()
assert ": 26 rows; left out: 3 without BETA_X1 or its SE, 1 with alleles not of A, C, G, T, 0 without" in log, log

meta = yaml.safe_load(open(os.path.join(work, "o.ssf.tsv.gz-meta.yaml")))
required = {"data_file_name": "o.ssf.tsv.gz", "file_type": "GWAS-SSF v1.0", "genome_assembly": "GRCh38",
            "coordinate_system": "1-based", "is_sorted": True, "is_harmonised": False, "term": "BETA_X1",
            "covariates": ["INTERCEPT", "X1"], "covariate_model": "Additive", "status_model": "Dominant",
            "sample_size": max(int(s[10]) for s in ssf),
            "data_file_md5sum": hashlib.md5(open(os.path.join(work, "o.ssf.tsv.gz"), "rb").read()).hexdigest()}
assert {k: meta.get(k) for k in required} == required, meta
assert meta["analysis_software"].startswith("quillon ") and meta["samples"][0]["sample_size"] == meta["sample_size"]
assert all(k in meta for k in ("trait_description", "genotyping_technology")), meta

# A position out of order: refused, naming the marker, with none of the files left.
bim[7][3] = "5"
with open(os.path.join(work, "st.bim"), "w") as out:
    out.writelines("\t".join(line) + "\n" for line in bim)
for option in (["--ssf", "BETA_X1", "--build", "GRCh37"], ["--bgzip"]):
    r = run(*scan, "--out", "u", *option)
    assert r.returncode == 1 and f"{option[0]} needs" in r.stderr and f"marker {bim[7][1]} " in r.stderr, r.stderr
assert not [f for f in os.listdir(work) if f.startswith("u.")], os.listdir(work)
shutil.rmtree(work)
print("summary statistics: all checks passed")
