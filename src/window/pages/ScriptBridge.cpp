#include "window/pages/ScriptBridge.h"

#include "window/pages/MainViewController.h"
#include "window/pages/WebPageHost.h"

#include <QEvent>

ScriptBridge::ScriptBridge(MainViewController* page, WebPageHost* host, QObject* parent)
    : QObject(parent), page_(page), host_(host)
{
}

bool ScriptBridge::event(QEvent* e)
{
    if (e->type() == QEvent::DeferredDelete)
        return true;
    return QObject::event(e);
}

bool ScriptBridge::allowed() const
{
    return page_ && host_ && host_->showsLocalPage();
}

void ScriptBridge::doQuery(const QString& word)
{
    if (allowed())
        page_->doQuery(word);
}

void ScriptBridge::goURL(const QString& address)
{
    if (allowed())
        page_->goURL(address);
}

void ScriptBridge::goTab(const QString& tabName, const QVariant& word, const QVariant& index)
{
    if (allowed())
        page_->goTab(tabName, word, index.toInt());
}

void ScriptBridge::doLog(const QString& key, const QString& value, const QVariant& extras)
{
    if (allowed())
        page_->doLog(key, value, extras);
}

void ScriptBridge::addToWordBook(const QString& word, const QString& definition, const QString& phone)
{
    if (allowed())
        page_->addWordToWordBook(word, definition, phone);
}

void ScriptBridge::removeFromWordBook(const QString& word)
{
    if (allowed())
        page_->removeWordFromWordBook(word);
}

void ScriptBridge::playAudio(const QString& url)
{
    if (allowed())
        page_->playAudio(url);
}
