"""Helpers shared by the workflow tests: PNG checks and an independent genomic lambda."""

import math
import statistics
import struct


def png_text(path, min_bytes=5000, max_bytes=2_000_000):
    """Checks that path is a PNG of a sensible size; returns its tEXt entries."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG"
    assert min_bytes <= len(data) <= max_bytes, f"{path}: {len(data)} bytes"
    text, at = {}, 8
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"tEXt":
            key, value = data[at + 8:at + 8 + length].split(b"\0", 1)
            text[key.decode("latin-1")] = value.decode("latin-1")
        at += 12 + length
    return text


def chi2_1_upper_quantile(p):
    """x with P(chi2_1 > x) = erfc(sqrt(x / 2)) = p, by bisection on math.erfc."""
    if p == 0.0:
        return math.inf
    lo, hi = 0.0, 4000.0  # erfc(sqrt(2000)) underflows to 0
    while True:
        mid = (lo + hi) / 2
        if mid in (lo, hi):
            return mid
        lo, hi = (mid, hi) if math.erfc(math.sqrt(mid / 2)) > p else (lo, mid)


def chi2_upper_quantile(p, df):
    """x with P(chi2_df > x) = p for p not far below 1e-10, by bisection on 1 - P(df/2, x/2), P
    from the lower incomplete gamma function's power series."""
    def upper(x):
        a, h = df / 2, x / 2
        term = total = 1 / a
        for n in range(1, 2000):
            term *= h / (a + n)
            total += term
        return 1 - math.exp(a * math.log(h) - h - math.lgamma(a) + math.log(total)) if h > 0 else 1.0
    lo, hi = 0.0, 200.0 + 20 * df
    while True:
        mid = (lo + hi) / 2
        if mid in (lo, hi):
            return mid
        lo, hi = (mid, hi) if upper(mid) > p else (lo, mid)


def reference_lambda(pvalues, df=1):
    """median chi2_df quantile of 1 - p over the distribution's median (0.4549364 for 1 df): scipy
    when installed, else the bisections."""
    try:
        from scipy.stats import chi2
        quantiles = [float(chi2.isf(p, df)) for p in pvalues]
        median = 0.4549364 if df == 1 else float(chi2.isf(0.5, df))
    except ImportError:
        quantiles = [chi2_1_upper_quantile(p) if df == 1 else chi2_upper_quantile(p, df) for p in pvalues]
        median = 0.4549364 if df == 1 else chi2_upper_quantile(0.5, df)
    return statistics.median(quantiles) / median


def read_tsv(path):
    lines = open(path, encoding="utf-8").read().splitlines()
    header = lines[0].split("\t")
    return [dict(zip(header, line.split("\t"))) for line in lines[1:]]


def summary_lambdas(path):
    return {row["TEST"]: float(row["LAMBDA"]) for row in read_tsv(path)}
