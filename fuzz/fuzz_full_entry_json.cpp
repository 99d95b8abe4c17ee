// The full entry's JSON answer, read and rendered as the lookup tab does.
#include "FuzzSupport.h"

#include "query/MainQueryJSONResultParser.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Each section pair reads other parts of the answer; the size picks one.
    static const char* const pairs[][2] = {{"ce", "ec"}, {"cj", "jc"}, {"ck", "kc"}, {"cf", "fc"}};
    MainQueryJSONResultParser parser;
    parser.word = QStringLiteral("apple");
    parser.dict = QString::fromLatin1(pairs[size % 4][0]);
    parser.another_dict = QString::fromLatin1(pairs[size % 4][1]);
    parser.shouldSwizzleLocalParaphase = size % 2;
    parser.localWordParaphase = {QVariantMap{{"item", QVariantMap{{"trans", "n. 苹果"}}}}};
    (void)parser.genHTML(fuzz::text(data, size));
    return 0;
}
