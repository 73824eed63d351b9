// form_study: the .fam's nuclear families with their covariates and weights.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string_view>
#include <unordered_set>

#include "formats/study.hpp"
#include "genetics/family.hpp"
#include "io/field_index.hpp"
#include "io/text_file.hpp"

namespace quillon {

namespace {

class StudyBuilder {
public:
    StudyBuilder(const std::string& fam_path, const StudyOptions& options) : path_(fam_path), options_(options) {}

    Study build(const std::string& covar_path, const std::string& weight_path);

private:
    void index_iids();
    void read_covariates(const std::string& covar_path);
    void read_weights(const std::string& weight_path);
    long parent_index(const FamPerson& child, const std::string& id, const char* role);
    void link_parents();
    void refuse_own_ancestors() const;
    void form_families();
    // The family's stratum label from its members ("" none); InputError on a disagreement.
    std::string family_label(const NuclearFamily& f, long first_line) const;
    void number_strata(const std::vector<std::string>& labels);
    void set_x_sex();
    void write_counts();
    void warn(std::string text) { study_.log_lines.push_back(std::move(text)); }

    const std::string& path_;
    const StudyOptions& options_;
    Study study_;
    // The person of a FID and IID, -1 if none.
    long person(std::string_view fid, std::string_view iid) const {
        return by_key_.find(FieldIndex::hash(fid, iid), [&](long p) {
            const FamPerson& o = study_.people[static_cast<std::size_t>(p)];
            return o.iid == iid && o.fid == fid;
        });
    }

    FieldIndex by_key_;  // FID, IID -> person (read_fam's)
    FieldIndex by_iid_;  // IID -> first person with it, built for the first parent not found
    bool iids_indexed_ = false;
    std::vector<long> father_, mother_;             // per person: parent index, -1 none or placeholder
    std::vector<char> has_covariates_, has_weight_;
    std::vector<std::string> stratum_;  // per person, with strata: the label ("" none)
    std::unordered_set<std::string> sex_warned_;
};

void StudyBuilder::index_iids() {
    const auto& people = study_.people;
    by_iid_ = FieldIndex(people.size());
    for (std::size_t p = 0; p < people.size(); ++p) {
        const std::string& iid = people[p].iid;
        by_iid_.insert(FieldIndex::hash(iid, {}), static_cast<long>(p),
                       [&](long q) { return people[static_cast<std::size_t>(q)].iid == iid; });
    }
    iids_indexed_ = true;
}

void StudyBuilder::read_covariates(const std::string& covar_path) {
    const std::size_t n = study_.people.size();
    if (options_.intercept) study_.covariate_names.emplace_back("INTERCEPT");
    std::vector<std::size_t> columns;  // chosen columns of the table
    ColumnTable table;
    if (covar_path.empty()) {
        if (!options_.covar_names.empty())
            throw InputError("Covariate names are chosen (" + options_.covar_names.front() +
                             ", ...) but no covariate file is given.");
    } else {
        table = read_column_table(covar_path, options_.strata, options_.covar_names);
        if (options_.covar_names.empty()) {
            for (std::size_t c = 0; c < table.names.size(); ++c)
                if (table.names[c] != options_.strata) columns.push_back(c);
        } else {
            for (const std::string& name : options_.covar_names) {
                std::size_t c = 0;
                while (c < table.names.size() && table.names[c] != name) ++c;
                if (c == table.names.size()) {
                    std::string known;
                    for (const std::string& k : table.names) known += (known.empty() ? "" : ", ") + k;
                    throw InputError(covar_path + " has no covariate named " + name + " (its columns: " + known + ").");
                }
                for (std::size_t d : columns)
                    if (d == c) throw InputError("The covariate " + name + " is chosen twice.");
                if (name == options_.strata)
                    throw InputError("The column " + name + " is the stratum; it cannot be a covariate too.");
                columns.push_back(c);
            }
        }
        for (std::size_t c : columns) {
            if (options_.intercept && table.names[c] == "INTERCEPT")
                throw InputError(covar_path +
                                 ": the column INTERCEPT would repeat the intercept's name (leave the intercept out, "
                                 "or rename the column).");
            study_.covariate_names.push_back(table.names[c]);
        }
    }
    // Everyone starts with the intercept and zeros; a matched line without a missing value
    // replaces the zeros and makes its person a possible child.
    const std::size_t ncov = study_.covariate_names.size();
    study_.covariate_rows.assign(n * ncov, 0.0);
    if (options_.intercept)
        for (std::size_t p = 0; p < n; ++p) study_.covariate_rows[p * ncov] = 1.0;
    has_covariates_.assign(n, covar_path.empty() ? 1 : 0);
    const std::size_t first = options_.intercept ? 1 : 0;
    std::size_t strata_column = table.names.size();
    if (!options_.strata.empty()) {
        if (covar_path.empty()) throw InputError("A stratum column (" + options_.strata + ") needs a covariate file.");
        strata_column = 0;
        while (strata_column < table.names.size() && table.names[strata_column] != options_.strata) ++strata_column;
        if (strata_column == table.names.size())
            throw InputError(covar_path + " has no column named " + options_.strata + " for the strata.");
        stratum_.assign(n, std::string());
    }
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const ColumnTable::Row& row = table.rows[r];
        const long found = person(table.fid(row), table.iid(row));
        if (found < 0) {
            ++study_.counts.unmatched_rows;
            continue;
        }
        if (strata_column < table.names.size()) {
            const std::string& label = table.labels[r];
            const bool name_part = std::all_of(label.begin(), label.end(), [](unsigned char ch) {
                return std::isalnum(ch) || ch == '_' || ch == '.';
            });
            if (!name_part || label.size() > 32)
                throw InputError(at_line(covar_path, row.line) + "the stratum '" + label + "' of " +
                                 std::string(table.fid(row)) + " " + std::string(table.iid(row)) +
                                 " would not make a column name: letters, digits, '_' and '.' only, at most 32.");
            stratum_[static_cast<std::size_t>(found)] = label;
        }
        bool complete = true;
        for (std::size_t c : columns) complete = complete && !std::isnan(table.value(r, c));
        if (!complete) continue;
        const auto p = static_cast<std::size_t>(found);
        for (std::size_t k = 0; k < columns.size(); ++k)
            study_.covariate_rows[p * ncov + first + k] = table.value(r, columns[k]);
        has_covariates_[p] = 1;
    }
}

void StudyBuilder::read_weights(const std::string& weight_path) {
    const std::size_t n = study_.people.size();
    if (weight_path.empty()) {
        study_.weight.assign(n, 1.0);
        has_weight_.assign(n, 1);
        return;
    }
    study_.weight.assign(n, 0.0);
    has_weight_.assign(n, 0);
    const ColumnTable table = read_column_table(weight_path);
    if (table.names.size() != 1)
        throw InputError(weight_path + " has " + std::to_string(table.names.size()) +
                         " columns after FID IID; a weight file has one: FID IID WEIGHT.");
    long negative = 0, first_negative = 0;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const ColumnTable::Row& row = table.rows[r];
        const long found = person(table.fid(row), table.iid(row));
        if (found < 0) {
            ++study_.counts.unmatched_rows;
            continue;
        }
        const double w = table.value(r, 0);
        if (std::isnan(w)) continue;
        if (w < 0.0 && negative++ == 0) first_negative = row.line;
        const auto p = static_cast<std::size_t>(found);
        study_.weight[p] = w;
        has_weight_[p] = 1;
    }
    if (negative > 0)
        study_.warnings.push_back("negative weights: " + std::to_string(negative) + " (first: " + weight_path +
                                  " line " + std::to_string(first_negative) + ")");
}

