#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class SideBarViewController;

// The main window's content below the toolbar: a side bar on the left (the
// sections of the current result, or the word book screen) and the pages on
// the right, with no visible divider. The side bar keeps its width when the
// window resizes; the pages take the rest.
class FrameSplitViewController : public QObject {
    Q_OBJECT
public:
    enum SideBarType : qint64 { SectionList = 0, WordBookScreen = 1 };

    static FrameSplitViewController& sharedInstance();
    FrameSplitViewController();
    ~FrameSplitViewController() override;

    QWidget* view() const { return view_; }
    QWidget* sideBarView() const { return sideBarView_; }
    QWidget* mainContentView() const { return mainContentView_; }
    qint64 currentSideBarType() const { return currentSideBarType_; }
    void setCurrentSideBarType(qint64 t) { currentSideBarType_ = t; }
    bool hideSideBarFlag() const { return hideSideBarFlag_; }
    SideBarViewController& sideBarController();

    // The toolbar's tab shown, for the result-page rule.
    void setCurrentTabProvider(std::function<qint64()> provider) { currentTab_ = std::move(provider); }

    void showSideBarWithType(qint64 type);
    void hideSideBar();
    void showSideBarForWebResult();

    // Divider limits (minimum, maximum) for the current state.
    QPair<int, int> dividerLimits() const;
    void layoutPanes();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* view_ = nullptr;
    QWidget* sideBarView_ = nullptr;
    QWidget* mainContentView_ = nullptr;
    QPointer<QWidget> hosted_;
    qint64 currentSideBarType_ = SectionList;
    bool hideSideBarFlag_ = true;
    int sideBarWidth_ = 150;
    std::function<qint64()> currentTab_;
};
