#include "crash/CRKRecordReader.h"

#include <QFile>
#include <QJsonDocument>
#include <cmath>

QList<QJsonObject> CRKRecordSectionsFromData(const QByteArray& data)
{
    QList<QJsonObject> sections;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        if (end > start) {
            QJsonParseError error;
            const QJsonDocument doc = QJsonDocument::fromJson(data.mid(start, end - start), &error);
            if (error.error == QJsonParseError::NoError && doc.isObject())
                sections.append(doc.object());
        }
        start = end + 1;
    }
    return sections;
}

QList<QJsonObject> CRKFileReadSections(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return CRKRecordSectionsFromData(file.read(kCRKMaxRecordFile));
}

quint64 CRKRecordUnsigned(const QJsonValue& value)
{
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d < 0 || d >= 18446744073709551616.0)
        return 0;
    return quint64(d);
}
