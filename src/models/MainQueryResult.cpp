#include "models/MainQueryResult.h"

#include "models/MustacheData.h"

using mustachedata::insertIfSet;

namespace {
QString bracketed(const QString& phonetic) {
    if (phonetic.isEmpty() || phonetic.startsWith(QLatin1Char('['))) return phonetic;
    return QStringLiteral("[%1]").arg(phonetic);
}
}  // namespace

QVariantMap MainQueryResult::toMustache() const {
    QVariantMap m;
    auto list = [&m](const char* key, const QVariantList& l) {
        if (!l.isEmpty()) m.insert(QLatin1String(key), l);
    };
#define MV_TEXT(f) insertIfSet(m, QStringLiteral(#f), f)
#define MV_VALUE(f) insertIfSet(m, QStringLiteral(#f), f)
    MV_TEXT(title);
    MV_TEXT(phone);
    MV_TEXT(ukPhone);
    MV_TEXT(usPhone);
    MV_TEXT(speech);
    MV_TEXT(ukSpeech);
    MV_TEXT(usSpeech);
    MV_TEXT(online);
    MV_TEXT(favorited);
    list("simpleTrans", simpleTrans);
    MV_TEXT(hasSimpleTrans);
    MV_TEXT(dictDisplayName);
    MV_VALUE(ec21Dict);
    MV_TEXT(hasEc21);
    MV_VALUE(eeDict);
    MV_TEXT(hasEE);
    MV_VALUE(collinsDict);
    MV_TEXT(hasCollins);
    MV_TEXT(hasAuthTrans);
    list("webTrans", webTrans);
    MV_TEXT(hasWebTrans);
    list("webTransWord", webTransWord);
    MV_TEXT(hasWebTransWord);
    // Example sentences carry the service's inline markup.
    list("sentences", mustachedata::withInlineMarkup(sentences));
    MV_TEXT(hasSentences);
    insertIfSet(m, QStringLiteral("authSentences"), mustachedata::withInlineMarkup(authSentences));
    MV_TEXT(hasAuthSentence);
    insertIfSet(m, QStringLiteral("mediaSentences"), mustachedata::withInlineMarkup(mediaSentences));
    MV_TEXT(hasMediaSentence);
    MV_TEXT(hasSentencesTab);
    list("synos", synos);
    MV_TEXT(hasSynos);
    MV_TEXT(phrs_word);
    MV_VALUE(phrs);
    MV_TEXT(hasPhrs);
    MV_TEXT(relword);
    MV_VALUE(rels);
    MV_TEXT(hasRelword);
    MV_TEXT(hasPhrsTab);
    list("baike", baike);
    MV_TEXT(hasBaike);
    MV_VALUE(typos);
    MV_TEXT(hasTypos);
    MV_VALUE(webResults);
    MV_TEXT(hasWebResults);
    MV_TEXT(pic);
    MV_TEXT(hasSpecial);
    MV_VALUE(special_total);
    MV_VALUE(special_co_add_url);
    MV_VALUE(special_entries);
    MV_TEXT(special_summary_text);
    MV_TEXT(special_summary_src_site);
    MV_TEXT(special_summary_src_url);
    MV_TEXT(hasHh);
    MV_TEXT(hh_src_name);
    MV_TEXT(hh_src_url);
    MV_TEXT(hh_phone);
    MV_VALUE(hh_key);
    MV_VALUE(hh_trans);
    MV_TEXT(hasNoAnyTrans);
    // Where the page fetches a pronunciation: the speech values are the
    // service's audio parameters.
    m.insert(QStringLiteral("audioBase"), mustachedata::audioBase());
    // Phonetics as shown: the service sends them bare, the offline dictionary
    // and the XML answers already bracketed.
    insertIfSet(m, QStringLiteral("phoneShown"), bracketed(phone));
    insertIfSet(m, QStringLiteral("ukPhoneShown"), bracketed(ukPhone));
    insertIfSet(m, QStringLiteral("usPhoneShown"), bracketed(usPhone));
#undef MV_TEXT
#undef MV_VALUE
    return m;
}
