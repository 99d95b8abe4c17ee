#pragma once

#include "query/controllers/QueryPage.h"

#include <QAbstractListModel>
#include <memory>

// The suggestion window's rows, read straight from the lists the query
// controllers fill. Row text turns white on the highlighted row.
class SuggestionListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit SuggestionListModel(std::shared_ptr<SuggestionLists> lists, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void reload();
    void setHighlightedRow(int row);
    int highlightedRow() const { return highlighted_; }
    // Height of the table for its rows: 24 points each.
    int tableHeight() const { return rowCount() * 24; }

private:
    std::shared_ptr<SuggestionLists> lists_;
    int highlighted_ = -1;
};
