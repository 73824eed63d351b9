#include "formats/study.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "io/field_index.hpp"
#include "io/line_reader.hpp"
#include "io/text_file.hpp"

namespace quillon {

namespace {

constexpr double kMissingValue = -9.0;

// `where` gives the message's place: written only for a fault.
template <class Where>
int fam_phenotype(std::string_view field, const Where& where) {
    long v = 0;
    if (field == "NA") return 0;
    if (parse_long(field, v) == NumberParse::kOk && (v == 1 || v == 2 || v == 0 || v == -9))
        return v > 0 ? static_cast<int>(v) : 0;
    throw InputError(where() + "the phenotype '" + std::string(field) +
                     "' is not 1 (unaffected), 2 (affected), or 0, -9, NA (missing).");
}

template <class Where>
int fam_sex(std::string_view field, const Where& where) {
    long v = 0;
    if (parse_long(field, v) != NumberParse::kOk)
        throw InputError(where() + "the sex '" + std::string(field) +
                         "' is not an integer (1 male, 2 female, 0 unknown).");
    return v == 1 || v == 2 ? static_cast<int>(v) : 0;
}

// Room in a table read from `file` and in its index for as many lines as long as its first
// record's `line` as the file holds, so that neither grows by copies (a vector's unused room
// is never touched).
template <class Row>
void reserve_rows(std::FILE* file, const std::string& line, std::vector<Row>& rows, FieldIndex& index) {
    const std::size_t n = lines_at_most(file, line.size() + 1);
    rows.reserve(n);
    index.reserve(n);
}
}  // namespace

std::vector<FamPerson> read_fam(const std::string& path, FieldIndex* index) {
    auto file = open_input(path);
    LineReader reader(file.get());
    std::vector<FamPerson> people;
    FieldIndex seen;  // FID, IID -> person
    std::string line;
    std::string_view f[6];
    while (reader.next(line)) {
        if (is_blank(line)) continue;
        if (people.empty()) reserve_rows(file.get(), line, people, seen);
        const long ln = reader.line_number();
        const auto where = [&] { return at_line(path, ln); };
        const int n = split_fields(line, f, 6);
        if (n < 6)
            throw InputError(where() + "holds " + std::to_string(n) +
                             " fields; a .fam line has six: FID IID father mother sex phenotype.");
        FamPerson p{std::string(f[0]), std::string(f[1]), std::string(f[2]), std::string(f[3]),
                    fam_sex(f[4], where), fam_phenotype(f[5], where), ln};
        if (p.iid == "0") throw InputError(where() + "the IID is 0, which stands for an unknown parent.");
        const long before = seen.insert(FieldIndex::hash(p.fid, p.iid), static_cast<long>(people.size()), [&](long q) {
            return people[static_cast<std::size_t>(q)].iid == p.iid && people[static_cast<std::size_t>(q)].fid == p.fid;
        });
        if (before >= 0)
            throw InputError(where() + "IID " + p.iid + " of family " + p.fid + " was already given on line " +
                             std::to_string(people[static_cast<std::size_t>(before)].line) + ".");
        people.push_back(std::move(p));
    }
    if (reader.error() != 0) read_failed(path, reader.error());
    if (index != nullptr) *index = std::move(seen);
    return people;
}

ColumnTable read_column_table(const std::string& path, const std::string& text_column,
                              const std::vector<std::string>& numbers) {
    auto file = open_input(path);
    LineReader reader(file.get());
    ColumnTable t;
    std::string line;
    std::vector<std::string_view> fields;
    auto split = [&](std::string_view text) {
        fields.clear();
        FieldSplitter s(text, kWhiteSpace);
        std::string_view v;
        while (s.next(v)) fields.push_back(v);
    };
    bool header = false;
    FieldIndex seen;  // FID, IID -> row
    std::vector<char> number, text;  // per column: read as a number; kept as text
    while (reader.next(line)) {
        if (is_blank(line)) continue;
        const long ln = reader.line_number();
        split(line);
        if (!header) {
            if (fields.size() < 2 || !equals_ignoring_case(fields[0], "fid") || !equals_ignoring_case(fields[1], "iid"))
                throw InputError(at_line(path, ln) + "the header must begin with FID IID, then the column names" +
                                 (line.find(',') != std::string::npos
                                      ? " (commas found: the columns are separated by blanks or tabs, not commas as "
                                        "in a CSV file)."
                                      : "."));
            for (std::size_t i = 2; i < fields.size(); ++i) {
                for (const std::string& name : t.names)
                    if (name == fields[i])
                        throw InputError(at_line(path, ln) + "the column " + name + " is named twice.");
                t.names.emplace_back(fields[i]);
            }
            if (t.names.empty()) throw InputError(at_line(path, ln) + "the header names no column after FID IID.");
            for (const std::string& name : t.names) {
                text.push_back(!text_column.empty() && name == text_column);
                number.push_back(!text.back() &&
                                 (numbers.empty() || std::find(numbers.begin(), numbers.end(), name) != numbers.end()));
            }
            header = true;
            continue;
        }
        if (fields.size() != t.names.size() + 2)
            throw InputError(at_line(path, ln) + "holds " + std::to_string(fields.size()) + " fields; the header has " +
                             std::to_string(t.names.size() + 2) + ".");
        if (t.rows.empty()) {
            reserve_rows(file.get(), line, t.rows, seen);
            t.values.reserve(t.rows.capacity() * t.names.size());
        }
        const std::string_view fid = fields[0], iid = fields[1];
        if (fid.size() > UINT32_MAX || iid.size() > UINT32_MAX)
            throw InputError(at_line(path, ln) + "an FID or IID of over 4 GiB.");
        for (std::size_t i = 2; i < fields.size(); ++i) {
            double v = std::numeric_limits<double>::quiet_NaN();
            if (text[i - 2]) {
                double x = 0.0;
                const bool missing = fields[i] == "NA" ||
                                     (parse_finite_double(fields[i], x) == NumberParse::kOk && x == kMissingValue);
                t.labels.emplace_back(missing ? std::string_view() : fields[i]);
            } else if (number[i - 2] && fields[i] != "NA") {
                const NumberParse r = parse_finite_double(fields[i], v);
                if (r != NumberParse::kOk)
                    throw InputError(at_line(path, ln) + "the " + t.names[i - 2] + " of " + std::string(fid) + " " +
                                     std::string(iid) + ", '" + std::string(fields[i]) + "', is not " +
                                     (r == NumberParse::kNotFinite ? "a finite number." : "a number (or NA)."));
                if (v == kMissingValue) v = std::numeric_limits<double>::quiet_NaN();
            }
            t.values.push_back(v);
        }
        const long before = seen.insert(FieldIndex::hash(fid, iid), static_cast<long>(t.rows.size()), [&](long r) {
            const ColumnTable::Row& o = t.rows[static_cast<std::size_t>(r)];
            return t.iid(o) == iid && t.fid(o) == fid;
        });
        if (before >= 0)
            throw InputError(at_line(path, ln) + std::string(fid) + " " + std::string(iid) +
                             " was already given on line " +
                             std::to_string(t.rows[static_cast<std::size_t>(before)].line) + ".");
        t.rows.push_back(
            {t.keys.size(), static_cast<std::uint32_t>(fid.size()), static_cast<std::uint32_t>(iid.size()), ln});
        t.keys.append(fid).append(iid);
    }
    if (reader.error() != 0) read_failed(path, reader.error());
    if (!header) throw InputError(path + " is empty: a header line FID IID name... is needed.");
    return t;
}

}  // namespace quillon
