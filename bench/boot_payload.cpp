// The boot payload's start-up cost: decoding the embedded Qorbin image and
// binding its 216 words (payload::decode, what start-up runs), beside only
// lexing boot/natives.qor, the text the image is made from (what start-up
// did before any binding when it read the text), and lexing plus binding
// the natives from the text.
//
//   bench_boot_payload
#include <cstdio>

#include "harness.hpp"
#include "boot/embedded.hpp"
#include "boot/payload.hpp"
#include "runtime/collector.hpp"

int main() {
    using namespace qor;
    bench::start_runtime();
    double image = bench::best_seconds([] { payload::decode(); });
    double text = bench::best_seconds([] {
        const embedded::File* f = embedded::find("boot/natives.qor");
        Cell defs = payload::load_bytes(f->data, f->size);
        gc::CellRoot keep(&defs);
    });
    // The text's old road for the natives: lex, then bind the 107 natives.
    double text_bind = bench::best_seconds([] {
        Cell defs = payload::definitions();
        gc::CellRoot keep(&defs);
        payload::bind_natives(&defs);
    });
    const embedded::File* bin = embedded::find(payload::IMAGE_NAME);
    const embedded::File* src = embedded::find("boot/natives.qor");
    std::printf("decode + bind the image (%u bytes)      %8.3f ms\n", bin->size, image * 1e3);
    std::printf("lex the text alone (%u bytes)           %8.3f ms\n", src->size, text * 1e3);
    std::printf("lex the text + bind its 107 natives       %8.3f ms\n", text_bind * 1e3);
    std::printf("ratio (text lex + natives / image)      %8.2fx\n", text_bind / image);
    return 0;
}
