// The encyclopedia tab's JSON answers: an article, a bilingual pair of
// articles, and the list of related entries.
#include "FuzzSupport.h"

#include "query/controllers/BaikeJSONResultParser.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = fuzz::text(data, size);
    const BaikeJSONResultParser parser;
    const BaikeJSONResult article = parser.parseJSON(text);
    (void)parser.genHTML(&article);
    const QVariantMap pair{{"zhword", article.toMustache()}, {"enword", article.toMustache()}};
    (void)parser.genHTMLWithZhEn(&pair);
    (void)parser.htmlSearchResult(text);
    return 0;
}
