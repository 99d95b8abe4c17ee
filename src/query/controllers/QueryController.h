#pragma once

#include <QObject>
#include <QString>

// What a page may send to the query controller of any of its tabs. A
// QObject so that pages can hold every kind of controller in one list and
// ask with qobject_cast which kinds a controller belongs to.
class QueryController : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~QueryController() override = default;

    virtual void doQuery(const QString& text) = 0;
    // The type is ignored by every controller of the lookup page.
    virtual void doQuery(const QString& text, qint64 type)
    {
        Q_UNUSED(type);
        doQuery(text);
    }
    virtual void onSearchBoxChanged(const QString& text) = 0;
    virtual void setScrollPosition(int position) = 0;
    // Sent after every main-frame load of the shared web view.
    virtual void loadWelcomePage() {}
};
