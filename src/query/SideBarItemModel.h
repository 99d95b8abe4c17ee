#pragma once

#include <QObject>
#include <QString>

// Which sections the entry on show has, for the side bar: each flag is the
// dictionary result's marker text when the section exists and a null string
// when it does not. The readers set them after every parse; the side bar
// listens to the change signals. One instance per process; the constructor is
// private, so making another is a compile-time error rather than a run-time
// assertion.
class SideBarItemModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString hasAuthTrans READ hasAuthTrans WRITE setHasAuthTrans NOTIFY hasAuthTransChanged)
    Q_PROPERTY(QString hasWebTrans READ hasWebTrans WRITE setHasWebTrans NOTIFY hasWebTransChanged)
    Q_PROPERTY(QString hasSentences READ hasSentences WRITE setHasSentences NOTIFY hasSentencesChanged)
    Q_PROPERTY(QString hasBaike READ hasBaike WRITE setHasBaike NOTIFY hasBaikeChanged)
public:
    static SideBarItemModel& sharedInstance();

    QString hasAuthTrans() const { return hasAuthTrans_; }
    QString hasWebTrans() const { return hasWebTrans_; }
    QString hasSentences() const { return hasSentences_; }
    QString hasBaike() const { return hasBaike_; }

    // Each setter signals only on an actual change (null and empty differ).
    void setHasAuthTrans(const QString& v);
    void setHasWebTrans(const QString& v);
    void setHasSentences(const QString& v);
    void setHasBaike(const QString& v);

Q_SIGNALS:
    void hasAuthTransChanged(const QString& value);
    void hasWebTransChanged(const QString& value);
    void hasSentencesChanged(const QString& value);
    void hasBaikeChanged(const QString& value);

private:
    SideBarItemModel() = default;
    QString hasAuthTrans_, hasWebTrans_, hasSentences_, hasBaike_;
};
