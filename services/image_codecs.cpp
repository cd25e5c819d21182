// The portable side of the image codecs: installation and file reading.
#include "services/image_codecs.hpp"

#include "services/files.hpp"

namespace qor::image_codecs {

namespace {

bool read_file(const Cell* file, std::vector<uint8_t>* out) {
    std::string bytes;
    if (!files::read(file, bytes)) return false;
    out->assign(bytes.begin(), bytes.end());
    return true;
}

}  // namespace

void init() { image_backend::set_codecs(image_backend::Codecs{decode, encode, read_file}); }

}  // namespace qor::image_codecs
