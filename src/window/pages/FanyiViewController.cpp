#include "window/pages/FanyiViewController.h"

#include "query/LogUtils.h"
#include "platform/ServiceHost.h"
#include "query/controllers/FanyiQueryController.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QUrl>
#include <QUrlQuery>
#include <QVBoxLayout>

namespace {
// Menu entries in typeArray order, with the tag that picks the direction.
const int kTags[] = {0, 7, 9, 10, 8, 1, 3, 4, 2};
const int kMaxTypedTranslate = 1000;
const int kMaxWebAddress = 99;
}  // namespace

QStringList FanyiViewController::typeArray()
{
    return {QStringLiteral("自动检测语言"), QStringLiteral("中文 >> 英语"), QStringLiteral("中文 >> 日语"),
            QStringLiteral("中文 >> 韩语"), QStringLiteral("中文 >> 法语"), QStringLiteral("英语 >> 中文"),
            QStringLiteral("日语 >> 中文"), QStringLiteral("韩语 >> 中文"), QStringLiteral("法语 >> 中文")};
}

FanyiViewController::FanyiViewController(QWidget* parent) : ManagingViewController(parent)
{
    setWindowTitle(QStringLiteral("翻译"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(250, 250, 250));
    pal.setColor(QPalette::Base, QColor(250, 250, 250));
    setPalette(pal);

    QFont font;
    font.setBold(true);
    font.setPointSize(15);

    input_ = new QPlainTextEdit(this);
    input_->setFont(font);
    textView_ = new QTextEdit(this);
    textView_->setReadOnly(true);
    textView_->setFont(font);

    languageMenu_ = new QMenu(this);
    auto* group = new QActionGroup(this);
    const QStringList types = typeArray();
    for (int i = 0; i < types.size(); ++i) {
        QAction* a = languageMenu_->addAction(types.at(i));
        a->setCheckable(true);
        a->setData(kTags[i]);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, a]() { checkLanguageButtonAction(a); });
    }

    checkLanguageButton_ = new QPushButton(types.first(), this);
    connect(checkLanguageButton_, &QPushButton::clicked, this, [this]() {
        languageMenu_->popup(checkLanguageButton_->mapToGlobal(QPoint(0, checkLanguageButton_->height() + 4)));
    });
    queryButton_ = new QPushButton(QStringLiteral("翻译"), this);
    queryButton_->setStyleSheet(QStringLiteral("QPushButton{background:rgb(189,65,64);color:white;border-radius:3px;"
                                               "padding:4px 16px;}QPushButton:pressed{background:rgb(194,0,27);}"));
    clearButton_ = new QPushButton(QStringLiteral("清空"), this);
    connect(queryButton_, &QPushButton::clicked, this, [this]() { query(); });
    connect(clearButton_, &QPushButton::clicked, this, &FanyiViewController::clear);

    // The hint over the empty input: "type here, or paste, the text to translate".
    placeHolderView_ = new QWidget(input_->viewport());
    auto* hint = new QHBoxLayout(placeHolderView_);
    hint->setContentsMargins(6, 4, 6, 4);
    hint->addWidget(new QLabel(QStringLiteral("在此输入"), placeHolderView_));
    huoLabel_ = new QLabel(QStringLiteral("或"), placeHolderView_);
    hint->addWidget(huoLabel_);
    pasteButton_ = new QPushButton(QStringLiteral("粘贴"), placeHolderView_);
    pasteButton_->setStyleSheet(QStringLiteral("QPushButton{background:rgb(239,239,239);border-radius:13px;"
                                               "padding:2px 10px;}"));
    hint->addWidget(pasteButton_);
    hint->addWidget(new QLabel(QStringLiteral("要翻译的文字"), placeHolderView_));
    hint->addStretch();
    placeHolderView_->adjustSize();
    connect(pasteButton_, &QPushButton::clicked, this, [this]() {
        LogUtils::log(QStringLiteral("action"), QStringLiteral("trans_paste"));
        input_->setFocus();
        paste();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(checkLanguageButton_);
    buttons->addStretch();
    buttons->addWidget(clearButton_);
    buttons->addWidget(queryButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(input_, 1);
    layout->addLayout(buttons);
    layout->addWidget(textView_, 1);

    fyQueryController_ = qobject_cast<FanyiQueryController*>(queryControllers_.at(FanyiIndex));
    fyQueryController_->setTextView([this](const QString& text) {
        textView_->setPlainText(text);
        QTextCursor c(textView_->document());
        c.select(QTextCursor::Document);
        QTextCharFormat f;
        f.setFontFamilies({QStringLiteral("Arial")});
        f.setFontPointSize(15);
        f.setFontWeight(QFont::Normal);
        c.mergeCharFormat(f);
    });
    checkLanguageButtonAction(languageMenu_->actions().first());
    connect(input_, &QPlainTextEdit::textChanged, this, &FanyiViewController::inputEdited);
    rebuildPlaceHolderView();
}

FanyiViewController::~FanyiViewController() = default;

QString FanyiViewController::webPageTranslateUrl(const QString& address)
{
    // The address travels as one fully escaped value: left as it is, its own
    // "&" and "#" would cut it short at its first query separator or fragment.
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("keyfrom"), QStringLiteral("mac.fanyi"));
    q.addQueryItem(QStringLiteral("url"), QString::fromLatin1(QUrl::toPercentEncoding(address)));
    q.addQueryItem(QStringLiteral("type"), QStringLiteral("AUTO"));
    return serviceBaseUrl() + QStringLiteral("/WebpageTranslate?") + q.toString(QUrl::FullyEncoded);
}

static bool isWebAddress(const QString& text)
{
    return text.size() <= kMaxWebAddress
           && (text.startsWith(QLatin1String("http://")) || text.startsWith(QLatin1String("https://")));
}

void FanyiViewController::setInputText(const QString& text)
{
    clearing_ = true;
    input_->setPlainText(text);
    clearing_ = false;
    placeHolderView_->setVisible(text.isEmpty());
}

void FanyiViewController::query()
{
    translate(true);
}

void FanyiViewController::translate(bool explicitRequest)
{
    LogUtils::log(QStringLiteral("action"), QStringLiteral("translate_translate_click"));
    const QString text = input_->toPlainText();
    if (text.isEmpty()) {
        clear();
        return;
    }
    if (!isWebAddress(text)) {
        fyQueryController_->doQuery(text);
        return;
    }
    // A half-typed address must not open the browser on every keystroke:
    // only the translate button or a paste opens the page translation.
    if (explicitRequest)
        QDesktopServices::openUrl(QUrl(webPageTranslateUrl(text)));
}

void FanyiViewController::inputEdited()
{
    if (clearing_)
        return;
    if (input_->toPlainText().size() > kMaxTypedTranslate)
        return;
    translate(pasting_);
    placeHolderView_->setVisible(input_->toPlainText().isEmpty());
}

void FanyiViewController::clear()
{
    LogUtils::log(QStringLiteral("action"), QStringLiteral("translate_empty_click"));
    clearing_ = true;
    textView_->clear();
    input_->clear();
    clearing_ = false;
    placeHolderView_->setVisible(true);
}

void FanyiViewController::paste()
{
    pasting_ = true;
    input_->paste();
    pasting_ = false;
}

void FanyiViewController::checkLanguageButtonAction(QAction* item)
{
    if (!item)
        return;
    checkLanguageButton_->setText(item->text());
    if (currentItem_)
        currentItem_->setChecked(false);
    currentItem_ = item;
    item->setChecked(true);
    fyQueryController_->setCurrentItemTag(item->data().toInt());
}

void FanyiViewController::rebuildPlaceHolderView()
{
    const bool hasText = !QGuiApplication::clipboard()->text().isEmpty();
    huoLabel_->setVisible(hasText);
    pasteButton_->setVisible(hasText);
    placeHolderView_->adjustSize();
}

bool FanyiViewController::placeHolderShown() const
{
    return !placeHolderView_->isHidden();
}

bool FanyiViewController::pasteButtonShown() const
{
    return !pasteButton_->isHidden();
}

void FanyiViewController::showEvent(QShowEvent* event)
{
    ManagingViewController::showEvent(event);
    rebuildPlaceHolderView();
}
