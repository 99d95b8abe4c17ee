#include "app/CommandLine.h"

#include "app/AppLibrary.h"
#include "platform/BundleInfo.h"
#include "platform/Resources.h"
#include "query/offline/OfflineDict.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace CommandLine {
namespace {

// What a terminal user may type for the answers; Qt's own start-up options
// (-platform, -style, the web engine's flags) keep going to the interface.
constexpr const char* kOwnOptions[] = {"-h", "--help", "-?", "--help-all", "-v", "--version",
                                       "--lookup", "--query", "--json"};

bool isOwnOption(const char* arg) {
    for (const char* o : kOwnOptions) {
        const std::size_t n = std::strlen(o);
        // "--lookup=word" counts as well as "--lookup word".
        if (std::strncmp(arg, o, n) == 0 && (arg[n] == '\0' || (arg[n] == '=' && o[1] == '-'))) return true;
    }
    return false;
}

// Exit status when the answer could not be written (a full disk, a closed
// pipe): never the "done" of an answer nobody got.
constexpr int kNotWritten = 3;

// False, with the reason on stderr, when `to` did not take all of it.
bool print(FILE* to, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), to) == std::size_t(bytes.size());
    if (std::fflush(to) == 0 && written) return true;
    const int error = errno;
    if (to != stderr)
        std::fprintf(stderr, "mirvok: 无法写出结果：%s\n", error ? std::strerror(error) : "写入失败");
    return false;
}

// After "--" every argument is a word, never an option: an option that takes
// a value and stands right before it takes the first of them
// (`mirvok --lookup -- -ing`).
QStringList optionsEndedByDoubleDash(QStringList args) {
    const qsizetype end = args.indexOf(QStringLiteral("--"), 1);
    if (end < 0) return args;
    QStringList words = args.mid(end + 1);
    args.resize(end);
    if (!words.isEmpty() &&
        (args.last() == QLatin1String("--lookup") || args.last() == QLatin1String("--query")))
        args.last() += u'=' + words.takeFirst();
    return args << QStringLiteral("--") << words;
}

int lookup(const QString& word, bool json) {
    const QString trimmed = word.trimmed();
    OfflineDict::Entry e;
    if (!trimmed.isEmpty())
        e = OfflineDict::lookupEntry(trimmed, QStringLiteral("mvdict.idx"), Resources::path(QStringLiteral("dict")));
    if (json) {
        QJsonObject o{{QStringLiteral("query"), word}, {QStringLiteral("found"), e.found}};
        if (e.found) {
            o.insert(QStringLiteral("headword"), e.title);
            o.insert(QStringLiteral("pronunciation"), e.phone.isNull() ? QJsonValue() : QJsonValue(e.phone));
            o.insert(QStringLiteral("renderings"), QJsonArray::fromStringList(e.senses));
        }
        if (!print(stdout, QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented)))) return kNotWritten;
        return e.found ? 0 : 1;
    }
    if (!e.found) {
        print(stderr, QStringLiteral("离线词典中没有“%1”。\n").arg(trimmed));
        return 1;
    }
    QString out = e.title;
    if (!e.phone.isEmpty()) out += u' ' + e.phone;
    out += u'\n';
    for (const QString& s : e.senses) out += QStringLiteral("  ") + s + u'\n';
    return print(stdout, out) ? 0 : kNotWritten;
}

}  // namespace

bool wanted(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        // After "--" everything is a word, never an option.
        if (std::strcmp(argv[i], "--") == 0) return false;
        if (isOwnOption(argv[i])) return true;
    }
    return false;
}

int run(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mirvok"));
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1 (%2)").arg(BundleInfo::shortVersion(), BundleInfo::buildVersion()));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "米沃词典 (Mirvok)：英汉、汉英词典与翻译。\n"
        "不带选项时启动图形界面；以下选项在终端里作答，不需要图形显示。"));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption lookupOption(
        QStringLiteral("lookup"),
        QStringLiteral("在随程序安装的离线词典里查 <词>，打印词头、读音和释义；查不到时退出码为 1。"),
        QStringLiteral("词"));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("与 --lookup 一起用：以 JSON 打印结果。"));
    const QCommandLineOption queryOption(
        QStringLiteral("query"),
        QStringLiteral("在正在运行的米沃词典主窗口里查 <文字>（经 D-Bus；没有运行时先启动它）。"),
        QStringLiteral("文字"));
    parser.addOptions({lookupOption, jsonOption, queryOption});

    if (!parser.parse(optionsEndedByDoubleDash(QCoreApplication::arguments()))) {
        print(stderr, parser.errorText() + QStringLiteral("\n用 mirvok --help 查看用法。\n"));
        return 2;
    }
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        return print(stdout, parser.helpText()) ? 0 : kNotWritten;
    }
    if (parser.isSet(versionOption)) {
        return print(stdout, QStringLiteral("mirvok %1\n").arg(QCoreApplication::applicationVersion())) ? 0
                                                                                                      : kNotWritten;
    }
    const bool hasLookup = parser.isSet(lookupOption);
    const bool hasQuery = parser.isSet(queryOption);
    if (hasLookup == hasQuery || !parser.positionalArguments().isEmpty() ||
        (parser.isSet(jsonOption) && !hasLookup)) {
        print(stderr, QStringLiteral("请只给出一个 --lookup 词 或 --query 文字（--json 只配 --lookup）。\n"
                                     "用 mirvok --help 查看用法。\n"));
        return 2;
    }
    if (hasLookup) return lookup(parser.value(lookupOption), parser.isSet(jsonOption));

    const QString text = parser.value(queryOption);
    if (text.trimmed().isEmpty()) {
        print(stderr, QStringLiteral("--query 需要要查的文字。\n"));
        return 2;
    }
    // The session bus is the application library's: only this command loads it.
    const auto query = reinterpret_cast<AppLibrary::QueryEntry>(AppLibrary::resolve(AppLibrary::kQueryEntry));
    if (!query) return 1;
    QString failure;
    const int status = query(&text, &failure);
    if (!failure.isEmpty()) print(stderr, failure + u'\n');
    return status;
}

}  // namespace CommandLine
