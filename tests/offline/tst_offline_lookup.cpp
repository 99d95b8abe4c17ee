// The offline lookup as the lookup engine sees it: phonetic conversion, the
// three kinds of answer, not-found answers, the shipped dictionary and the
// RequestData entry point.
#include "dictwriter/DictWriter.h"
#include "models/FSearchResult.h"
#include "models/MainQueryResult.h"
#include "models/WordStrokeXMLResult.h"
#include "query/RequestData.h"
#include "query/controllers/MainQueryController.h"
#include "platform/Resources.h"
#include "query/offline/OfflineDict.h"
#include "query/offline/OfflineDictReader.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString senseList(const QVariantList& simpleTrans) {
    QStringList out;
    for (const QVariant& v : simpleTrans)
        out << v.toMap().value("item").toMap().value("trans").toString();
    return out.join('|');
}

}  // namespace

class TestOfflineLookup : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QVariant ask(const QString& word, int requestType, int dictType = 0) {
        return OfflineDict::answer(word, "mvdict.idx", requestType, dictType, dir_.path());
    }

private slots:
    void initTestCase() {
        const std::vector<dictwriter::Entry> entries = {
            {"bed", "/BEd/\\nn. bed"},
            {"Beijing", "北京"},
            {"and", "conj. and/or, also\\n和"},
            {"medicine", "[医] 药\\n医学"},
            {"cat", "/kAt/\\nn. 猫\\n\\nv. 吊起"},
            {"苹果", "/ping2 guo3/\\napple"},
        };
        const auto r = dictwriter::writeDictionary(entries, dir_.path().toStdString(), "mvdict.idx");
        QVERIFY2(r.ok, r.error.c_str());
    }

    void convertPhonetic_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("converted");
        QTest::addColumn<int>("close");
        QTest::newRow("bed") << "/BEd/\\nn. bed" << QString::fromUtf8("[ɑəd]\\nn. bed") << 4;
        QTest::newRow("every code")
            << "/ABEFGJNOXRTYZ`./" << QString::fromUtf8("[æɑəʃʒʊŋɔєʌðəθ',]") << 16;
        // Slashes inside senses are text, not phonetic marks.
        QTest::newRow("and/or") << "conj. and/or\\nB/E" << "conj. and/or\\nB/E" << -1;
        QTest::newRow("no closing slash") << "/BEd and more" << "/BEd and more" << -1;
        QTest::newRow("codes after the phonetic stay") << "/E/\\nA. TV" << QString::fromUtf8("[ə]\\nA. TV") << 2;
        QTest::newRow("empty") << "" << "" << -1;
    }
    void convertPhonetic() {
        QFETCH(QString, text);
        QFETCH(QString, converted);
        QFETCH(int, close);
        QCOMPARE(OfflineDict::ConvertPhonetic(text), close);
        QCOMPARE(text, converted);
    }

    void splitEntryText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("phone");
        QTest::addColumn<QString>("senses");
        QTest::newRow("phonetic and sense") << "/BEd/\\nn. bed" << QString::fromUtf8("[ɑəd]") << "n. bed";
        QTest::newRow("no phonetic") << "a\\nb" << QString() << "a|b";
        QTest::newRow("bracket in a sense is no phonetic")
            << QString::fromUtf8("[医] 药\\n医学") << QString() << QString::fromUtf8("[医] 药|医学");
        QTest::newRow("slash in a sense") << "and/or\\nx/y" << QString() << "and/or|x/y";
        QTest::newRow("phonetic without separator") << "/A/x" << QString::fromUtf8("[æ]") << "x";
        QTest::newRow("phonetic only") << "/A/" << QString::fromUtf8("[æ]") << "";
        QTest::newRow("empty senses dropped") << "/A/\\na\\n\\nb\\n" << QString::fromUtf8("[æ]") << "a|b";
    }
    void splitEntryText() {
        QFETCH(QString, text);
        QFETCH(QString, phone);
        QFETCH(QString, senses);
        const auto e = OfflineDict::splitEntryText("w", text);
        QCOMPARE(e.phone, phone);
        QCOMPARE(e.senses.join('|'), senses);
    }

    void toneMarks_data() {
        QTest::addColumn<QString>("numbered");
        QTest::addColumn<QString>("marked");
        QTest::newRow("greeting") << "ni3 hao3" << QString::fromUtf8("nǐ hǎo");
        QTest::newRow("readings, mark on a, e, ou, last vowel") << "shuo1, shui4, mei2, gou3, liu2, hua4"
                                                               << QString::fromUtf8("shuō, shuì, méi, gǒu, liú, huà");
        QTest::newRow("u-umlaut and neutral tone") << "nv3 lv4, dong1 xi5, r5" << QString::fromUtf8("nǚ lǜ, dōng xi, r");
        QTest::newRow("English phonetic stays") << QString::fromUtf8("ˈæpəl") << QString::fromUtf8("ˈæpəl");
        QTest::newRow("mixed stays") << "ni3 hao" << "ni3 hao";
    }
    void toneMarks() {
        QFETCH(QString, numbered);
        QFETCH(QString, marked);
        QCOMPARE(OfflineDict::pinyinWithToneMarks(numbered), marked);
    }

    void fullEntry() {
        const auto r = ask("bed", OfflineDict::kFullEntry).value<MainQueryResultPtr>();
        QVERIFY(r);
        QCOMPARE(r->title, QString("bed"));
        QCOMPARE(r->phone, QString::fromUtf8("[ɑəd]"));
        QCOMPARE(senseList(r->simpleTrans), QString("n. bed"));
        QCOMPARE(r->hasSimpleTrans, QString(" "));
        QVERIFY(r->online.isNull());
        QVERIFY(r->hasNoAnyTrans.isNull());
        QVERIFY(r->favorited.isNull());
        const QVariantMap m = r->toMustache();
        QVERIFY(!m.contains("online"));
        QVERIFY(!m.contains("hasNoAnyTrans"));
    }

    void quickAndPopupResults() {
        const auto q = ask("cat", OfflineDict::kQuickResult).value<FSearchResultPtr>();
        QVERIFY(q);
        QCOMPARE(q->title, QString("cat"));
        QCOMPARE(q->phone, QString::fromUtf8("[kæt]"));
        QCOMPARE(q->trans, QStringList({QString::fromUtf8("n. 猫"), QString::fromUtf8("v. 吊起")}));
        QVERIFY(!q->haveSpeech);
        const auto p = ask("cat", OfflineDict::kCapturePopup).value<WordStrokeXMLResultPtr>();
        QVERIFY(p);
        QCOMPARE(p->title, QString("cat"));
        QCOMPARE(p->phone, QString::fromUtf8("[kæt]"));
        QCOMPARE(p->trans, q->trans);
        QVERIFY(p->webTrans.isEmpty());
        QVERIFY(p->speech.isNull());
    }

    void storedHeadwordAnswersAnyCase() {
        for (const char* q : {"beijing", "BEIJING", "BeiJing"}) {
            const auto r = ask(q, OfflineDict::kFullEntry).value<MainQueryResultPtr>();
            QVERIFY(r);
            QCOMPARE(r->title, QString("Beijing"));
            QCOMPARE(senseList(r->simpleTrans), QString::fromUtf8("北京"));
        }
    }

    void textsWithSlashesAndBracketsStayIntact() {
        auto r = ask("and", OfflineDict::kFullEntry).value<MainQueryResultPtr>();
        QVERIFY(r->phone.isNull());
        QCOMPARE(senseList(r->simpleTrans), QString::fromUtf8("conj. and/or, also|和"));
        r = ask("medicine", OfflineDict::kFullEntry).value<MainQueryResultPtr>();
        QVERIFY(r->phone.isNull());
        QCOMPARE(senseList(r->simpleTrans), QString::fromUtf8("[医] 药|医学"));
    }

    void notFoundAnswers() {
        // A word that is not stored (even one sorting after a stored one).
        for (const QString word : {"Beds", "zebra", "aaa", ""}) {
            const auto r = ask(word, OfflineDict::kFullEntry).value<MainQueryResultPtr>();
            QVERIFY(r);
            QCOMPARE(r->title, word.toLower());
            QCOMPARE(r->hasNoAnyTrans, QString(" "));
            QVERIFY(r->online.isNull());
            QVERIFY(r->simpleTrans.isEmpty());
            QVERIFY(r->hasSimpleTrans.isNull());
            QVERIFY(ask(word, OfflineDict::kQuickResult).isNull());
            QVERIFY(ask(word, OfflineDict::kCapturePopup).isNull());
        }
        QVERIFY(ask("bed", 4).isNull());
        QVERIFY(ask("bed", 0).isNull());
    }

    void otherLanguagesHaveNoOfflineDictionary() {
        const auto r = ask("Bed", OfflineDict::kFullEntry, 2).value<MainQueryResultPtr>();
        QVERIFY(r);
        QCOMPARE(r->title, QString("Bed"));  // as typed, not lower-cased
        QCOMPARE(r->hasNoAnyTrans, QString(" "));
        QVERIFY(r->phone.isNull());
        QVERIFY(ask("bed", OfflineDict::kQuickResult, 2).isNull());
        QVERIFY(ask("bed", OfflineDict::kCapturePopup, 1).isNull());
    }

    // The loaded dictionary is kept between lookups: a regenerated or
    // damaged one must be read anew, not answered from the old index.
    void changedFilesAreReadAgain() {
        QTemporaryDir dir;
        auto write = [&](const char* text) {
            const auto r = dictwriter::writeDictionary({{"bed", text}, {"cat", "n. 猫"}},
                                                       dir.path().toStdString(), "mvdict.idx");
            QVERIFY2(r.ok, r.error.c_str());
        };
        auto sense = [&] {
            const auto r = OfflineDict::answer("bed", "mvdict.idx", 1, 0, dir.path()).value<MainQueryResultPtr>();
            return r ? senseList(r->simpleTrans) : QString("<none>");
        };
        write("n. old bed");
        QCOMPARE(sense(), QString("n. old bed"));
        QCOMPARE(ask("cat", OfflineDict::kFullEntry).value<MainQueryResultPtr>()->phone, QString("[kæt]"));
        write("n. new bed, a longer text than before");
        QCOMPARE(sense(), QString("n. new bed, a longer text than before"));
        for (const QString& name : QDir(dir.path()).entryList({"*.mvd"}))
            QVERIFY(QFile::remove(dir.path() + '/' + name));
        QCOMPARE(sense(), QString("<none>"));
    }

    void shippedDictionary() {
        // No folder: the resources the application ships.
        auto r = OfflineDict::answer("apple", "mvdict.idx", 1, 0).value<MainQueryResultPtr>();
        QVERIFY(r);
        QCOMPARE(r->title, QString("apple"));
        QVERIFY(r->hasNoAnyTrans.isNull());
        QVERIFY(senseList(r->simpleTrans).startsWith(QString::fromUtf8("苹果")));
        const auto q = OfflineDict::answer("Apple", "mvdict.idx", 2, 0).value<FSearchResultPtr>();
        QVERIFY(q && q->trans.contains(QString::fromUtf8("苹果")));
        const auto p = OfflineDict::answer("apple", "mvdict.idx", 3, 0).value<WordStrokeXMLResultPtr>();
        QVERIFY(p && p->trans.contains(QString::fromUtf8("苹果")));

        r = OfflineDict::answer(QString::fromUtf8("苹果"), "mvdict.idx", 1, 0).value<MainQueryResultPtr>();
        QCOMPARE(r->title, QString::fromUtf8("苹果"));
        QCOMPARE(r->phone, QString::fromUtf8("[píng guǒ]"));
        // The mini window's and the popup's answers show the same marks.
        QCOMPARE(OfflineDict::answer(QString::fromUtf8("苹果"), "mvdict.idx", 2, 0).value<FSearchResultPtr>()->phone,
                 QString::fromUtf8("[píng guǒ]"));
        QCOMPARE(OfflineDict::answer(QString::fromUtf8("苹果"), "mvdict.idx", 3, 0).value<WordStrokeXMLResultPtr>()->phone,
                 QString::fromUtf8("[píng guǒ]"));
        QVERIFY(senseList(r->simpleTrans).split('|').contains("apple"));

        r = OfflineDict::answer("JAPAN", "mvdict.idx", 1, 0).value<MainQueryResultPtr>();
        QCOMPARE(r->title, QString("Japan"));
        QVERIFY(r->hasNoAnyTrans.isNull());

        r = OfflineDict::answer("qzxvbnmq", "mvdict.idx", 1, 0).value<MainQueryResultPtr>();
        QCOMPARE(r->hasNoAnyTrans, QString(" "));
        QVERIFY(OfflineDict::answer("qzxvbnmq", "mvdict.idx", 2, 0).isNull());
    }

    // What a user meets first in the shipped data: the everyday word leads,
    // classifier glosses are kept, slurs do not lead.
    void shippedFirstRenderings_data() {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("first");
        QTest::newRow("good") << "good" << QString::fromUtf8("好");
        QTest::newRow("time") << "time" << QString::fromUtf8("时间");
        QTest::newRow("book") << "book" << QString::fromUtf8("书");
        QTest::newRow("say") << "say" << QString::fromUtf8("说");
        QTest::newRow("think") << "think" << QString::fromUtf8("想");
        QTest::newRow("cat") << "cat" << QString::fromUtf8("猫");
        QTest::newRow("paper") << "paper" << QString::fromUtf8("纸");
        QTest::newRow("United States") << "united states" << QString::fromUtf8("美国");
    }
    void shippedFirstRenderings() {
        QFETCH(QString, word);
        QFETCH(QString, first);
        const auto r = OfflineDict::answer(word, "mvdict.idx", 1, 0).value<MainQueryResultPtr>();
        QVERIFY(r && r->hasNoAnyTrans.isNull());
        const QStringList senses = senseList(r->simpleTrans).split('|');
        QCOMPARE(senses.front(), first);
        for (const char* slur : {"美帝", "丑国"})
            QVERIFY(senses.indexOf(QString::fromUtf8(slur)) < 0 || senses.indexOf(QString::fromUtf8(slur)) >= 3);
    }

    // A reader that searches the records of a kind from the last one back (as
    // the format's own lookup does) finds only the words of the last file of
    // that kind: the shipped data has one record, one file, per kind.
    void shippedDataHasOneFilePerKind() {
        OfflineDictReader reader;
        const QByteArray folder = QFile::encodeName(Resources::path("dict"));
        QCOMPARE(reader.loadIndex((folder + "/mvdict.idx").constData(), folder.constData()), 0);
        QCOMPARE(reader.recordCount(), std::size_t(2));
    }

    // Every kind of headword is found through the real reader: each kind
    // lives in one data file, so no word sits in a file the lookup skips.
    void shippedHeadwordsOfEveryKind_data() {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("sense");  // one sense the entry must hold
        QTest::newRow("apple") << "apple" << QString::fromUtf8("苹果");
        QTest::newRow("run") << "run" << QString::fromUtf8("跑");
        QTest::newRow("中国") << QString::fromUtf8("中国") << "China";
        QTest::newRow("traditional 蘋果") << QString::fromUtf8("蘋果") << "apple";
        QTest::newRow("traditional 電腦") << QString::fromUtf8("電腦") << "computer";
        QTest::newRow("went") << "went" << QString::fromUtf8("go 的过去式");
        QTest::newRow("children") << "children" << QString::fromUtf8("child 的复数");
        QTest::newRow("mice") << "mice" << QString::fromUtf8("mouse 的复数");
    }
    void shippedHeadwordsOfEveryKind() {
        QFETCH(QString, word);
        QFETCH(QString, sense);
        const auto r = OfflineDict::answer(word, "mvdict.idx", 1, 0).value<MainQueryResultPtr>();
        QVERIFY(r && r->hasNoAnyTrans.isNull());
        QCOMPARE(r->title, word);
        const QStringList senses = senseList(r->simpleTrans).split('|');
        QVERIFY2(std::any_of(senses.begin(), senses.end(), [&](const QString& s) { return s.startsWith(sense); }),
                 qPrintable(senses.join(" | ")));
    }

    void requestDataAnswersAtOnce() {
        OfflineDict::install();
        RequestData request;
        QObject target;
        QList<QVariant> answers;
        request.requestData("apple", "mvdict.idx", 1, 0, &target,
                            [&](const QVariant& a) { answers << a; });
        QCOMPARE(answers.size(), 1);  // inside the call, no event loop
        const auto r = answers.front().value<MainQueryResultPtr>();
        QVERIFY(r && r->title == "apple");
        request.requestData("qzxvbnmq", "mvdict.idx", 2, 0, nullptr, {});
        QCOMPARE(answers.size(), 1);  // a quick result that is not found: no call
        RequestData::setOfflineLookup({});
    }

    // Missing, truncated or garbage files: every lookup they cost says the
    // offline dictionary is unavailable (once said the network was down,
    // logging nothing), and each file is logged once by name.
    void damagedFilesAreNamedAndReported() {
        static QStringList logged;
        logged.clear();
        const auto previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& m) {
            if (type == QtCriticalMsg) logged << m;
        });
        auto copyOf = [this](const QString& damagedName, const QByteArray* bytes) {
            auto folder = std::make_unique<QTemporaryDir>();
            for (const QString& name : QDir(dir_.path()).entryList(QDir::Files))
                if (!QFile::copy(dir_.filePath(name), folder->filePath(name))) return folder;
            QFile::remove(folder->filePath(damagedName));
            QFile f(folder->filePath(damagedName));
            if (bytes && f.open(QIODevice::WriteOnly)) f.write(*bytes);
            return folder;
        };
        QFile data(dir_.filePath("0.mvd"));
        QVERIFY(data.open(QIODevice::ReadOnly));
        const QByteArray truncated = data.readAll().left(int(data.size() / 2));
        const QByteArray garbage(300, '\x5a');
        const struct { const char* file; const QByteArray* bytes; } cases[] = {
            {"mvdict.idx", nullptr}, {"0.mvd", nullptr}, {"0.mvd", &truncated}, {"mvdict.idx", &garbage}};
        for (const auto& c : cases) {
            const auto folder = copyOf(c.file, c.bytes);
            for (int twice = 0; twice < 2; ++twice) {
                QVERIFY(!OfflineDict::answer("cat", "mvdict.idx", 1, 0, folder->path()).isValid());
                QVERIFY(OfflineDict::unavailable());
                QVERIFY(MainQueryController::lookupFailedHtml().contains(QString::fromUtf8("离线词典不可用")));
            }
            QCOMPARE(logged.size(), 1);
            QVERIFY2(logged.takeFirst().contains(folder->filePath(c.file)), c.file);
        }
        qInstallMessageHandler(previous);
        QVERIFY(ask("cat", 1).isValid());
        QVERIFY(!OfflineDict::unavailable());
        QVERIFY(MainQueryController::lookupFailedHtml().contains(QString::fromUtf8("无法连接服务器")));
    }
};

QTEST_GUILESS_MAIN(TestOfflineLookup)
#include "tst_offline_lookup.moc"
