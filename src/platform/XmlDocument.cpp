#include "platform/XmlDocument.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <climits>
#include <mutex>

namespace {

void silentErrors(void*, const char*, ...) {}

void initOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        // Service answers are data, not diagnostics: keep libxml2 quiet.
        xmlSetGenericErrorFunc(nullptr, silentErrors);
    });
}

QString fromXml(const xmlChar* s) {
    return s ? QString::fromUtf8(reinterpret_cast<const char*>(s)) : QString();
}

bool nameIs(const xmlNode* n, const QByteArray& name) {
    return n->type == XML_ELEMENT_NODE && n->name &&
           name == reinterpret_cast<const char*>(n->name);
}

}  // namespace

QString XmlNode::name() const { return node_ ? fromXml(node_->name) : QString(); }

QString XmlNode::text() const {
    if (!node_) return QString();
    xmlChar* content = xmlNodeGetContent(node_);
    QString s = content ? fromXml(content) : QString(QLatin1String(""));
    if (content) xmlFree(content);
    return s;
}

XmlNode XmlNode::firstChild(const QString& name) const {
    if (!node_) return XmlNode();
    const QByteArray n = name.toUtf8();
    for (xmlNode* c = node_->children; c; c = c->next)
        if (nameIs(c, n)) return XmlNode(c);
    return XmlNode();
}

QVector<XmlNode> XmlNode::children(const QString& name) const {
    QVector<XmlNode> out;
    if (!node_) return out;
    const QByteArray n = name.toUtf8();
    for (xmlNode* c = node_->children; c; c = c->next)
        if (nameIs(c, n)) out.append(XmlNode(c));
    return out;
}

QString XmlNode::attribute(const QString& name) const {
    if (!node_) return QString();
    xmlChar* v = xmlGetProp(node_, reinterpret_cast<const xmlChar*>(name.toUtf8().constData()));
    QString s = fromXml(v);
    if (v) xmlFree(v);
    return s;
}

XmlDocument::XmlDocument() { initOnce(); }

XmlDocument::~XmlDocument() {
    if (doc_) xmlFreeDoc(doc_);
}

XmlDocument::XmlDocument(XmlDocument&& o) noexcept : doc_(o.doc_) { o.doc_ = nullptr; }

XmlDocument& XmlDocument::operator=(XmlDocument&& o) noexcept {
    if (this != &o) {
        if (doc_) xmlFreeDoc(doc_);
        doc_ = o.doc_;
        o.doc_ = nullptr;
    }
    return *this;
}

bool XmlDocument::parse(const QByteArray& utf8) {
    if (doc_) {
        xmlFreeDoc(doc_);
        doc_ = nullptr;
    }
    if (utf8.isEmpty() || utf8.size() > INT_MAX) return false;
    // No XML_PARSE_NOENT (entities stay references), no DTD loading, no network.
    doc_ = xmlReadMemory(utf8.constData(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
                         XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    // Service answers never carry a document type; one that does could
    // declare entities that expand without bound when the text is read.
    if (doc_ && (!xmlDocGetRootElement(doc_) || doc_->intSubset || doc_->extSubset)) {
        xmlFreeDoc(doc_);
        doc_ = nullptr;
    }
    return doc_ != nullptr;
}

XmlNode XmlDocument::root() const {
    return doc_ ? XmlNode(xmlDocGetRootElement(doc_)) : XmlNode();
}

QVector<XmlNode> XmlDocument::select(const QString& xpath) const {
    return select(xpath, root());
}

QVector<XmlNode> XmlDocument::select(const QString& xpath, const XmlNode& context) const {
    QVector<XmlNode> out;
    if (!doc_) return out;
    xmlXPathContextPtr ctx = xmlXPathNewContext(doc_);
    if (!ctx) return out;
    ctx->node = context.raw() ? context.raw() : xmlDocGetRootElement(doc_);
    xmlXPathObjectPtr res = xmlXPathEvalExpression(
        reinterpret_cast<const xmlChar*>(xpath.toUtf8().constData()), ctx);
    if (res) {
        if (res->type == XPATH_NODESET && res->nodesetval) {
            const xmlNodeSetPtr set = res->nodesetval;
            out.reserve(set->nodeNr);
            for (int i = 0; i < set->nodeNr; ++i) out.append(XmlNode(set->nodeTab[i]));
        }
        xmlXPathFreeObject(res);
    }
    xmlXPathFreeContext(ctx);
    return out;
}
