#include <QSslConfiguration>
#include <QtTest>
#include <atomic>
#include <mutex>

#include "kithost/KTHLog.h"
#include "kithost/KTHNetworkClient.h"
#include "kithost/KTHPinnedCertificates.h"
#include "support/KitTlsService.h"

namespace {

struct Result {
    std::atomic<int> calls{0};
    std::mutex mutex;
    KTHError error;
    QByteArray data;
};

// Sends GET /ping and waits for the one answer.
bool ping(KTHNetworkClient& client, const KitTlsService& server, KTHError* error, QByteArray* data = nullptr)
{
    auto result = std::make_shared<Result>();
    KTHURLRequest r;
    r.url = QUrl(server.baseUrl() + QStringLiteral("/ping"));
    r.timeoutMs = 10000;
    client.startDataTaskWithRequest(r, 3, [result](const QByteArray& d, const KTHHTTPResponse&, const KTHError& e) {
        std::lock_guard lock(result->mutex);
        result->error = e;
        result->data = d;
        ++result->calls;
    });
    if (!QTest::qWaitFor([&] { return result->calls.load() > 0; }, 15000))
        return false;
    QTest::qWait(50);
    std::lock_guard lock(result->mutex);
    *error = result->error;
    if (data)
        *data = result->data;
    return result->calls.load() == 1;
}

QList<QSslCertificate> roots(const TestCertificateAuthority& ca)
{
    return QSslCertificate::fromData(ca.caPem(), QSsl::Pem);
}

}  // namespace

class TestKitHostPinning : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void pinnedRootIsAccepted();
    void otherRootIsRefusedEvenWhenTrustedEverywhere();
    void emptySetRefusesAll();
    void debugModeStillVerifies();
    void carriedRootsAreThePublishedOnes();

private:
    std::unique_ptr<TestCertificateAuthority> ca1_, ca2_;
    std::unique_ptr<KitTlsService> server1_, server2_;
    QSslConfiguration original_;
};

void TestKitHostPinning::initTestCase()
{
    original_ = QSslConfiguration::defaultConfiguration();
    ca1_ = std::make_unique<TestCertificateAuthority>(QStringLiteral("Mirvok Test Root 1"));
    ca2_ = std::make_unique<TestCertificateAuthority>(QStringLiteral("Mirvok Test Root 2"));
    QVERIFY(ca1_->isValid() && ca2_->isValid());
    server1_ = std::make_unique<KitTlsService>(*ca1_);
    server2_ = std::make_unique<KitTlsService>(*ca2_);
    QVERIFY(server1_->isValid() && server2_->isValid());
}

void TestKitHostPinning::cleanup()
{
    KTHLog::setDebug(false);
    QSslConfiguration::setDefaultConfiguration(original_);
}

void TestKitHostPinning::pinnedRootIsAccepted()
{
    KTHNetworkClient client(roots(*ca1_));
    KTHError error;
    QByteArray data;
    QVERIFY(ping(client, *server1_, &error, &data));
    QVERIFY2(error.isNull(), qPrintable(error.description));
    QCOMPARE(data, QByteArray("pong"));
}

void TestKitHostPinning::otherRootIsRefusedEvenWhenTrustedEverywhere()
{
    // CA 2 trusted by the whole process: an unpinned (debug) request gets
    // through first and leaves a verified connection behind.
    QSslConfiguration wide = original_;
    wide.addCaCertificates(roots(*ca2_));
    QSslConfiguration::setDefaultConfiguration(wide);
    KTHNetworkClient client(roots(*ca1_));
    KTHError error;
    KTHLog::setDebug(true);
    QVERIFY(ping(client, *server2_, &error));
    QVERIFY2(error.isNull(), qPrintable(error.description));
    KTHLog::setDebug(false);

    const int before = server2_->requestCount();
    QVERIFY(ping(client, *server2_, &error));
    QCOMPARE(error.domain, QString::fromLatin1(kCRKURLSessionTransportErrorDomain));
    QCOMPARE(server2_->requestCount(), before);   // refused, and not retried into success

    KTHNetworkClient fresh(roots(*ca1_));
    QVERIFY(ping(fresh, *server2_, &error));
    QCOMPARE(error.domain, QString::fromLatin1(kCRKURLSessionTransportErrorDomain));
}

void TestKitHostPinning::emptySetRefusesAll()
{
    QSslConfiguration wide = original_;
    wide.addCaCertificates(roots(*ca1_));
    QSslConfiguration::setDefaultConfiguration(wide);
    KTHNetworkClient client(QList<QSslCertificate>{});
    KTHError error;
    QVERIFY(ping(client, *server1_, &error));
    QCOMPARE(error.domain, QString::fromLatin1(kCRKURLSessionTransportErrorDomain));
    QCOMPARE(server1_->requestCount(), 1);   // only the accepted ping of the first case
}

void TestKitHostPinning::debugModeStillVerifies()
{
    // Debug mode trusts the system roots, which do not hold the test root.
    KTHLog::setDebug(true);
    KTHNetworkClient client(roots(*ca1_));
    KTHError error;
    QVERIFY(ping(client, *server1_, &error));
    QCOMPARE(error.domain, QString::fromLatin1(kCRKURLSessionTransportErrorDomain));
}

void TestKitHostPinning::carriedRootsAreThePublishedOnes()
{
    const QList<QSslCertificate>& set = KTHPinnedCertificates();
    const QList<QPair<QString, int>> expected = {
        {QStringLiteral("AddTrust External CA Root"), 1082},
        {QStringLiteral("Entrust Root Certification Authority"), 1173},
        {QStringLiteral("DigiCert High Assurance EV Root CA"), 969},
        {QStringLiteral("VeriSign Class 3 Public Primary Certification Authority - G5"), 1239},
        {QStringLiteral("VeriSign Class 1 Public Primary Certification Authority - G3"), 1054},
        {QStringLiteral("VeriSign Class 2 Public Primary Certification Authority - G3"), 1053},
        {QStringLiteral("VeriSign Class 3 Public Primary Certification Authority - G3"), 1054},
        {QStringLiteral("VeriSign Class 4 Public Primary Certification Authority - G3"), 1054},
    };
    QCOMPARE(set.size(), expected.size());
    for (int i = 0; i < set.size(); ++i) {
        QVERIFY(set[i].isSelfSigned());
        QCOMPARE(set[i].subjectInfo(QSslCertificate::CommonName).value(0), expected[i].first);
        QCOMPARE(set[i].toDer().size(), expected[i].second);
        QCOMPARE(kKTHPinnedCertificateDER[i].length, expected[i].second);
    }
}

QTEST_GUILESS_MAIN(TestKitHostPinning)
#include "tst_kithost_pinning.moc"
