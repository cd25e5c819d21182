// Writes the boot payload image (boot/payload.qorbin) from the definitions
// in boot/natives.qor, as this build embeds them:
//   make-boot-payload <output file>
// qor.exe is cross-built and cannot run it, so the image is checked in; the
// unit test BootImage.CheckedInImageIsCurrent says when it is stale.
#include <cstdio>
#include <vector>

#include "boot/payload.hpp"
#include "boot/start.hpp"
#include "runtime/process.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-boot-payload <output file>\n");
        return 2;
    }
    qor::runtime::init_process(argc, argv);
    qor::boot::runtime_init_services();
    std::vector<uint8_t> image = qor::payload::build_image();
    FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(image.data(), 1, image.size(), f) != image.size() || std::fclose(f) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    std::printf("%s: %u bytes\n", argv[1], unsigned(image.size()));
    return 0;
}
