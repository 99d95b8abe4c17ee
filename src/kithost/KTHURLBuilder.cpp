#include "kithost/KTHURLBuilder.h"

KTHURLBuilder KTHURLBuilder::URLWithBase(const QString& base)
{
    KTHURLBuilder b;
    b.string_ = base;
    return b;
}

void KTHURLBuilder::appendComponent(const QString& component)
{
    string_ += component;
}

void KTHURLBuilder::escapeAndAppendComponent(const QString& component)
{
    string_ += escapeString(component);
}

QString KTHURLBuilder::escapeString(const QString& text)
{
    // pchar of RFC 3986: unreserved, sub-delims, ":" and "@".
    static const QByteArray keep = "!$&'()*+,;=:@";
    if (text.startsWith(QLatin1Char('/')))
        return QStringLiteral("/") + QString::fromLatin1(QUrl::toPercentEncoding(text.mid(1), keep));
    return QString::fromLatin1(QUrl::toPercentEncoding(text, keep));
}

QString KTHURLBuilder::escapeQueryValue(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

void KTHURLBuilder::appendValue(const QVariant& value, const QString& queryParam)
{
    if (!value.isValid() || value.isNull())
        return;
    string_ += queryParams_ == 0 ? QLatin1Char('?') : QLatin1Char('&');
    ++queryParams_;
    string_ += queryParam;
    string_ += QLatin1Char('=');
    const QString text = value.typeId() == QMetaType::Bool ? QString::number(value.toBool() ? 1 : 0)
                                                          : value.toString();
    string_ += escapeQueryValue(text);
}

QUrl KTHURLBuilder::URL() const
{
    const QUrl url(string_, QUrl::StrictMode);
    return url.isValid() ? url : QUrl();
}
