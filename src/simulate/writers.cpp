// The three files of a simulated single-marker study.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "io/text_file.hpp"
#include "simulate/simulate.hpp"

namespace quillon {

namespace {

void write_pedigree(const SimulatedStudy& study, std::FILE* f) {
    for (long k = 1; k <= study.nfam; ++k) {
        const SimFamily& fam = study.fam[k];
        for (int j = 1; j <= fam.ninfam; ++j) {
            const int father = j >= 3 ? 1 : 0;
            const int mother = j >= 3 ? 2 : 0;
            // family, individual, father, mother, sex, phenotype, unused, allele 1, allele 2
            std::fprintf(f, "%ld %d %d %d %d %d %d %d %d\n", fam.famid, j, father, mother, fam.sex[j], fam.pheno[j],
                         0, fam.allele1[j], fam.allele2[j]);
        }
    }
}

bool write_covariates(const SimulatedStudy& study, std::FILE* f, std::string& /*error*/) {
    for (long k = 1; k <= study.nfam; ++k) {
        const SimFamily& fam = study.fam[k];
        for (int j = 1; j <= fam.ninfam; ++j) {
            for (int i = 1; i <= study.ncov; ++i) std::fprintf(f, i == 1 ? "%.6f" : " %.6f", fam.covars[j][i]);
            if (study.groups > 0) std::fprintf(f, study.ncov > 0 ? " %d" : "%d", fam.group);  // the group, last
            std::fputc('\n', f);
        }
    }
    return true;
}

void write_weights(const SimulatedStudy& study, std::FILE* f) {
    for (long k = 1; k <= study.nfam; ++k) {
        const SimFamily& fam = study.fam[k];
        for (int j = 1; j <= fam.ninfam; ++j) {
            if (study.random_weights)
                std::fprintf(f, "%.6f\n", fam.weight[j]);
            else
                std::fprintf(f, "1\n");
        }
    }
}

}  // namespace

bool write_study(const SimulatedStudy& study, const std::string& folder, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path dir(folder);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        error = "cannot create the output folder '" + folder + "'";
        return false;
    }

    const char* names[3] = {"wpedigree.dat", "wcovars.dat", "wweights.dat"};
    for (int file = 0; file < 3; ++file) {
        const fs::path path = dir / names[file];
        FileHandle out(std::fopen(path.c_str(), "w"));
        if (!out) {
            error = "cannot open '" + path.string() + "' for writing: " + std::strerror(errno);
            return false;
        }
        if (file == 0) write_pedigree(study, out.get());
        if (file == 1 && !write_covariates(study, out.get(), error)) return false;
        if (file == 2) write_weights(study, out.get());
        if (!close_written(out)) {
            error = "cannot write '" + path.string() + "'";
            return false;
        }
    }
    return true;
}

}  // namespace quillon
