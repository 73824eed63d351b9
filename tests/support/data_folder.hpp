#pragma once
// Data folders: one run of a built program each, its input files beside `args` (the
// command-line words, separated by white space), optional `stdin` and the expected results
// (`expected.*`).  The run is made in a fresh folder holding a copy of the input files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/program.hpp"

namespace quillon::test_support {

namespace fs = std::filesystem;

// The whole file; empty when it does not exist.
inline std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The sub-folders of `root`, sorted.
inline std::vector<std::string> folder_names(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root))
        if (entry.is_directory()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Copies every file and folder of `from` but args, stdin, simulate, truth and expected.* into `dir`.
inline void copy_inputs(const fs::path& from, const TempDir& dir) {
    for (const auto& entry : fs::directory_iterator(from)) {
        const std::string name = entry.path().filename().string();
        if (name != "args" && name != "stdin" && name != "simulate" && name != "truth" && !name.starts_with("expected."))
            fs::copy(entry.path(), fs::path(dir.path()) / name, fs::copy_options::recursive);
    }
}

// The words of a folder's args file; none when it is absent.
inline std::vector<std::string> read_args(const fs::path& file) { return words(slurp(file)); }

// A folder name as a test name (letters, digits and _).
inline std::string test_name(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

}  // namespace quillon::test_support
