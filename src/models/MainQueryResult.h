#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <memory>

// The dictionary entry of one word as the pages show it. Filled by the JSON
// and XML readers and by the offline dictionary, read by mainquerytemplate.
//
// Flags (`has…`, `online`) are text: " " when set, null when not; never "NO".
// `favorited` is "YES" or null. Lists hold elements of the shape
// {"item": ...}; lists and sections taken from the service hold its JSON
// unchanged (as QVariant conversions of it). A null text or an invalid
// QVariant is "not set".
class MainQueryResult {
public:
    QString title;
    QString phone;
    QString ukPhone;
    QString usPhone;
    QString speech;
    QString ukSpeech;
    QString usSpeech;
    QString online;
    QString favorited;

    QVariantList simpleTrans;
    QString hasSimpleTrans;

    QString dictDisplayName;
    QVariant ec21Dict;
    QString hasEc21;
    QVariant eeDict;
    QString hasEE;
    QVariant collinsDict;
    QString hasCollins;
    QString hasAuthTrans;

    QVariantList webTrans;
    QString hasWebTrans;
    QVariantList webTransWord;
    QString hasWebTransWord;

    QVariantList sentences;
    QString hasSentences;
    QVariant authSentences;
    QString hasAuthSentence;
    QVariant mediaSentences;
    QString hasMediaSentence;
    QString hasSentencesTab;

    QVariantList synos;
    QString hasSynos;
    QString phrs_word;
    QVariant phrs;
    QString hasPhrs;
    QString relword;
    QVariant rels;
    QString hasRelword;
    QString hasPhrsTab;

    QVariantList baike;
    QString hasBaike;

    QVariant typos;
    QString hasTypos;
    QVariant webResults;
    QString hasWebResults;

    QString pic;

    QString hasSpecial;
    QVariant special_total;
    QVariant special_co_add_url;
    QVariant special_entries;
    QString special_summary_text;
    QString special_summary_src_site;
    QString special_summary_src_url;

    QString hasHh;
    QString hh_src_name;
    QString hh_src_url;
    QString hh_phone;
    QVariant hh_key;
    QVariant hh_trans;

    QString hasNoAnyTrans;

    // The template's view of the entry: every field by its own name, unset
    // flags, null texts and empty lists left out.
    QVariantMap toMustache() const;
};

using MainQueryResultPtr = std::shared_ptr<MainQueryResult>;
Q_DECLARE_METATYPE(MainQueryResultPtr)
