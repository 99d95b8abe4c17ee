#include "kithost/KTHURLTypes.h"

namespace {
QByteArray find(const KTHHeaderList& headers, const QByteArray& name)
{
    for (const auto& [k, v] : headers) {
        if (k.compare(name, Qt::CaseInsensitive) == 0)
            return v.isNull() ? QByteArray("") : v;
    }
    return QByteArray();
}
}  // namespace

QByteArray KTHURLRequest::header(const QByteArray& name) const { return find(headers, name); }

bool KTHURLRequest::hasHeader(const QByteArray& name) const { return !header(name).isNull(); }

void KTHURLRequest::setHeader(const QByteArray& name, const QByteArray& value)
{
    for (auto it = headers.begin(); it != headers.end();) {
        if (it->first.compare(name, Qt::CaseInsensitive) == 0)
            it = headers.erase(it);
        else
            ++it;
    }
    if (!value.isNull())
        headers.append({name, value});
}

void KTHURLRequest::addValue(const QByteArray& name, const QByteArray& value)
{
    for (auto& [k, v] : headers) {
        if (k.compare(name, Qt::CaseInsensitive) == 0) {
            v += ", " + value;
            return;
        }
    }
    headers.append({name, value});
}

QByteArray KTHHTTPResponse::header(const QByteArray& name) const { return find(headers, name); }
