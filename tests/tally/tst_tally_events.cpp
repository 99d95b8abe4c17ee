#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "tally/CRKAnalyticsEvent.h"
#include "tally/CRKEventLogEvent.h"
#include "tally/CRKTallyEvent.h"

// Events as the kit turns them into payloads and stored lines.
class TestTallyEvents : public QObject {
    Q_OBJECT
private slots:
    void customEventPayloadAndLimits();
    void predefinedAttributes();
    void lifecycleKeysAndPriorities();
    void lineBytes();
    void recordsReadBackAndTornTailsCut();
    void javaHashMatchesKnownValues();
    void samplingRules();
};

namespace {
QJsonObject payloadOf(const CRKEventLogEvent& e)
{
    return QJsonDocument::fromJson(*e.payload()).object();
}
}  // namespace

void TestTallyEvents::customEventPayloadAndLimits()
{
    QVERIFY(!CRKTallyCustomEvent::create(QString()));

    const auto named = CRKTallyCustomEvent::create(QString(150, QLatin1Char('n')), {{"k", "v"}, {"n", 3}});
    const auto e = CRKAnalyticsEvent::fromTallyEvent(*named, 1234, QStringLiteral("E-1"));
    QCOMPARE(e->priority(), quint64(2));
    QCOMPARE(e->key(), QStringLiteral("custom"));
    QCOMPARE(*e->payload(), QByteArray("{\"custom_attributes\":{\"k\":\"v\",\"n\":3},\"custom_type\":\"")
                                + QByteArray(100, 'n') + "\",\"eventId\":\"E-1\",\"predefined_attributes\":{}}");

    QVariantMap many;
    for (int i = 0; i < 22; ++i)
        many.insert(QStringLiteral("a%1").arg(i, 2, 10, QLatin1Char('0')), i);
    QCOMPARE(CRKTallyEvent::filterCustomAttributes(many).size(), 21);
    many.remove(QStringLiteral("a21"));
    QCOMPARE(CRKTallyEvent::filterCustomAttributes(many).size(), 21);

    // Only strings and numbers; keys and strings cut at 100 units, never
    // inside a surrogate pair (which would make invalid text).
    const QString pairAtCut = QString(99, QLatin1Char('x')) + QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral("y");
    const QVariantMap filtered = CRKTallyEvent::filterCustomAttributes(
        {{"list", QVariantList{1}}, {"s", pairAtCut}, {QString(120, QLatin1Char('k')), "v"}});
    QCOMPARE(filtered.size(), 2);
    QCOMPARE(filtered.value("s").toString(), QString(99, QLatin1Char('x')));
    QVERIFY(filtered.contains(QString(100, QLatin1Char('k'))));
    QCOMPARE(CRKTallyEvent::truncateString(QString(100, QLatin1Char('z')) + "!"), QString(100, QLatin1Char('z')));
}

void TestTallyEvents::predefinedAttributes()
{
    // Decimal arithmetic: 9.99 × 1000000 is exactly 9990000.
    auto purchase = CRKTallyPredefinedEvent::purchase(9.99, "CNY", true, "book", 42, "paper", {});
    QCOMPARE(purchase.predefinedAttributes().value("item_price"), QVariant(qint64(9990000)));
    QCOMPARE(purchase.predefinedAttributes().value("success"), QVariant("true"));
    QCOMPARE(purchase.predefinedAttributes().value("item_id"), QVariant("42"));   // a number given for a string
    QCOMPARE(CRKTallyPredefinedEvent::serializePriceToMicros(0.1), QVariant(qint64(100000)));
    QCOMPARE(CRKTallyPredefinedEvent::serializePriceToMicros("19.999999"), QVariant(qint64(19999999)));
    QCOMPARE(CRKTallyPredefinedEvent::serializePriceToMicros(0.0000005).toDouble(), 0.5);
    QCOMPARE(CRKTallyPredefinedEvent::serializePriceToMicros(-2), QVariant(qint64(-2000000)));

    const auto noPrice = CRKTallyPredefinedEvent::addToCart(QVariant(), "CNY", "n", "t", "i", {});
    QVERIFY(!noPrice.predefinedAttributes().contains("item_price"));
    const auto rating = CRKTallyPredefinedEvent::rating(4.7, "c", QVariant(), QVariant(), {});
    QCOMPARE(rating.predefinedAttributes().value("rating"), QVariant(qint64(4)));
    QCOMPARE(rating.predefinedAttributes().size(), 2);
    const auto login = CRKTallyPredefinedEvent::login("mail", false, {});
    QCOMPARE(login.predefinedAttributes().value("success"), QVariant("false"));

    const auto e = CRKAnalyticsEvent::fromTallyEvent(CRKTallyPredefinedEvent::search("hello", {{"c", 1}}), 5, "id");
    const QJsonObject p = payloadOf(*e);
    QCOMPARE(e->key(), QStringLiteral("predefined"));
    QCOMPARE(p.value("predefined_type").toString(), QStringLiteral("search"));
    QCOMPARE(p.value("predefined_attributes").toObject().value("query").toString(), QStringLiteral("hello"));
    QCOMPARE(p.value("custom_attributes").toObject().value("c").toInt(), 1);
}

