#include "window/pages/ManagingViewController.h"

#include "query/LogUtils.h"
#include "query/controllers/BaikeQueryController.h"
#include "query/controllers/BaseQueryController.h"
#include "query/controllers/FanyiQueryController.h"
#include "query/controllers/LijuQueryController.h"
#include "query/controllers/MainQueryController.h"

namespace {

// Takes the word-book slot until the word book registers its controller.
class IdleWordBookQueryController : public BaseQueryController {
public:
    using BaseQueryController::BaseQueryController;
    using QueryController::doQuery;
    void doQuery(const QString&) override {}
    void onSearchBoxChanged(const QString&) override {}
    void setScrollPosition(int) override {}
};

ManagingViewController::WordBookControllerFactory& wordBookFactory()
{
    static ManagingViewController::WordBookControllerFactory f;
    return f;
}

}  // namespace

void ManagingViewController::setWordBookControllerFactory(WordBookControllerFactory factory)
{
    wordBookFactory() = std::move(factory);
}

ManagingViewController::ManagingViewController(QWidget* parent) : QWidget(parent)
{
    queryControllers_.append(new MainQueryController(this));
    queryControllers_.append(new LijuQueryController(this));
    queryControllers_.append(new FanyiQueryController(this));
    queryControllers_.append(new BaikeQueryController(this));
    QueryController* wordBook = wordBookFactory() ? wordBookFactory()(this) : nullptr;
    if (!wordBook)
        wordBook = new IdleWordBookQueryController(this);
    queryControllers_.append(wordBook);
    queryControllerTag_ = 0;
    currentQueryController_ = queryControllers_.first();
}

ManagingViewController::~ManagingViewController() = default;

void ManagingViewController::changeQueryController(int index)
{
    static const char* const shown[] = {"tab_lookup", "tab_sentence", "tab_translate", "tab_wiki", "tab_wordbook"};
    if (index < 0 || index >= queryControllers_.size())
        return;
    currentQueryController_ = queryControllers_.at(index);
    queryControllerTag_ = index;
    LogUtils::log(QStringLiteral("show"), QString::fromLatin1(shown[index]));
}
