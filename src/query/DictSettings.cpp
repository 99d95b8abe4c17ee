#include "query/DictSettings.h"

#include "platform/MainThread.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QVector>
#include <cmath>
#include <utility>

namespace {

using P = DictSettings::Property;

// How a property is read from and written to the defaults.
enum class Load { None, Text, Integer, Double, Bool, Object };
enum class Save { None, Value, Integer, Double, Number, WholeNumber, Bool, Object };
enum class Type { Text, Int32, Int64, UInt64, Double, Bool };

struct Descriptor {
    const char* key;  // nullptr: not stored
    Type type;
    Load load;
    Save save;
};

constexpr Descriptor kTable[DictSettings::PropertyCount] = {
    /* authServerPC */ {"kAuthServerPC", Type::Text, Load::Text, Save::Value},
    /* authUserId */ {"kAuthUserId", Type::Text, Load::Text, Save::Value},
    /* authUserName */ {"kAuthUserName", Type::Text, Load::Text, Save::Value},
    /* lastLoginUser */ {"kLastLoginUser", Type::Text, Load::Text, Save::Value},
    /* userImageUrl */ {"kImageUrl", Type::Text, Load::Text, Save::Value},
    /* userEmail */ {"kUserEmail", Type::Text, Load::Text, Save::Value},
    /* syncWordNum */ {"kSyncWordNum", Type::Int64, Load::Integer, Save::Integer},
    /* syncWordTime */ {"kSyncWordTime", Type::Double, Load::Double, Save::Double},
    /* adType */ {"kAdType", Type::Int32, Load::Integer, Save::Number},
    /* adReappearInteval */ {"AdReappear", Type::Double, Load::Double, Save::WholeNumber},
    /* dictAdReappearInteval */ {"DictAdReappear", Type::Double, Load::Double, Save::WholeNumber},
    /* adUpdateInteval */ {"AdRefresh", Type::Double, Load::Double, Save::WholeNumber},
    /* adShowTime */ {"AdShowDate", Type::Double, Load::Double, Save::WholeNumber},
    /* adCloseTime */ {"AdCloseDate", Type::Double, Load::Double, Save::WholeNumber},
    /* adUpdateIntevalSlow */ {"default_key_ads_refresh_slow", Type::Double, Load::Double, Save::Double},
    /* mirvokAdsId */ {"default_key_mirvok_ads_id", Type::Text, Load::Object, Save::Object},
    /* lastCheckAdsTime */ {"default_key_last_check_ads_time", Type::Double, Load::Double, Save::Double},
    /* mirvokAdsImageLink */ {"default_key_mv_ads_img_link", Type::Text, Load::Text, Save::Value},
    /* mirvokAdsTargetLink */ {"default_key_mv_ads_target_link", Type::Text, Load::Text, Save::Value},
    /* adsClosed */ {"default_key_mv_ads_closed", Type::Bool, Load::Bool, Save::Bool},
    /* resultAdClosed */ {"default_key_mv_result_ads_closed", Type::Bool, Load::Bool, Save::Bool},
    /* hasResultAd */ {"default_key_mv_has_result_ads", Type::Bool, Load::Bool, Save::Bool},
    /* notifyReview */ {"default_key_mv_notify_review", Type::Bool, Load::Bool, Save::Bool},
    /* wordAddToReviewPlanAuto */ {"default_key_mv_auto_add_rem", Type::Bool, Load::Bool, Save::Bool},
    /* currentUser */ {"default_key_current_user", Type::Text, Load::Text, Save::Value},
    /* localTimeStamp */ {nullptr, Type::Text, Load::None, Save::None},
    /* offlineDictUpdatePromoteTime */
    {"default_key_offline_dict_promot_times", Type::UInt64, Load::Integer, Save::Integer},
    /* autoUpdateHomepage */ {"default_key_auto_update_homepage", Type::Bool, Load::Bool, Save::Bool},
    /* recommandLibsLoaded */ {"default_key_recommand_loaded", Type::Bool, Load::Bool, Save::Bool},
    /* abTest */ {"default_key_abtest", Type::Text, Load::Text, Save::Object},
    /* queryLanguage */ {"default_key_query_language", Type::Int64, Load::Integer, Save::Integer},
    /* translanguageType */ {"default_key_trans_type", Type::Int64, Load::Integer, Save::Integer},
    /* eventCountToRate */ {"default_key_event_count_to_rate", Type::Int64, Load::Integer, Save::Integer},
    /* lastCheckUpdateTime */ {"default_key_last_check_update_time", Type::Double, Load::Double, Save::Double},
    /* needCheckLibUpdate */ {nullptr, Type::Bool, Load::None, Save::None},
    /* adsSetupSucess */ {nullptr, Type::Bool, Load::None, Save::None},
    /* needNotifyProgress */ {nullptr, Type::Bool, Load::None, Save::None},
    /* ignoreAppVersion */ {"default_key_ignore_app_version", Type::Text, Load::Text, Save::Object},
    /* settingVersion */ {"default_key_setting_version", Type::Text, Load::Text, Save::None},
    /* needBackgroundFetch */ {"default_key_need_background_fetch", Type::Bool, Load::Bool, Save::Bool},
    /* profileUnLocked */ {"default_key_ProfileUnlocked", Type::Bool, Load::Bool, Save::Bool},
    /* coreTextDictResult */ {"default_key_CoreTextDictResult", Type::Bool, Load::Bool, Save::Bool},
    /* updateAppURL */ {nullptr, Type::Text, Load::None, Save::None},
};

// The order saveSettings has always written in.
constexpr P kSaveOrder[] = {
    P::P_authServerPC, P::P_authUserId, P::P_authUserName, P::P_userImageUrl, P::P_lastLoginUser,
    P::P_syncWordNum, P::P_syncWordTime, P::P_userEmail, P::P_adType, P::P_adReappearInteval,
    P::P_dictAdReappearInteval, P::P_adUpdateInteval, P::P_adShowTime, P::P_adCloseTime, P::P_adsClosed,
    P::P_resultAdClosed, P::P_hasResultAd, P::P_wordAddToReviewPlanAuto, P::P_notifyReview,
    P::P_mirvokAdsTargetLink, P::P_mirvokAdsImageLink, P::P_currentUser, P::P_mirvokAdsId,
    P::P_adUpdateIntevalSlow, P::P_autoUpdateHomepage, P::P_recommandLibsLoaded, P::P_abTest,
    P::P_offlineDictUpdatePromoteTime, P::P_lastCheckAdsTime, P::P_lastCheckUpdateTime,
    P::P_ignoreAppVersion, P::P_queryLanguage, P::P_translanguageType, P::P_eventCountToRate,
    P::P_needBackgroundFetch, P::P_profileUnLocked, P::P_coreTextDictResult,
};

QString keyOf(P p) { return QString::fromLatin1(kTable[p].key); }

QVariant typed(Type t, const QVariant& raw) {
    switch (t) {
    case Type::Text: return raw.isNull() ? QVariant() : QVariant(raw.toString());
    case Type::Int32: return QVariant::fromValue<qint32>(qint32(raw.toLongLong()));
    case Type::Int64: return QVariant::fromValue<qint64>(raw.toLongLong());
    case Type::UInt64: return QVariant::fromValue<quint64>(raw.toULongLong());
    case Type::Double: return raw.toDouble();
    case Type::Bool: return raw.toBool();
    }
    return raw;
}

QVariant readStored(const UserDefaults& d, P p) {
    const QString key = keyOf(p);
    switch (kTable[p].load) {
    case Load::None: return {};
    case Load::Text: {
        const QVariant v = d.value(key);
        if (!v.isValid()) return {};
        const QString s = d.stringValue(key);
        // A value of another kind (a number where text was expected) reads as nil.
        if (v.typeId() != QMetaType::QString && v.typeId() != QMetaType::QByteArray) return {};
        return s.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(s);
    }
    case Load::Object: {
        const QVariant v = d.value(key);
        return v.isValid() ? QVariant(v.toString()) : QVariant();
    }
    case Load::Integer:
        return kTable[p].type == Type::UInt64 ? QVariant::fromValue<quint64>(quint64(d.integerValue(key)))
                                               : typed(kTable[p].type, d.integerValue(key));
    case Load::Double: return d.doubleValue(key);
    case Load::Bool: return d.boolValue(key);
    }
    return {};
}

// What saveSettings puts under the key; a null QVariant removes it.
QVariant storedForm(P p, const QVariant& v) {
    switch (kTable[p].save) {
    case Save::None: return {};
    case Save::Value:
    case Save::Object: return v.isNull() ? QVariant() : QVariant(v.toString());
    case Save::Integer:
        return kTable[p].type == Type::UInt64 ? QVariant(v.toULongLong()) : QVariant(v.toLongLong());
    case Save::Double: return v.toDouble();
    case Save::Number: return v.toInt();
    case Save::WholeNumber: {
        const double d = v.toDouble();
        return std::isfinite(d) ? QVariant(qint64(std::trunc(d))) : QVariant(qint64(0));
    }
    case Save::Bool: return v.toBool();
    }
    return {};
}

bool sameValue(const QVariant& a, const QVariant& b) {
    if (a.isNull() != b.isNull()) return false;
    return a.isNull() || a == b;
}

}  // namespace

