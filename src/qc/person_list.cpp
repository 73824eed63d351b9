#include "qc/person_list.hpp"

#include <algorithm>
#include <string_view>

#include "io/field_index.hpp"
#include "io/line_reader.hpp"
#include "io/text_file.hpp"

namespace quillon {

long apply_person_list(const std::string& path, PersonListKind kind, const std::vector<FamPerson>& people,
                       std::vector<char>& keep) {
    FieldIndex index(people.size());  // FID, IID -> person
    for (long p = 0; p < static_cast<long>(people.size()); ++p)
        index.insert(FieldIndex::hash(people[p].fid, people[p].iid), p, [](long) { return false; });

    auto file = open_input(path);
    LineReader reader(file.get());
    std::vector<char> listed(people.size(), 0);
    long unmatched = 0;
    std::string line;
    std::string_view f[2];
    while (reader.next(line)) {
        if (is_blank(line)) continue;
        if (split_fields(line, f, 2) < 2)
            throw InputError(at_line(path, reader.line_number()) +
                             "a person is given as FID and IID; this line holds one field.");
        const long p = index.find(FieldIndex::hash(f[0], f[1]), [&](long o) {
            return people[static_cast<std::size_t>(o)].iid == f[1] && people[static_cast<std::size_t>(o)].fid == f[0];
        });
        if (p < 0)
            ++unmatched;
        else
            listed[static_cast<std::size_t>(p)] = 1;
    }
    if (reader.error() != 0) read_failed(path, reader.error());

    const bool keep_listed = kind == PersonListKind::kKeep;
    for (std::size_t p = 0; p < keep.size(); ++p)
        if ((listed[p] != 0) != keep_listed) keep[p] = 0;
    return unmatched;
}

std::vector<char> keep_mask(const std::vector<FamPerson>& people, const std::string& keep_path,
                            const std::string& remove_path, std::vector<std::string>& log) {
    std::vector<char> keep(people.size(), 1);
    const auto apply = [&](const std::string& path, PersonListKind kind, const std::string& option) {
        if (path.empty()) return;
        const long strangers = apply_person_list(path, kind, people, keep);
        const long kept = std::count(keep.begin(), keep.end(), 1);
        std::string line = option + " " + path + ": " + std::to_string(kept) + " of " + std::to_string(people.size()) +
                           " people kept";
        if (strangers > 0)
            line += "; " + std::to_string(strangers) + (strangers == 1 ? " line names" : " lines name") +
                    " nobody in the .fam";
        log.push_back(line + ".");
    };
    apply(keep_path, PersonListKind::kKeep, "--keep");
    apply(remove_path, PersonListKind::kRemove, "--remove");
    return keep;
}

}  // namespace quillon
