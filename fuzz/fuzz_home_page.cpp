// The home page's two answers: the article of the day (summary and
// thumbnail) and the daily line, read as HomePageContent reads them and put
// into the page's script call.
#include "FuzzSupport.h"

#include "window/pages/HomePageContent.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body = fuzz::bytes(data, size);
    QString wiki, thumb;
    HomePageContent::readArticle(body, &wiki, &thumb);
    const QString line = HomePageContent::readDailyLine(body);
    (void)HomePageContent::updateContentScript(line.isNull() ? HomePageContent::builtInDailyLine() : line,
                                               wiki, thumb);
    return 0;
}
