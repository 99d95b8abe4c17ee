#pragma once

#include <QList>
#include <QObject>
#include <QWidget>
#include <functional>

class QueryController;

// Base of the two pages of the main window. Owns one query controller of
// each kind, in the fixed order 0 lookup, 1 example sentences, 2 translation,
// 3 encyclopedia, 4 word book, and knows which one is current.
class ManagingViewController : public QWidget {
    Q_OBJECT
public:
    enum { LookupIndex = 0, LijuIndex = 1, FanyiIndex = 2, BaikeIndex = 3, WordBookIndex = 4 };

    // The word book's query controller lives in the word book subsystem; it
    // registers how to make one before the pages are created. Without it a
    // controller that does nothing takes the slot.
    using WordBookControllerFactory = std::function<QueryController*(QObject* parent)>;
    static void setWordBookControllerFactory(WordBookControllerFactory factory);

    explicit ManagingViewController(QWidget* parent = nullptr);
    ~ManagingViewController() override;

    const QList<QObject*>& queryControllers() const { return queryControllers_; }
    QObject* currentQueryController() const { return currentQueryController_; }
    int getQueryControllerTag() const { return queryControllerTag_; }
    // Makes the controller at index (0..4) current and logs the tab shown.
    virtual void changeQueryController(int index);

    qint64 pageTabIndex() const { return pageTabIndex_; }
    void setPageTabIndex(qint64 index) { pageTabIndex_ = index; }

protected:
    QList<QObject*> queryControllers_;
    QObject* currentQueryController_ = nullptr;
    int queryControllerTag_ = 0;
    qint64 pageTabIndex_ = 0;
};