// The person a child names as a parent, or -1 for a placeholder ("0" or absent).
long StudyBuilder::parent_index(const FamPerson& child, const std::string& id, const char* role) {
    if (id == "0") return -1;
    const long p = person(child.fid, id);
    if (p < 0) {
        if (!iids_indexed_) index_iids();
        const long other = by_iid_.find(FieldIndex::hash(id, {}), [&](long q) {
            return study_.people[static_cast<std::size_t>(q)].iid == id;
        });
        if (other >= 0) {
            const FamPerson& o = study_.people[static_cast<std::size_t>(other)];
            warn(at_line(path_, child.line) + "the " + role + " " + id + " of " + child.fid + " " + child.iid +
                 " is not in family " + child.fid + " but in family " + o.fid + " (line " + std::to_string(o.line) +
                 "); the " + role + " is taken as untyped.");
        }
        return -1;
    }
    const FamPerson& parent = study_.people[static_cast<std::size_t>(p)];
    const int contrary = std::string_view(role) == "father" ? 2 : 1;
    if (parent.sex == contrary &&
        sex_warned_.insert(std::string(role) + '\t' + person_key(parent.fid, parent.iid)).second)
        warn(at_line(path_, parent.line) + parent.fid + " " + parent.iid + " is the " + role + " of " + child.iid +
             " (line " + std::to_string(child.line) + ") but has sex " + std::to_string(parent.sex) + ".");
    return p;
}

void StudyBuilder::link_parents() {
    const auto& people = study_.people;
    father_.assign(people.size(), -1);
    mother_.assign(people.size(), -1);
    for (std::size_t c = 0; c < people.size(); ++c) {
        const FamPerson& child = people[c];
        if (child.father == "0" && child.mother == "0") continue;
        if (child.father == child.mother)
            throw InputError(at_line(path_, child.line) + child.fid + " " + child.iid + " has " + child.father +
                             " as both father and mother.");
        father_[c] = parent_index(child, child.father, "father");
        mother_[c] = parent_index(child, child.mother, "mother");
    }
}

