#include "qc/qc_people.hpp"

#include <string>
#include <utility>

#include "io/field_index.hpp"

namespace quillon {

QcPeople qc_people(const std::vector<FamPerson>& people, const std::vector<char>& keep) {
    QcPeople q;
    const long n = static_cast<long>(people.size());
    FieldIndex index(people.size());  // FID, IID -> person
    for (long p = 0; p < n; ++p)
        index.insert(FieldIndex::hash(people[p].fid, people[p].iid), p, [](long) { return false; });
    const auto kept_parent = [&](const FamPerson& child, const std::string& id) -> long {
        if (id == "0") return -1;
        const long p = index.find(FieldIndex::hash(child.fid, id), [&](long o) {
            return people[o].iid == id && people[o].fid == child.fid;
        });
        return p >= 0 && keep[p] ? p : -1;
    };

    // The trios in .fam order with their family (by parent pair, numbered in order of first
    // child), then laid out family by family.
    q.male.resize(people.size());
    std::vector<std::pair<QcTrio, long>> found;
    std::vector<std::pair<long, long>> pairs;  // per family: father, mother
    FieldIndex by_pair(people.size());
    for (long p = 0; p < n; ++p) {
        const FamPerson& person = people[p];
        q.male[p] = person.sex == 1;
        if (!keep[p]) continue;
        q.kept_people.push_back(p);
        if (person.father == "0" && person.mother == "0") {
            q.founders.push_back(p);
            continue;
        }
        const long father = kept_parent(person, person.father), mother = kept_parent(person, person.mother);
        if (father < 0 || mother < 0) continue;
        const long family = by_pair.insert(FieldIndex::hash(static_cast<std::uint64_t>(father) * 4294967311ull +
                                                            static_cast<std::uint64_t>(mother)),
                                           static_cast<long>(pairs.size()), [&](long f) {
                                               return pairs[static_cast<std::size_t>(f)] == std::pair{father, mother};
                                           });
        if (family < 0) pairs.emplace_back(father, mother);
        found.emplace_back(QcTrio{p, father, mother, person.sex == 1, person.phenotype == 2 && person.sex != 0},
                           family < 0 ? static_cast<long>(pairs.size()) - 1 : family);
    }
    q.family_start.assign(pairs.size() + 1, 0);
    for (const auto& [trio, family] : found) ++q.family_start[static_cast<std::size_t>(family) + 1];
    for (std::size_t f = 0; f < pairs.size(); ++f) q.family_start[f + 1] += q.family_start[f];
    q.trios.resize(found.size());
    std::vector<long> next(q.family_start.begin(), q.family_start.end() - 1);
    for (const auto& [trio, family] : found) q.trios[static_cast<std::size_t>(next[static_cast<std::size_t>(family)]++)] = trio;
    return q;
}

}  // namespace quillon
