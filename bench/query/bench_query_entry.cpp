// Parse-and-render time of a large full entry (every section filled), and
// the history: what recording 1,000 words costs the caller, what it costs the
// disk, and the read. Prints figures; passes or fails nothing.
#include "models/MustacheData.h"
#include "query/HistoryRecordingFlags.h"
#include "query/MVDictHistory.h"
#include "query/MainQueryJSONResultParser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#ifndef MIRVOK_BENCH_DATA
#define MIRVOK_BENCH_DATA "tests/data/query"
#endif

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The fixture with every list grown to a realistic large entry's length.
QString largeEntry() {
    QFile f(QStringLiteral(MIRVOK_BENCH_DATA "/full_entry.json"));
    if (!f.open(QIODevice::ReadOnly)) return QString();
    QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
    auto grow = [](QJsonObject parent, const char* key, int times) {
        QJsonArray a = parent.value(QLatin1String(key)).toArray();
        const QJsonArray base = a;
        for (int i = 1; i < times; ++i)
            for (const QJsonValue& v : base) a.append(v);
        parent.insert(QLatin1String(key), a);
        return parent;
    };
    root.insert("blng_sents_part", grow(root.value("blng_sents_part").toObject(), "sentence-pair", 10));
    root.insert("web_trans", grow(root.value("web_trans").toObject(), "web-translation", 8));
    root.insert("syno", grow(root.value("syno").toObject(), "synos", 5));
    root.insert("phrs", grow(root.value("phrs").toObject(), "phrs", 15));
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Compact));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    qputenv("XDG_DATA_HOME", tmp.path().toUtf8());
    HistoryRecordingFlags::sharedInstance().setShouldRecordHistory(false);
    HistoryRecordingFlags::sharedInstance().setNeedToRecordHistory(false);

    const QString json = largeEntry();
    if (json.isEmpty()) {
        std::fprintf(stderr, "fixture missing\n");
        return 1;
    }
    const int rounds = 300;
    std::vector<double> parse, render, total;
    size_t htmlSize = 0;
    for (int i = 0; i < rounds + 20; ++i) {
        QElapsedTimer t;
        t.start();
        MainQueryJSONResultParser p;
        p.word = QStringLiteral("run");
        const MainQueryResultPtr r = p.parseJSON(json);
        const qint64 a = t.nsecsElapsed();
        const auto html = mustachedata::render(QStringLiteral("mainquerytemplate"), r->toMustache());
        const qint64 b = t.nsecsElapsed();
        if (!html) return 1;
        htmlSize = html->size();
        if (i < 20) continue;  // warm-up
        parse.push_back(a / 1000.0);
        render.push_back((b - a) / 1000.0);
        total.push_back(b / 1000.0);
    }
    std::printf("entry: %lld bytes JSON -> %zu chars HTML\n", static_cast<long long>(json.size()), htmlSize);
    std::printf("parse            median %8.1f us/entry\n", median(parse));
    std::printf("render           median %8.1f us/entry\n", median(render));
    std::printf("parse + render   median %8.1f us/entry (target < 2000)\n", median(total));

    MVDictHistory store(tmp.path() + QStringLiteral("/bench-history.db"));
    const int words = 1000;
    QElapsedTimer t;
    std::vector<double> caller;
    caller.reserve(words);
    t.start();
    for (int i = 0; i < words; ++i) {
        QElapsedTimer one;
        one.start();
        store.addWord(QStringLiteral("word'%1").arg(i), QStringLiteral("[w]\\nn. 释义 %1").arg(i),
                      QStringLiteral("{\"i\":%1}").arg(i));
        caller.push_back(one.nsecsElapsed() / 1000.0);
    }
    const double queuedMs = t.nsecsElapsed() / 1e6;
    MVDictHistory::finishQueuedWork();
    const double insertMs = t.nsecsElapsed() / 1e6;
    t.restart();
    const auto items = store.getDictHistory();
    const double readMs = t.nsecsElapsed() / 1e6;
    std::sort(caller.begin(), caller.end());
    std::printf("history record   caller waits median %.1f us, p99 %.1f us, max %.1f us per word "
                "(%d queued in %.1f ms)\n",
                caller[caller.size() / 2], caller[caller.size() * 99 / 100], caller.back(), words, queuedMs);
    std::printf("history insert   %d words on the disk in %8.1f ms (%.1f us/word, one transaction each)\n",
                words, insertMs, insertMs * 1000.0 / words);
    std::printf("history read     %lld rows  in %8.1f ms\n", static_cast<long long>(items.size()), readMs);
    return 0;
}