// A depth-first walk up the parent links; meeting a person still on the walk's path means
// that person is their own ancestor.
void StudyBuilder::refuse_own_ancestors() const {
    const std::size_t n = study_.people.size();
    enum : char { kNew, kOnPath, kDone };
    std::vector<char> state(n, kNew);
    std::vector<std::pair<long, int>> stack;  // person, parents tried (0, 1, 2)
    for (std::size_t start = 0; start < n; ++start) {
        if (state[start] != kNew) continue;
        stack.assign(1, {static_cast<long>(start), 0});
        state[start] = kOnPath;
        while (!stack.empty()) {
            auto& [p, tried] = stack.back();
            if (tried == 2) {
                state[static_cast<std::size_t>(p)] = kDone;
                stack.pop_back();
                continue;
            }
            const long q = tried++ == 0 ? father_[static_cast<std::size_t>(p)] : mother_[static_cast<std::size_t>(p)];
            if (q < 0) continue;
            const auto uq = static_cast<std::size_t>(q);
            if (state[uq] == kOnPath) {
                const FamPerson& x = study_.people[uq];
                throw InputError(at_line(path_, x.line) + x.fid + " " + x.iid + " is their own ancestor.");
            }
            if (state[uq] == kNew) {
                state[uq] = kOnPath;
                stack.emplace_back(q, 0);
            }
        }
    }
}

void StudyBuilder::form_families() {
    const auto& people = study_.people;
    struct Draft {
        NuclearFamily family;
        long first_line = 0;
        std::size_t first_child = 0;  // whose FID, father and mother name the family
        std::size_t beyond = 0;       // eligible children past the first 8
    };
    std::vector<Draft> drafts;
    drafts.reserve(people.size());  // at most a family a person; the room not used is not touched
    std::vector<std::string> labels;       // with strata, per family kept
    FieldIndex by_parents(people.size());  // FID, father, mother -> draft
    StudyCounts& counts = study_.counts;
    for (std::size_t c = 0; c < people.size(); ++c) {
        const FamPerson& child = people[c];
        if (child.father == "0" && child.mother == "0") continue;
        const long found = by_parents.insert(FieldIndex::hash(child.fid, child.father, child.mother),
                                             static_cast<long>(drafts.size()), [&](long d) {
                                                 const FamPerson& o = people[drafts[static_cast<std::size_t>(d)].first_child];
                                                 return o.father == child.father && o.mother == child.mother &&
                                                        o.fid == child.fid;
                                             });
        if (found < 0) {
            Draft d;
            d.family.fid = child.fid;
            d.family.father = father_[c];
            d.family.mother = mother_[c];
            d.first_line = child.line;
            d.first_child = c;
            drafts.push_back(std::move(d));
        }
        Draft& d = drafts[found < 0 ? drafts.size() - 1 : static_cast<std::size_t>(found)];
        if (child.phenotype != 2 && !options_.all_children) {
            ++counts.left_unaffected;
        } else if (!has_covariates_[c]) {
            ++counts.left_no_covariates;
        } else if (!has_weight_[c]) {
            ++counts.left_no_weight;
        } else if (d.family.children.size() == static_cast<std::size_t>(maxchildren)) {
            ++counts.left_beyond_8;
            ++d.beyond;
        } else {
            d.family.children.push_back(static_cast<long>(c));
        }
    }
    study_.families.reserve(drafts.size());
    for (Draft& d : drafts) {
        NuclearFamily& f = d.family;
        if (f.children.empty()) {
            ++counts.dropped_no_child;
            continue;
        }
        if (d.beyond > 0) {
            const auto name = [&](long p) {
                return p < 0 ? std::string("untyped") : people[static_cast<std::size_t>(p)].iid;
            };
            warn(at_line(path_, d.first_line) + "the family " + f.fid + " of " + name(f.father) + " and " +
                 name(f.mother) + " has " + std::to_string(maxchildren + d.beyond) +
                 " children; the first " + std::to_string(maxchildren) + " are kept.");
        }
        if (!stratum_.empty()) {
            std::string label = family_label(f, d.first_line);
            if (label.empty()) {
                ++counts.dropped_no_stratum;
                continue;
            }
            labels.push_back(std::move(label));
        }
        counts.children += static_cast<long>(f.children.size());
        counts.placeholders += (f.father < 0 ? 1 : 0) + (f.mother < 0 ? 1 : 0);
        study_.families.push_back(std::move(f));
    }
    counts.families = static_cast<long>(study_.families.size());
    if (!stratum_.empty()) number_strata(labels);
    set_x_sex();
}

