#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

#include "window/views/MVTableView.h"

class QStandardItemModel;
class QWidget;

// The section list of the current dictionary result: one row per section the
// entry has, in the order the flags were last set; a click scrolls the result
// page to the section.
class SideBarViewController : public QObject, public MVTableViewDelegate {
    Q_OBJECT
public:
    static constexpr int kWidth = 150;

    SideBarViewController();
    ~SideBarViewController() override;

    QWidget* view() const;
    MVTableView* sideBarView() const { return table_; }
    const QStringList& optionTitles() const { return optionTitles_; }
    qint64 curSelectedRow() const { return curSelectedRow_; }

    void resetSideBarView();
    void jumpToAnchor(const QString& anchor);
    static QString anchorForTitle(const QString& title);
    static QString logValueForTitle(const QString& title);
    static QString iconForTitle(const QString& title);

    // Runs the script in the lookup page; false when the lookup page is not
    // the page shown (set by the main window).
    using ScriptRunner = std::function<bool(const QString& script)>;
    void setScriptRunner(ScriptRunner r) { runner_ = std::move(r); }

    // A flag of the result changed (title of its row, whether it is set).
    void flagChanged(const QString& title, bool present);

    void tableViewDidClickTableRow(MVTableView* table, qint64 row) override;
    void tableViewMouseEnteredInTableRow(MVTableView* table, qint64 row) override;
    void tableViewMouseExitedFromTableRow(MVTableView* table, qint64 row) override;

private:
    void reload();

    MVTableView* table_ = nullptr;
    QStandardItemModel* model_ = nullptr;
    QStringList optionTitles_;
    qint64 curSelectedRow_ = -1;
    ScriptRunner runner_;
};
