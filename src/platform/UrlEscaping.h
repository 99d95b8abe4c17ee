#pragma once

#include <QString>

// The two escaping rules the service's addresses and forms are built with.

// Percent-escapes UTF-8 bytes, leaving letters, digits, -_.!~*'() and the
// reserved ;/?:@&=+$, as they are.
QString legacyEscape(const QString& text);

// legacyEscape, then the reserved characters and <>\^[]`#' escaped too: a
// value that can stand in a query string or form body without splitting it.
QString escapeQueryValue(const QString& text);
