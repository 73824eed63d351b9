#include "formats/staged_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/tbx.h>

namespace quillon {

StagedFile::StagedFile(const std::string& path, bool bgzf) : file_(path) {
    if (bgzf) {
        bgzf_ = bgzf_dopen(file_.release_descriptor(), "w");
        if (bgzf_ == nullptr) throw OutputError("cannot create " + file_.temporary() + ": " + std::strerror(errno));
    }
}

StagedFile::~StagedFile() {
    if (bgzf_ != nullptr) bgzf_close(bgzf_);
}

void StagedFile::write(const void* data, std::size_t size) {
    if (bgzf_ == nullptr)
        file_.write(std::string_view(static_cast<const char*>(data), size));
    else if (bgzf_write(bgzf_, data, size) != static_cast<ssize_t>(size))
        throw OutputError("cannot write " + file_.temporary());
}

void StagedFile::close() {
    BGZF* b = bgzf_;
    bgzf_ = nullptr;
    if (b != nullptr && bgzf_close(b) != 0) throw OutputError("cannot write " + file_.temporary());
    file_.close();
}

void StagedFile::build_index(const TabixColumns& c) {
    index_.emplace(file_.path() + ".tbi");
    index_->close();
    const tbx_conf_t conf = {TBX_GENERIC, c.sequence, c.begin, c.end, '#', c.skip};
    if (tbx_index_build2(file_.temporary().c_str(), index_->temporary().c_str(), 0, &conf) != 0)
        throw OutputError("cannot index " + file_.path() + " (tabix)");
}

std::string StagedFile::md5() const {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file_.temporary().c_str(), "rb"), std::fclose);
    const std::unique_ptr<hts_md5_context, void (*)(hts_md5_context*)> md5(hts_md5_init(), hts_md5_destroy);
    if (!in || !md5) throw OutputError("cannot read " + file_.temporary() + ": " + std::strerror(errno));
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0;) hts_md5_update(md5.get(), buffer, n);
    if (std::ferror(in.get())) throw OutputError("cannot read " + file_.temporary() + ": " + std::strerror(errno));
    unsigned char digest[16];
    char hex[33];
    hts_md5_final(digest, md5.get());
    hts_md5_hex(hex, digest);
    return hex;
}

void StagedFile::commit() {
    file_.commit();
    if (index_) index_->commit();
}

}  // namespace quillon