void TestTallyEvents::lifecycleKeysAndPriorities()
{
    struct Case { const char* name; bool flush; const char* key; quint64 priority; };
    const Case cases[] = {
        {kNSApplicationWillTerminateNotification, false, "app_terminated", 1},
        {kNSApplicationWillResignActiveNotification, false, "app_became_inactive", 1},
        {kNSApplicationWillResignActiveNotification, true, "app_became_inactive", 0},
        {kNSApplicationDidBecomeActiveNotification, false, "app_became_active", 0},
    };
    for (const Case& c : cases) {
        const auto e = CRKAnalyticsEvent::lifecycleFromNotification(c.name, 7, "X", c.flush);
        QVERIFY(e);
        QCOMPARE(e->key(), QString::fromLatin1(c.key));
        QCOMPARE(e->priority(), c.priority);
        QCOMPARE(*e->payload(), QByteArray("{\"eventId\":\"X\"}"));
    }
    QVERIFY(!CRKAnalyticsEvent::lifecycleFromNotification("NSApplicationDidResignActiveNotification", 7, "X", false));
    QCOMPARE(CRKAnalyticsEvent::appInstalled(1, "i")->priority(), quint64(0));
    QCOMPARE(CRKAnalyticsEvent::appLaunched(1, "i")->priority(), quint64(1));
    QCOMPARE(CRKAnalyticsEvent::appCrashed(1, "i")->key(), QStringLiteral("app_crashed"));
}

void TestTallyEvents::lineBytes()
{
    QCOMPARE(CRKEventLogEvent(1, 1700000000123, "app_launched", std::nullopt).eventData(),
             QByteArray("1700000000123\tapp_launched\n"));
    QCOMPARE(CRKEventLogEvent(1, 5, "k", QByteArray("")).eventData(), QByteArray("5\tk\t0\t\n"));
    QCOMPARE(CRKEventLogEvent(0, 5, "metadata", QByteArray("a\nb\tc")).eventData(),
             QByteArray("5\tmetadata\t5\ta\nb\tc\n"));
}

void TestTallyEvents::recordsReadBackAndTornTailsCut()
{
    // Written by hand from the format, not by our writer.
    const QByteArray whole = QByteArray("12\tmetadata\t4\t{\n}}\n") + "13\tapp_launched\n" + "14\tcustom\t0\t\n";
    CRKEventLogRecord r;
    QCOMPARE(CRKEventLogReader::readRecord(whole, 0, &r), qint64(19));
    QCOMPARE(r.timestamp, qint64(12));
    QCOMPARE(*r.payload, QByteArray("{\n}}"));
    QCOMPARE(CRKEventLogReader::wholeRecordsLength(whole), qint64(whole.size()));
    // Every cut inside the last record loses only that record.
    const qint64 lastStart = whole.size() - QByteArray("14\tcustom\t0\t\n").size();
    for (qint64 cut = lastStart; cut < whole.size(); ++cut)
        QCOMPARE(CRKEventLogReader::wholeRecordsLength(whole.left(cut)), lastStart);
    // A length promising more than is there, or no LF after the payload.
    QCOMPARE(CRKEventLogReader::wholeRecordsLength("1\tk\t9\tabc\n"), qint64(0));
    QCOMPARE(CRKEventLogReader::wholeRecordsLength("1\tk\t2\tabc\n"), qint64(0));
    QCOMPARE(CRKEventLogReader::wholeRecordsLength("x\tk\n"), qint64(0));
    QCOMPARE(CRKEventLogReader::wholeRecordsLength("1\t\n"), qint64(0));
    QCOMPARE(CRKEventLogReader::wholeRecordsLength("1\tk\t99999999999999999999\t\n"), qint64(0));
}

void TestTallyEvents::javaHashMatchesKnownValues()
{
    QCOMPARE(CRKAnalyticsEventFilter::javaHashCodeForString(""), 0);
    QCOMPARE(CRKAnalyticsEventFilter::javaHashCodeForString("a"), 97);
    QCOMPARE(CRKAnalyticsEventFilter::javaHashCodeForString("hello"), 99162322);
    QCOMPARE(CRKAnalyticsEventFilter::javaHashCodeForString("Hello World"), -862545276);
    QCOMPARE(CRKAnalyticsEventFilter::javaHashCodeForString(QString::fromUtf8("\xF0\x9F\x98\x80")), 1772899);
}

void TestTallyEvents::samplingRules()
{
    // Hashes: "a" = 97 (97 % 3 = 1), "c" = 99 (divisible by 3).
    const auto launched = CRKAnalyticsEvent::appLaunched(1, "e");
    const auto installed = CRKAnalyticsEvent::appInstalled(1, "e");
    const auto custom = CRKAnalyticsEvent::fromTallyEvent(*CRKTallyCustomEvent::create("x"), 1, "e");
    using namespace CRKAnalyticsEventFilter;
    QVERIFY(shouldDiscardEvent(nullptr, {}, "a", 3));
    QVERIFY(shouldDiscardEvent(launched.get(), {}, "a", 3));
    QVERIFY(!shouldDiscardEvent(launched.get(), {}, "c", 3));
    QVERIFY(!shouldDiscardEvent(launched.get(), "2:beta", "a", 3));
    QVERIFY(!shouldDiscardEvent(launched.get(), {}, QString(), 3));
    QVERIFY(!shouldDiscardEvent(launched.get(), {}, "a", 1));
    QVERIFY(!shouldDiscardEvent(launched.get(), {}, "a", 0));
    QVERIFY(!shouldDiscardEvent(installed.get(), {}, "a", 3));
    QVERIFY(!shouldDiscardEvent(custom.get(), {}, "a", 3));
    // A negative hash divisible by the factor keeps its events too.
    QVERIFY(!shouldDiscardEventWithInstallationID("Hello World", 2));   // -862545276 is even
    QVERIFY(samplingEnabledForEventType("app_became_active"));
    QVERIFY(!samplingEnabledForEventType("metadata"));
}

QTEST_GUILESS_MAIN(TestTallyEvents)
#include "tst_tally_events.moc"
