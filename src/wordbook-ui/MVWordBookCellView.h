#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QSet>
#include <QStyledItemDelegate>
#include <QVector>
#include <functional>

class MVWordBookCellBackView;

// The rows of the word list: texts and how each row looks. One model for
// both tabs; the screen refills it after every list load. A row's texts are
// asked of the screen when the view draws it: a list of a million words
// holds no text here.
class WordListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { DetailRole = Qt::UserRole + 1, SelectedRole, MoreShownRole };
    static constexpr int kRowHeight = 46;
    static constexpr int kCutLength = 12;

    struct Row {
        QString title;
        QString detail;
    };

    explicit WordListModel(QObject* parent = nullptr);

    using RowSource = std::function<Row(int)>;
    void setRows(int count, RowSource source);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Selected (single or multi): grey background; plain: clear, more icon
    // hidden. A hovered row gets its colour from its background view.
    void setSelected(int row, bool selected, bool moreShown);
    bool isSelected(int row) const;
    void setMoreShown(int row, bool shown);
    bool isMoreShown(int row) const;
    // Back to plain, dropping any hover colour.
    void setPlain(int row);
    // Every row at once, told to the view once: the given rows selected
    // with their more icon, `cell` selected with or without it, the rest
    // plain.
    void setLooks(const QSet<qint64>& selected, qint64 cell, bool cellMoreShown);
    // The row's background, made on first use; nullptr outside the list.
    MVWordBookCellBackView* backView(int row);
    MVWordBookCellBackView* existingBackView(int row) const { return backViews_.value(row); }

    // A text cut to 12 characters followed by "..." when longer; whole
    // characters only, never half of a surrogate pair.
    static QString cut(const QString& text);

private:
    void rowChanged(int row);

    struct Look {
        bool selected = false;
        bool moreShown = false;
    };
    int count_ = 0;
    RowSource source_;
    QVector<Look> looks_;
    QHash<int, MVWordBookCellBackView*> backViews_;
};

// Paints one row: background, word, definition and the more icon at the
// right edge (its rectangle is moreButtonRect()).
class MVWordBookCellView : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit MVWordBookCellView(WordListModel* model, QObject* parent = nullptr);

    static QRect moreButtonRect(const QRect& rowRect);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    WordListModel* model_;
};
