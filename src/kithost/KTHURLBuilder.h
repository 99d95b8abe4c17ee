#pragma once

#include <QString>
#include <QUrl>
#include <QVariant>

// Builds a request URL: base, path components, then query parameters
// ("?" before the first, "&" before the others). Escaping keeps what a
// component or value holds from changing the URL's structure: an escaped
// component cannot add path segments, a query or a fragment, and a value
// cannot add parameters.
class KTHURLBuilder {
public:
    static KTHURLBuilder URLWithBase(const QString& base);

    void appendComponent(const QString& component);           // as it is
    void escapeAndAppendComponent(const QString& component);  // escapeString
    // Nothing for a null value; strings as they are, other values by their
    // text; every character but the RFC 3986 unreserved ones is escaped.
    void appendValue(const QVariant& value, const QString& queryParam);

    // Percent-escapes UTF-8 for a path component. "/" is escaped except at
    // the very start (where it separates the component from what precedes),
    // and so are "?", "#" and everything not allowed in a path.
    static QString escapeString(const QString& text);
    static QString escapeQueryValue(const QString& text);

    const QString& URLString() const { return string_; }
    QUrl URL() const;   // invalid when the text is not a valid URL

private:
    QString string_;
    int queryParams_ = 0;
};
