#include "support/KitTlsService.h"

#include <QFile>
#include <QProcess>
#include <httplib.h>

namespace {

bool runOpenssl(const QStringList& args, const QString& workDir)
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("openssl %s failed: %s", qPrintable(args.join(u' ')), p.readAll().constData());
        return false;
    }
    return true;
}

const QStringList kEcKey = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

}  // namespace

TestCertificateAuthority::TestCertificateAuthority(const QString& name)
{
    valid_ = runOpenssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + kEcKey +
                            QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                                        QStringLiteral("ca.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                                        QStringLiteral("-subj"), QStringLiteral("/CN=") + name,
                                        QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"),
                                        QStringLiteral("-addext"), QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")},
                        dir_.path());
}

QString TestCertificateAuthority::caPath() const { return dir_.filePath(QStringLiteral("ca.pem")); }

QByteArray TestCertificateAuthority::caPem() const
{
    QFile f(caPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool TestCertificateAuthority::issueServerCertificate(const QString& certPath, const QString& keyPath) const
{
    if (!valid_)
        return false;
    const QString csr = certPath + QStringLiteral(".csr");
    const QString ext = certPath + QStringLiteral(".ext");
    QFile e(ext);
    if (!e.open(QIODevice::WriteOnly))
        return false;
    e.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
    e.close();
    return runOpenssl(QStringList{QStringLiteral("req")} + kEcKey +
                          QStringList{QStringLiteral("-keyout"), keyPath, QStringLiteral("-out"), csr,
                                      QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")},
                      dir_.path())
        && runOpenssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), csr,
                       QStringLiteral("-CA"), QStringLiteral("ca.pem"), QStringLiteral("-CAkey"),
                       QStringLiteral("ca.key"), QStringLiteral("-CAcreateserial"), QStringLiteral("-out"),
                       certPath, QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"), ext},
                      dir_.path());
}

KitTlsService::KitTlsService(const TestCertificateAuthority& authority)
{
    const QString cert = dir_.filePath(QStringLiteral("leaf.pem"));
    const QString key = dir_.filePath(QStringLiteral("leaf.key"));
    if (!authority.issueServerCertificate(cert, key))
        return;
    server_ = std::make_unique<httplib::SSLServer>(cert.toLocal8Bit().constData(), key.toLocal8Bit().constData());
    if (!server_->is_valid())
        return;
    server_->Get("/ping", [this](const httplib::Request&, httplib::Response& res) {
        ++requests_;
        res.set_content("pong", "text/plain");
    });
    server_->set_keep_alive_max_count(1);
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        listenReturned_ = true;
    });
}

KitTlsService::~KitTlsService()
{
    if (!thread_.joinable())
        return;
    while (!server_->is_running() && !listenReturned_)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server_->stop();
    thread_.join();
}

QString KitTlsService::baseUrl() const { return QStringLiteral("https://127.0.0.1:%1").arg(port_); }
