#include "qc/qc_people.hpp"

#include <map>
#include <string>
#include <unordered_map>
#include <utility>

#include "io/text_file.hpp"

namespace quillon {

QcPeople qc_people(const std::vector<FamPerson>& people, const std::vector<char>& keep) {
    QcPeople q;
    const long n = static_cast<long>(people.size());
    std::unordered_map<std::string, long> index;  // FID, IID -> person
    for (long p = 0; p < n; ++p) index.emplace(person_key(people[p].fid, people[p].iid), p);
    const auto kept_parent = [&](const FamPerson& child, const std::string& id) -> long {
        if (id == "0") return -1;
        const auto it = index.find(person_key(child.fid, id));
        return it != index.end() && keep[it->second] ? it->second : -1;
    };

    q.male.resize(people.size());
    std::map<std::pair<long, long>, std::vector<QcTrio>> by_pair;
    std::vector<std::pair<long, long>> pair_order;
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
        auto& trios = by_pair[{father, mother}];
        if (trios.empty()) pair_order.emplace_back(father, mother);
        trios.push_back({p, father, mother, person.sex == 1, person.phenotype == 2 && person.sex != 0});
    }
    q.family_start.push_back(0);
    for (const auto& pair : pair_order) {
        const auto& trios = by_pair[pair];
        q.trios.insert(q.trios.end(), trios.begin(), trios.end());
        q.family_start.push_back(static_cast<long>(q.trios.size()));
    }
    return q;
}

}  // namespace quillon
