#include "query/controllers/PageScripts.h"

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/controllers/QueryPage.h"

namespace pagescripts {

QString zoomScript()
{
    // Before the user has ever zoomed nothing is stored; 0 would mean "no
    // zoom" to some engines and "invisible" to others, so start at 1.0.
    double z = UserDefaults::standard().doubleValue(MVWebViewZoomFactorKey);
    if (!(z > 0))
        z = 1.0;
    return QString::asprintf("document.body.style.zoom=%1.2f", z);
}

bool urlContainsResultPage(const QString& url)
{
    return url.contains(QLatin1String("result.html"));
}

void loadResultPage(QueryPage* page, bool (*isShown)(const QString& url))
{
    if (!page)
        return;
    page->removeWelcomeOverlay();
    NotificationCenter::defaultCenter().post(MVDidCallLoadResultPageMethodNotification);
    if (!isShown(page->mainFrameUrl()))
        page->loadResourcePage(QStringLiteral("result.html"));
    // Queued behind a pending load, so the zoom applies to the result page.
    page->evaluateScript(zoomScript());
}

}  // namespace pagescripts
