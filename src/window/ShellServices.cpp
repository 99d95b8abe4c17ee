#include "window/ShellServices.h"

#include "wordbook/MVWordBook.h"

#include <QClipboard>
#include <QUrl>
#include <QGuiApplication>
#include <QMimeData>

QString CaptureServices::pasteText() const {
    const QClipboard* cb = QGuiApplication::clipboard();
    const QMimeData* data = cb ? cb->mimeData() : nullptr;
    if (!data || !data->hasText()) return QString();
    return data->text();
}

bool WordBookServices::hasPendingWrites() const {
    return MVWordBook::sharedInstance().hasPendingWrites();
}

namespace ShellServices {
namespace {
AccountServices* g_account = nullptr;
CaptureServices* g_capture = nullptr;
KitHostServices* g_kit = nullptr;
WordBookServices* g_wordBook = nullptr;
Logger& logger() {
    static Logger l;
    return l;
}
}  // namespace

AccountServices& account() {
    static AccountServices fallback;
    return g_account ? *g_account : fallback;
}
CaptureServices& capture() {
    static CaptureServices fallback;
    return g_capture ? *g_capture : fallback;
}
KitHostServices& kitHost() {
    static KitHostServices fallback;
    return g_kit ? *g_kit : fallback;
}
// Until the word book screen arrives, the facade answers what the shell asks.
class FacadeWordBookServices : public WordBookServices {
public:
    void configure(const QString& dbFileName, const QString& syncUrl) override {
        MVWordBook::sharedInstance().configureWithDbFileName(dbFileName, QUrl(syncUrl));
    }
    bool isSyncing() const override { return MVWordBook::sharedInstance().isSyncing(); }
    void startSync(bool needMerge) override { MVWordBook::sharedInstance().startSyncWithDelegate(nullptr, needMerge); }
};

WordBookServices& wordBook() {
    static FacadeWordBookServices fallback;
    return g_wordBook ? *g_wordBook : fallback;
}
void setAccount(AccountServices* s) { g_account = s; }
void setCapture(CaptureServices* s) { g_capture = s; }
void setKitHost(KitHostServices* s) { g_kit = s; }
void setWordBook(WordBookServices* s) { g_wordBook = s; }

void setLogger(Logger l) { logger() = std::move(l); }
void logEvent(const QString& key, const QString& value, const QVariantMap& extras) {
    if (logger()) logger()(key, value, extras);
}

}  // namespace ShellServices
