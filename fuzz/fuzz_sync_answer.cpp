// The word-book service's answer to a synchronisation (plain http).
#include "FuzzSupport.h"

#include "wordbook/MVWordBookXmlParser.h"

namespace {
struct Sink final : MVWordBookXmlParseDelegate {
    void parseFailed() override {}
    void parseDone(MVWordBookXmlParser*) override {}
};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MVWordBookXmlParser parser;
    Sink sink;
    parser.parseXml(fuzz::bytes(data, size), &sink);
    return 0;
}