DictSettings& DictSettings::sharedInstance() {
    // Function-local statics are initialised once, thread-safely.
    static DictSettings instance;
    return instance;
}

QVariant DictSettings::get(Property p) const {
    QMutexLocker lock(&mutex_);
    return values_[p];
}

QString DictSettings::text(Property p) const {
    QMutexLocker lock(&mutex_);
    return values_[p].isNull() ? QString() : values_[p].toString();
}

void DictSettings::set(Property p, const QVariant& v) {
    QMutexLocker lock(&mutex_);
    setLocked(p, v, true);
}

void DictSettings::setLocked(Property p, const QVariant& v, bool markDirty) {
    const QVariant value = v.isNull() ? QVariant() : typed(kTable[p].type, v);
    if (sameValue(values_[p], value)) return;
    values_[p] = value;
    if (markDirty) dirty_.set(p);
}

QString DictSettings::localTimeStampForUser(const QString&) { return QStringLiteral("0"); }

bool DictSettings::setlocalTimeStamp(const QString&, const QString&) { return true; }

void DictSettings::setQueryLanguage(qint64 v) {
    {
        QMutexLocker lock(&mutex_);
        if (values_[P_queryLanguage].toLongLong() == v) return;
        values_[P_queryLanguage] = QVariant::fromValue<qint64>(v);
    }
    UserDefaults& d = UserDefaults::standard();
    d.setValue(kQueryLanguageKey, v);
    d.sync();
}

