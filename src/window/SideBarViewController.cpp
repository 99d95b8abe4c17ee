#include "window/SideBarViewController.h"

#include "platform/ColorScheme.h"
#include "query/SideBarItemModel.h"
#include "window/FrameSplitViewController.h"
#include "window/ImageLibrary.h"
#include "window/ShellServices.h"

#include <QDebug>
#include <QHeaderView>
#include <QStandardItemModel>

namespace {
struct Row {
    const char* title;
    const char* icon;
    const char* anchor;
    const char* log;
};
const Row kRows[4] = {
    {"权威词典", "img_sidebar_cidian_icon", "#authTrans", "dict_quanwei"},
    {"释义", "img_sidebar_shiyi_icon", "#webTrans", "dict_shiyi"},
    {"例句", "img_sidebar_liju_icon", "#examples", "dict_liju"},
    {"百科", "img_sidebar_baike_icon", "#eBaike", "dict_baike"},
};
const Row* rowFor(const QString& title) {
    for (const Row& r : kRows)
        if (title == QString::fromUtf8(r.title)) return &r;
    return nullptr;
}
}  // namespace

SideBarViewController::SideBarViewController() {
    table_ = new MVTableView();
    table_->setObjectName(QStringLiteral("SideBarView"));
    model_ = new QStandardItemModel(this);
    table_->setModel(model_);
    table_->verticalHeader()->setDefaultSectionSize(36);
    table_->setMVTableViewDelegate(this);
    auto recolor = [this] {
        table_->setStyleSheet(ColorScheme::shared().pick(QStringLiteral("QTableView{background:#f7f7f7;}"),
                                                         QStringLiteral("QTableView{background:#262628;}")));
    };
    recolor();
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, recolor);
    auto& flags = SideBarItemModel::sharedInstance();
    auto hook = [this](const char* title) {
        return [this, title](const QString& v) { flagChanged(QString::fromUtf8(title), !v.isNull()); };
    };
    connect(&flags, &SideBarItemModel::hasAuthTransChanged, this, hook(kRows[0].title));
    connect(&flags, &SideBarItemModel::hasWebTransChanged, this, hook(kRows[1].title));
    connect(&flags, &SideBarItemModel::hasSentencesChanged, this, hook(kRows[2].title));
    connect(&flags, &SideBarItemModel::hasBaikeChanged, this, hook(kRows[3].title));
    // The flags as they stand now count as reported once.
    if (!flags.hasAuthTrans().isNull()) optionTitles_ << QString::fromUtf8(kRows[0].title);
    if (!flags.hasWebTrans().isNull()) optionTitles_ << QString::fromUtf8(kRows[1].title);
    if (!flags.hasSentences().isNull()) optionTitles_ << QString::fromUtf8(kRows[2].title);
    if (!flags.hasBaike().isNull()) optionTitles_ << QString::fromUtf8(kRows[3].title);
    reload();
}

SideBarViewController::~SideBarViewController() { delete table_; }

QWidget* SideBarViewController::view() const { return table_; }

QString SideBarViewController::anchorForTitle(const QString& title) {
    const Row* r = rowFor(title);
    return r ? QString::fromLatin1(r->anchor) : QString();
}
QString SideBarViewController::logValueForTitle(const QString& title) {
    const Row* r = rowFor(title);
    return r ? QString::fromLatin1(r->log) : QString();
}
QString SideBarViewController::iconForTitle(const QString& title) {
    const Row* r = rowFor(title);
    return r ? QString::fromLatin1(r->icon) : QString();
}

void SideBarViewController::flagChanged(const QString& title, bool present) {
    auto& split = FrameSplitViewController::sharedInstance();
    if (split.currentSideBarType() == FrameSplitViewController::WordBookScreen) return;
    optionTitles_.removeAll(title);
    if (present) optionTitles_ << title;
    reload();
    if (optionTitles_.isEmpty())
        split.hideSideBar();
    else
        split.showSideBarWithType(FrameSplitViewController::SectionList);
}

void SideBarViewController::reload() {
    model_->clear();
    for (const QString& t : optionTitles_) {
        auto* item = new QStandardItem(ImageLibrary::icon(iconForTitle(t)), t);
        model_->appendRow(item);
    }
    curSelectedRow_ = -1;
}

void SideBarViewController::resetSideBarView() {
    if (curSelectedRow_ >= 0) table_->clearSelection();
    curSelectedRow_ = -1;
}

void SideBarViewController::jumpToAnchor(const QString& anchor) {
    QString escaped = anchor;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
    if (!runner_ || !runner_(QStringLiteral("location.hash='%1'").arg(escaped)))
        qWarning() << "ERROR,MainViewController";
}

void SideBarViewController::tableViewDidClickTableRow(MVTableView*, qint64 row) {
    if (row < 0 || row >= optionTitles_.size()) return;
    table_->selectRow(static_cast<int>(row));
    curSelectedRow_ = row;
    const QString title = optionTitles_.at(row);
    const QString value = logValueForTitle(title);
    if (!value.isEmpty()) ShellServices::logEvent(QStringLiteral("action"), value);
    jumpToAnchor(anchorForTitle(title));
}

void SideBarViewController::tableViewMouseEnteredInTableRow(MVTableView*, qint64) {}
void SideBarViewController::tableViewMouseExitedFromTableRow(MVTableView*, qint64) {}
