#include "scan/covariate_check.hpp"

#include <cmath>
#include <cstdio>

#include "toolkit/linalg.hpp"

namespace quillon {

namespace {

std::vector<const double*> children_rows(const Study& study) {
    std::vector<const double*> rows;
    for (const NuclearFamily& f : study.families)
        for (const long c : f.children) rows.push_back(study.covariates(static_cast<std::size_t>(c)));
    return rows;
}

bool constant_column(const std::vector<const double*>& rows, std::size_t j) {
    for (const auto* r : rows)
        if (r[j] != rows.front()[j]) return false;
    return true;
}

std::string join(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

std::string number(double x) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.6g", x);
    return buf;
}

}  // namespace

std::string covariate_design_fault(const Study& study) {
    const auto ncov = static_cast<std::size_t>(study.ncov());
    const std::vector<const double*> rows = children_rows(study);
    if (ncov == 0 || rows.empty()) return "";
    const std::string over = " over the " + std::to_string(rows.size()) + " children that can enter";

    // Constant columns: a zero one always, another beside the first non-zero one.
    std::vector<std::string> constant;
    bool first_constant = true;
    for (std::size_t j = 0; j < ncov; ++j) {
        const double v = rows.front()[j];
        if (!constant_column(rows, j)) continue;
        if (v != 0.0 && first_constant) {
            first_constant = false;
            continue;
        }
        constant.push_back(study.covariate_names[j] + " (" + number(v) + ")");
    }
    if (!constant.empty())
        return "covariate" + std::string(constant.size() > 1 ? "s " : " ") + join(constant) +
               (constant.size() > 1 ? " are" : " is") + " constant" + over + ": leave it out with --covar-name";

    // Collinear columns: the cross-product of the unit-length columns, its null vector.
    const int n = static_cast<int>(ncov);
    std::vector<double> length(ncov, 0.0);
    for (const auto* r : rows)
        for (std::size_t j = 0; j < ncov; ++j) length[j] += r[j] * r[j];
    for (double& l : length) l = std::sqrt(l);
    DMatrix a(1, n, 1, n), v(1, n, 1, n);
    DVector w(1, n);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
            double sum = 0.0;
            for (const auto* r : rows)
                sum += r[i - 1] * r[j - 1];
            a[i][j] = sum / (length[static_cast<std::size_t>(i - 1)] * length[static_cast<std::size_t>(j - 1)]);
        }
    svdcmp(a, n, n, w, v);
    int smallest = 1;
    double largest = 0.0;
    for (int j = 1; j <= n; ++j) {
        largest = std::max(largest, w[j]);
        if (w[j] < w[smallest]) smallest = j;
    }
    if (w[smallest] >= 1e-12 * largest) return "";
    std::vector<std::string> names;
    for (int j = 1; j <= n; ++j)
        if (std::fabs(v[j][smallest]) > 1e-6) names.push_back(study.covariate_names[static_cast<std::size_t>(j - 1)]);
    return "covariates " + join(names) + " are collinear" + over +
           " (one is a linear combination of the others): leave one out with --covar-name";
}

bool nfs_undefined_by_design(const Study& study, const Settings& settings) {
    if (settings.cmodeltype != kNone && settings.cmodeltype != settings.smodeltype) return false;
    std::vector<long> children;
    for (const NuclearFamily& f : study.families) children.insert(children.end(), f.children.begin(), f.children.end());
    if (children.empty()) return false;
    for (const long c : children)
        if (study.weight[static_cast<std::size_t>(c)] != study.weight[static_cast<std::size_t>(children.front())])
            return false;
    const std::vector<const double*> rows = children_rows(study);
    for (std::size_t j = 0; j < static_cast<std::size_t>(study.ncov()); ++j)
        if (rows.front()[j] != 0.0 && constant_column(rows, j)) return true;
    return false;
}

}  // namespace quillon
