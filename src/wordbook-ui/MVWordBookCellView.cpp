#include "wordbook-ui/MVWordBookCellView.h"

#include "platform/ColorScheme.h"

#include "window/ImageLibrary.h"
#include "wordbook-ui/MVWordBookCellBackView.h"

#include <QPainter>

namespace {
const QColor kSelectedLight(0, 0, 0, 20);  // black, alpha 0.08
const QColor kSelectedDark(255, 255, 255, 26);
QColor selectedColor()
{
    return ColorScheme::shared().pick(kSelectedLight, kSelectedDark);
}
}

WordListModel::WordListModel(QObject* parent) : QAbstractListModel(parent) {}

void WordListModel::setRows(int count, RowSource source)
{
    beginResetModel();
    count_ = std::max(count, 0);
    source_ = std::move(source);
    looks_ = QVector<Look>(count_);
    qDeleteAll(backViews_);
    backViews_.clear();
    endResetModel();
}

int WordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count_;
}

QVariant WordListModel::data(const QModelIndex& index, int role) const
{
    const int r = index.row();
    if (!index.isValid() || r < 0 || r >= count_)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return cut(source_(r).title);
    case DetailRole:
        return cut(source_(r).detail);
    case Qt::ToolTipRole:
        // Tool tips guess at markup: say it is none.
        return QStringLiteral("<p>%1</p>").arg(source_(r).title.toHtmlEscaped());
    case SelectedRole:
        return looks_.at(r).selected;
    case MoreShownRole:
        return looks_.at(r).moreShown;
    default:
        return {};
    }
}

void WordListModel::rowChanged(int row)
{
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
}

void WordListModel::setSelected(int row, bool selected, bool moreShown)
{
    if (row < 0 || row >= looks_.size())
        return;
    looks_[row] = {selected, moreShown};
    if (auto* b = backViews_.value(row))
        b->setBackgroundColor(selected ? selectedColor() : QColor(Qt::transparent));
    rowChanged(row);
}

bool WordListModel::isSelected(int row) const
{
    return row >= 0 && row < looks_.size() && looks_.at(row).selected;
}

void WordListModel::setMoreShown(int row, bool shown)
{
    if (row < 0 || row >= looks_.size())
        return;
    looks_[row].moreShown = shown;
    rowChanged(row);
}

bool WordListModel::isMoreShown(int row) const
{
    return row >= 0 && row < looks_.size() && looks_.at(row).moreShown;
}

void WordListModel::setPlain(int row)
{
    setSelected(row, false, false);
}

void WordListModel::setLooks(const QSet<qint64>& selected, qint64 cell, bool cellMoreShown)
{
    for (int r = 0; r < count_; ++r) {
        const bool in = selected.contains(r);
        looks_[r] = in ? Look{true, true} : r == cell ? Look{true, cellMoreShown} : Look{};
    }
    for (auto it = backViews_.cbegin(); it != backViews_.cend(); ++it)
        it.value()->setBackgroundColor(looks_.at(it.key()).selected ? selectedColor() : QColor(Qt::transparent));
    if (count_ > 0)
        emit dataChanged(index(0), index(count_ - 1));
}

MVWordBookCellBackView* WordListModel::backView(int row)
{
    if (row < 0 || row >= count_)
        return nullptr;
    auto*& b = backViews_[row];
    if (!b) {
        b = new MVWordBookCellBackView(this);
        if (looks_.at(row).selected)
            b->setBackgroundColor(selectedColor());
        connect(b, &MVWordBookCellBackView::changed, this, [this, row] { rowChanged(row); });
    }
    return b;
}

QString WordListModel::cut(const QString& text)
{
    const QList<uint> chars = text.toUcs4();
    if (chars.size() <= kCutLength)
        return text;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()), kCutLength)
           + QStringLiteral("...");
}

MVWordBookCellView::MVWordBookCellView(WordListModel* model, QObject* parent)
    : QStyledItemDelegate(parent), model_(model)
{
}

QRect MVWordBookCellView::moreButtonRect(const QRect& rowRect)
{
    return QRect(rowRect.right() - 30, rowRect.top() + (rowRect.height() - 20) / 2, 20, 20);
}

QSize MVWordBookCellView::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(200, WordListModel::kRowHeight);
}

void MVWordBookCellView::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect r = option.rect;
    const int row = index.row();
    p->save();
    QColor bg = index.data(WordListModel::SelectedRole).toBool() ? selectedColor() : QColor(Qt::transparent);
    if (auto* back = model_->existingBackView(row))
        bg = back->backgroundColor();
    if (bg.alpha() > 0)
        p->fillRect(r, bg);

    const bool more = index.data(WordListModel::MoreShownRole).toBool();
    const int textRight = more ? MVWordBookCellView::moreButtonRect(r).left() - 6 : r.right() - 10;
    QFont title = option.font;
    title.setPixelSize(14);
    p->setFont(title);
    const ColorScheme& scheme = ColorScheme::shared();
    p->setPen(scheme.pick(QColor(0x33, 0x33, 0x33), QColor(0xe6, 0xe6, 0xe6)));
    // drawText takes plain text: nothing in a word is read as markup.
    p->drawText(QRect(r.left() + 14, r.top() + 5, textRight - r.left() - 14, 20),
                Qt::AlignLeft | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());
    QFont detail = option.font;
    detail.setPixelSize(12);
    p->setFont(detail);
    p->setPen(scheme.pick(QColor(0x99, 0x99, 0x99), QColor(0x8e, 0x8e, 0x93)));
    p->drawText(QRect(r.left() + 14, r.top() + 24, textRight - r.left() - 14, 18),
                Qt::AlignLeft | Qt::AlignVCenter, index.data(WordListModel::DetailRole).toString());

    if (more) {
        const QRect m = moreButtonRect(r);
        QString image = QStringLiteral("img_wordbook_more_normal_icon");
        QString previous;
        double fade = 1.0;
        if (auto* back = model_->existingBackView(row)) {
            image = back->moreImage();
            previous = back->previousMoreImage();
            fade = back->moreFade();
        }
        const qreal dpr = p->device() ? p->device()->devicePixelRatioF() : 1.0;
        if (!previous.isEmpty() && fade < 1.0) {
            p->setOpacity(1.0 - fade);
            p->drawPixmap(m, ImageLibrary::pixmap(previous, m.size(), dpr));
        }
        p->setOpacity(fade);
        p->drawPixmap(m, ImageLibrary::pixmap(image, m.size(), dpr));
    }
    p->setOpacity(1.0);
    p->setPen(scheme.pick(QColor(0, 0, 0, 18), QColor(255, 255, 255, 24)));
    p->drawLine(r.left() + 14, r.bottom(), r.right(), r.bottom());
    p->restore();
}
