#pragma once
// Lists of people to keep or to remove (--keep FILE, --remove FILE), in PLINK's format: one
// person a line, FID then IID, separated by blanks or tabs; later fields are ignored and blank
// lines skipped.  A person is matched by FID and IID together.

#include <string>
#include <vector>

#include "formats/study.hpp"

namespace quillon {

enum class PersonListKind { kKeep, kRemove };

// Narrows `keep` (one entry per person of `people`, nonzero: kept) by the list at `path`:
// kKeep leaves kept only the listed people, kRemove clears the listed ones.  Returns how many
// lines name nobody in `people` (such lines are otherwise ignored, as is a person listed
// twice).  Throws InputError naming the file and line for a line with a single field, and
// "Cannot open/read PATH: reason" when the file cannot be read.
long apply_person_list(const std::string& path, PersonListKind kind, const std::vector<FamPerson>& people,
                       std::vector<char>& keep);

// The mask of a run: everyone, narrowed by the keep list and then by the remove list (an empty
// path: no such list).  Each list read adds a sentence to `log`: the people kept after it and
// the lines that name nobody.
std::vector<char> keep_mask(const std::vector<FamPerson>& people, const std::string& keep_path,
                            const std::string& remove_path, std::vector<std::string>& log);

}  // namespace quillon
