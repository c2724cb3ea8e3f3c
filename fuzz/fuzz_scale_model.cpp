// The model of scales, its choices taken from the fuzzer's bytes: every
// conversation it can make gives the weight on the pan or a refusal.
#include <cstdio>

#include "reference.h"
#include "scale_model.h"

using namespace pesolane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    model::Draw draw(data, size);
    const model::Conversation c = model::converse(draw);
    std::string why;
    if (!model::faithful(c, model::readThrough(c), &why)) {
        std::fprintf(stderr, "%s, line %s: %s\n", c.dialect.c_str(), c.line.c_str(), why.c_str());
        fuzz::fail("the read gives the truth or refuses");
    }
    return 0;
}