std::string StudyBuilder::family_label(const NuclearFamily& f, long first_line) const {
    std::string label;
    long from = -1;
    std::vector<long> members = {f.father, f.mother};
    members.insert(members.end(), f.children.begin(), f.children.end());
    for (const long p : members) {
        if (p < 0) continue;
        const std::string& s = stratum_[static_cast<std::size_t>(p)];
        if (s.empty()) continue;
        if (label.empty()) {
            label = s;
            from = p;
        } else if (s != label) {
            const auto& people = study_.people;
            throw InputError(at_line(path_, first_line) + "the members of family " + f.fid +
                             " are in different strata: " + people[static_cast<std::size_t>(from)].iid + " in " +
                             label + ", " + people[static_cast<std::size_t>(p)].iid + " in " + s + ".");
        }
    }
    return label;
}

void StudyBuilder::number_strata(const std::vector<std::string>& labels) {
    std::vector<std::string>& strata = study_.strata;
    strata = labels;
    std::sort(strata.begin(), strata.end());
    strata.erase(std::unique(strata.begin(), strata.end()), strata.end());
    study_.stratum_families.assign(strata.size(), 0);
    for (const std::string& l : labels) {
        const auto k = std::lower_bound(strata.begin(), strata.end(), l) - strata.begin();
        study_.family_stratum.push_back(static_cast<int>(k));
        ++study_.stratum_families[static_cast<std::size_t>(k)];
    }
    for (std::size_t k = 0; k < strata.size(); ++k)
        if (study_.stratum_families[k] < kMinStratumFamilies)
            throw InputError("The stratum " + strata[k] + " holds " + std::to_string(study_.stratum_families[k]) +
                             " families; a stratum needs at least " + std::to_string(kMinStratumFamilies) +
                             " to estimate its prevalences (merge it with another, or leave its families out).");
}

void StudyBuilder::set_x_sex() {
    const auto& people = study_.people;
    std::vector<std::int8_t>& sex = study_.x_sex;
    sex.resize(people.size());
    for (std::size_t p = 0; p < people.size(); ++p) sex[p] = static_cast<std::int8_t>(people[p].sex);
    std::vector<char> parent(people.size(), 0);
    for (const NuclearFamily& f : study_.families)
        for (const auto& [p, role] : {std::pair{f.father, 1}, std::pair{f.mother, 2}}) {
            if (p < 0 || parent[static_cast<std::size_t>(p)]) continue;
            parent[static_cast<std::size_t>(p)] = 1;
            if (sex[static_cast<std::size_t>(p)] != role) ++study_.counts.x_parents_role_sex;
            sex[static_cast<std::size_t>(p)] = static_cast<std::int8_t>(role);
        }
    for (const NuclearFamily& f : study_.families)
        for (const long c : f.children) study_.counts.x_unknown_sex_children += sex[static_cast<std::size_t>(c)] == 0;
}

void StudyBuilder::write_counts() {
    const StudyCounts& c = study_.counts;
    std::vector<std::string> lines;
    auto say = [&](const std::string& text, long n) {
        if (n > 0) lines.push_back(text + ": " + std::to_string(n) + ".");
    };
    lines.push_back(path_ + ": " + std::to_string(c.individuals) + " individuals, " + std::to_string(c.families) +
                    " nuclear families, " + std::to_string(c.children) + " children, " +
                    std::to_string(c.placeholders) + " untyped placeholder parents.");
    say(std::string("Children left out, not affected") +
            (options_.all_children ? "" : " (see the all-children option)"),
        c.left_unaffected);
    say("Children left out, no covariate line or a missing covariate", c.left_no_covariates);
    say("Children left out, no weight line or a missing weight", c.left_no_weight);
    say("Children left out, beyond the first 8 of their family", c.left_beyond_8);
    say("Families dropped, no child left", c.dropped_no_child);
    say("Families dropped, no member with a stratum", c.dropped_no_stratum);
    say("Covariate or weight lines of no individual of " + path_, c.unmatched_rows);
    lines.insert(lines.end(), study_.log_lines.begin(), study_.log_lines.end());
    study_.log_lines = std::move(lines);
}

Study StudyBuilder::build(const std::string& covar_path, const std::string& weight_path) {
    study_.people = read_fam(path_, &by_key_);
    study_.counts.individuals = static_cast<long>(study_.people.size());
    read_covariates(covar_path);
    read_weights(weight_path);
    study_.complete_trios = options_.complete_trios;
    link_parents();
    refuse_own_ancestors();
    form_families();
    write_counts();
    return std::move(study_);
}

}  // namespace

Study form_study(const std::string& fam_path, const std::string& covar_path, const std::string& weight_path,
                 const StudyOptions& options) {
    return StudyBuilder(fam_path, options).build(covar_path, weight_path);
}

}  // namespace quillon
