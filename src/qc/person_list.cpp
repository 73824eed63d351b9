#include "qc/person_list.hpp"

#include <string_view>
#include <unordered_map>

#include "io/line_reader.hpp"
#include "io/text_file.hpp"

namespace quillon {

long apply_person_list(const std::string& path, PersonListKind kind, const std::vector<FamPerson>& people,
                       std::vector<char>& keep) {
    std::unordered_map<std::string, long> index;  // FID, IID -> person
    for (long p = 0; p < static_cast<long>(people.size()); ++p) index.emplace(person_key(people[p].fid, people[p].iid), p);

    auto file = open_input(path);
    LineReader reader(file.get());
    std::vector<char> listed(people.size(), 0);
    long unmatched = 0;
    std::string line;
    std::string_view f[2];
    while (reader.next(line)) {
        if (is_blank(line)) continue;
        if (split_fields(line, f, 2) < 2)
            throw InputError(at_line(path, reader.line_number()) + "a person is given as FID and IID; this line holds one field.");
        const auto it = index.find(person_key(f[0], f[1]));
        if (it == index.end())
            ++unmatched;
        else
            listed[it->second] = 1;
    }
    if (reader.error() != 0) read_failed(path, reader.error());

    const bool keep_listed = kind == PersonListKind::kKeep;
    for (std::size_t p = 0; p < keep.size(); ++p)
        if ((listed[p] != 0) != keep_listed) keep[p] = 0;
    return unmatched;
}

}  // namespace quillon
