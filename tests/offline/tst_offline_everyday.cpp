// Everyday words both ways through the shipped dictionary, as a user meets
// them: the share of words whose first rendering (English→Chinese) or first
// reading and sense (Chinese→English) a reader accepts. The lists live in
// tests/data/offline; the floors keep the rankings from sliding back.
#include "query/offline/OfflineDict.h"
#include "platform/Resources.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

QList<QStringList> rows(const char* name) {
    QList<QStringList> out;
    QFile f(testDataPath(QString::fromLatin1(name)));
    if (!f.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.isEmpty() && !line.startsWith('#')) out << QString::fromUtf8(line).split(u'\t');
    return out;
}

OfflineDict::Entry lookup(const QString& word) {
    return OfflineDict::lookupEntry(word, QStringLiteral("mvdict.idx"), Resources::path(QStringLiteral("dict")));
}

double report(const char* direction, int passed, const QStringList& failures, int total) {
    const double share = total ? 100.0 * passed / total : 0;
    qInfo("%s: %d of %d pass (%.1f %%); failing: %s", direction, passed, total, share,
          qPrintable(failures.join(QStringLiteral(", "))));
    return share;
}

}  // namespace

class TestOfflineEveryday : public QObject {
    Q_OBJECT
private slots:
    void englishToChinese() {
        const auto list = rows("offline/everyday-en.tsv");
        QVERIFY(list.size() >= 200);
        int passed = 0;
        QStringList failures;
        for (const QStringList& row : list) {
            QCOMPARE(row.size(), 2);
            const auto e = lookup(row[0]);
            const QString first = e.senses.value(0);
            if (row[1].split(u'|').contains(first)) ++passed;
            else failures << row[0] + u'=' + first;
        }
        QVERIFY(report("English to Chinese", passed, failures, int(list.size())) >= 95.6);
    }

    void chineseToEnglish() {
        const auto list = rows("offline/everyday-zh.tsv");
        QVERIFY(list.size() >= 200);
        int passed = 0;
        QStringList failures;
        for (const QStringList& row : list) {
            QCOMPARE(row.size(), 3);
            const auto e = lookup(row[0]);
            // "[shuō, shuì]": the first reading shown.
            const QString shown = e.phone.mid(1, e.phone.size() - 2).section(QStringLiteral(", "), 0, 0);
            bool readingOk = row[1] == u'-';
            for (const QString& r : row[1].split(u'|'))
                readingOk = readingOk || OfflineDict::pinyinWithToneMarks(r) == shown;
            const QString sense = e.senses.value(0);
            bool senseOk = false;
            for (const QString& word : row[2].split(u'|')) {
                const QRegularExpression whole(QStringLiteral("(^|[^a-z])%1([^a-z]|$)")
                                                   .arg(QRegularExpression::escape(word)),
                                               QRegularExpression::CaseInsensitiveOption);
                senseOk = senseOk || whole.match(sense).hasMatch();
            }
            if (readingOk && senseOk) ++passed;
            else failures << row[0] + u'=' + e.phone + sense;
        }
        QVERIFY(report("Chinese to English", passed, failures, int(list.size())) >= 99.3);
    }
};

QTEST_GUILESS_MAIN(TestOfflineEveryday)
#include "tst_offline_everyday.moc"
