#include "window/pages/SuggestionListModel.h"

#include <QBrush>
#include <QColor>

SuggestionListModel::SuggestionListModel(std::shared_ptr<SuggestionLists> lists, QObject* parent)
    : QAbstractListModel(parent), lists_(std::move(lists))
{
}

int SuggestionListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !lists_)
        return 0;
    return lists_->titles.size();
}

QVariant SuggestionListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !lists_ || index.row() >= lists_->titles.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return index.row() < lists_->rows.size() ? lists_->rows.at(index.row()) : lists_->titles.at(index.row());
    case Qt::ForegroundRole:
        // Other rows take the list's own text colour, which follows the scheme.
        return index.row() == highlighted_ ? QVariant(QBrush(Qt::white)) : QVariant();
    case Qt::UserRole:
        return lists_->titles.at(index.row());
    default:
        return {};
    }
}

void SuggestionListModel::reload()
{
    beginResetModel();
    highlighted_ = -1;
    endResetModel();
}

void SuggestionListModel::setHighlightedRow(int row)
{
    const int old = highlighted_;
    highlighted_ = row;
    if (old >= 0 && old < rowCount())
        emit dataChanged(index(old), index(old), {Qt::ForegroundRole});
    if (row >= 0 && row < rowCount())
        emit dataChanged(index(row), index(row), {Qt::ForegroundRole});
}
