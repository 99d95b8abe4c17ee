#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

class MVTableView;
class QAbstractItemModel;

// The light rounded panel behind the suggestion list.
class SuggestWndBackView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
protected:
    void paintEvent(QPaintEvent* e) override;
};

// The borderless window that hangs under the search field while suggestions
// show. One per process; the lookup page fills its table's model, the search
// field walks its rows, and it hides whenever the main window moves, resizes,
// changes focus or the table is hidden.
class SuggestWndController : public QObject {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 24;
    static constexpr int kWidth = 200;
    static constexpr int kPadding = 8;

    static SuggestWndController& sharedInstance();
    SuggestWndController();
    ~SuggestWndController() override;

    QWidget* window() const { return window_; }
    SuggestWndBackView* noLayeredView() const { return back_; }
    MVTableView* suggestTableView() const { return table_; }
    void setModel(QAbstractItemModel* model);

    // The table's height follows its rows; hidden counts as no rows.
    void setTableHidden(bool hidden);
    bool isTableHidden() const { return tableHidden_; }
    void reloadData();
    int tableHeight() const;

    // Where the window goes: the anchor is the search field (its global
    // top-left), the toolbar's global bottom and the distance between the
    // search box's bottom and the toolbar's bottom. Null rectangle: nothing to show.
    static QRect frameFor(const QPoint& searchFieldGlobal, int toolbarGlobalBottom,
                          int searchBoxGapToToolbarBottom, int tableHeight);

    // The toolbar widgets the window hangs under (set by the main window).
    void setAnchors(QWidget* toolbarView, QWidget* searchFieldView, QWidget* searchField);

    void showSuggestWindow();
    void hideSuggestWindow();
    bool isVisible() const;

    // Selected row of the table, -1 for none.
    int selectedRow() const;
    void selectRow(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_ = nullptr;
    SuggestWndBackView* back_ = nullptr;
    MVTableView* table_ = nullptr;
    QPointer<QWidget> toolbarView_, searchFieldView_, searchField_;
    bool tableHidden_ = true;
};
