#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

struct _xmlDoc;
struct _xmlNode;

// A parsed XML document with XPath queries, over libxml2. Parsing never
// touches the network and never expands entities, so a hostile answer cannot
// pull in files or grow without bound. Nodes are views into the document and
// valid while it lives.
class XmlNode {
public:
    XmlNode() = default;
    explicit XmlNode(_xmlNode* node) : node_(node) {}

    bool isNull() const { return node_ == nullptr; }
    QString name() const;
    // The concatenation of all text inside the node.
    QString text() const;
    // The first element child with this name, or a null node.
    XmlNode firstChild(const QString& name) const;
    QVector<XmlNode> children(const QString& name) const;
    QString attribute(const QString& name) const;

    _xmlNode* raw() const { return node_; }

private:
    _xmlNode* node_ = nullptr;
};

class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(XmlDocument&&) noexcept;
    XmlDocument& operator=(XmlDocument&&) noexcept;
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // False (and an empty document) for text that is not well-formed XML.
    bool parse(const QByteArray& utf8);
    bool parse(const QString& text) { return parse(text.toUtf8()); }
    bool isValid() const { return doc_ != nullptr; }

    XmlNode root() const;
    // Nodes matching an XPath expression, in document order; empty on an
    // invalid expression or when nothing matches.
    QVector<XmlNode> select(const QString& xpath) const;
    // Relative to a context node.
    QVector<XmlNode> select(const QString& xpath, const XmlNode& context) const;

private:
    _xmlDoc* doc_ = nullptr;
};
