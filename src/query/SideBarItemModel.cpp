#include "query/SideBarItemModel.h"

namespace {
bool differs(const QString& a, const QString& b) { return a.isNull() != b.isNull() || a != b; }
}  // namespace

SideBarItemModel& SideBarItemModel::sharedInstance() {
    static SideBarItemModel* instance = new SideBarItemModel();  // lives as long as the process
    return *instance;
}

void SideBarItemModel::setHasAuthTrans(const QString& v) {
    if (!differs(hasAuthTrans_, v)) return;
    hasAuthTrans_ = v;
    Q_EMIT hasAuthTransChanged(v);
}

void SideBarItemModel::setHasWebTrans(const QString& v) {
    if (!differs(hasWebTrans_, v)) return;
    hasWebTrans_ = v;
    Q_EMIT hasWebTransChanged(v);
}

void SideBarItemModel::setHasSentences(const QString& v) {
    if (!differs(hasSentences_, v)) return;
    hasSentences_ = v;
    Q_EMIT hasSentencesChanged(v);
}

void SideBarItemModel::setHasBaike(const QString& v) {
    if (!differs(hasBaike_, v)) return;
    hasBaike_ = v;
    Q_EMIT hasBaikeChanged(v);
}