void DictSettings::upgradeSettings() {
    QMutexLocker lock(&mutex_);
    setLocked(P_lastCheckAdsTime, 0.0, true);
    setLocked(P_adsClosed, false, true);
    setLocked(P_resultAdClosed, false, true);
}

void DictSettings::loadSettings() {
    UserDefaults& d = UserDefaults::standard();
    auto load = [&](P p) { setLocked(p, readStored(d, p), false); };
    bool upgrade = false;
    qint64 storedLanguage = 0;
    {
        QMutexLocker lock(&mutex_);
        dirty_.reset();
        for (P p : {P_authServerPC, P_authUserId, P_authUserName, P_lastLoginUser, P_userImageUrl, P_userEmail,
                    P_syncWordNum, P_syncWordTime})
            load(p);
        if (values_[P_lastLoginUser].isNull() && !values_[P_authUserName].isNull()) {
            values_[P_lastLoginUser] = values_[P_authUserName];
            dirty_.set(P_lastLoginUser);  // the fallback is a value the store lacks
        }
        for (P p : {P_adType, P_adReappearInteval, P_dictAdReappearInteval, P_adUpdateInteval, P_adShowTime,
                    P_adCloseTime, P_adUpdateIntevalSlow, P_mirvokAdsId, P_lastCheckAdsTime, P_mirvokAdsImageLink,
                    P_mirvokAdsTargetLink, P_adsClosed, P_resultAdClosed, P_hasResultAd, P_notifyReview,
                    P_wordAddToReviewPlanAuto, P_currentUser})
            load(p);
        const QString stamp = localTimeStampForUser(values_[P_currentUser].toString());
        values_[P_localTimeStamp] = stamp.isNull() ? QStringLiteral("0") : stamp;
        for (P p : {P_offlineDictUpdatePromoteTime, P_autoUpdateHomepage, P_recommandLibsLoaded, P_abTest}) load(p);
        storedLanguage = d.integerValue(kQueryLanguageKey);
    }
    setQueryLanguage(storedLanguage);
    {
        QMutexLocker lock(&mutex_);
        load(P_translanguageType);
        load(P_eventCountToRate);
        const bool storedTen = d.contains(keyOf(P_eventCountToRate)) && values_[P_eventCountToRate].toLongLong() == 10;
        values_[P_eventCountToRate] = QVariant::fromValue<qint64>(10);
        if (!storedTen) dirty_.set(P_eventCountToRate);
        load(P_lastCheckUpdateTime);
        values_[P_needCheckLibUpdate] = true;
        values_[P_adsSetupSucess] = false;
        values_[P_needNotifyProgress] = false;
        load(P_ignoreAppVersion);
        load(P_settingVersion);
        load(P_needBackgroundFetch);
        upgrade = values_[P_settingVersion].toString() != u"1.0.0" || values_[P_settingVersion].isNull();
    }
    if (upgrade) {
        d.setValue(kSettingVersionKey, QStringLiteral("1.0.0"));
        upgradeSettings();
    }
    QMutexLocker lock(&mutex_);
    load(P_profileUnLocked);
    load(P_coreTextDictResult);
}

void DictSettings::saveSettings() {
    QVector<std::pair<QString, QVariant>> writes;
    {
        QMutexLocker lock(&mutex_);
        setlocalTimeStamp(values_[P_localTimeStamp].toString(), values_[P_currentUser].toString());
        for (P p : kSaveOrder) {
            if (!dirty_.test(p)) continue;
            writes.append({keyOf(p), storedForm(p, values_[p])});
        }
        dirty_.reset();
    }
    auto write = [writes = std::move(writes)] {
        UserDefaults& d = UserDefaults::standard();
        for (const auto& [key, value] : writes) d.setValue(key, value);
        d.sync();
    };
    // Defaults observers live on the main thread; a save from auto-login's
    // background thread hands its (already taken) snapshot over.
    if (isMainThread() || !QCoreApplication::instance()) write();
    else runOnMain(write);
}

void DictSettings::resetForTesting() {
    QMutexLocker lock(&mutex_);
    for (auto& v : values_) v = QVariant();
    dirty_.reset();
}
