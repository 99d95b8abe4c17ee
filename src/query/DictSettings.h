#pragma once

#include <QMutex>
#include <QString>
#include <QVariant>
#include <array>
#include <bitset>

// Defaults keys the word book and the account also read and write directly.
inline constexpr QLatin1String kSyncWordNumKey{"kSyncWordNum"};
inline constexpr QLatin1String kSyncWordTimeKey{"kSyncWordTime"};
inline constexpr QLatin1String kLastLoginUserKey{"kLastLoginUser"};
inline constexpr QLatin1String kCurrentUserKey{"default_key_current_user"};
inline constexpr QLatin1String kQueryLanguageKey{"default_key_query_language"};
inline constexpr QLatin1String kSettingVersionKey{"default_key_setting_version"};

// The process-wide settings: typed properties mirrored in UserDefaults under
// fixed keys. loadSettings() replaces every property with the stored value;
// setters change memory only, and saveSettings() writes back.
//
// Two departures from a plain "write everything" store, both to keep data:
//  * Every accessor is locked: auto-login fills the properties from a
//    background thread while the main window reads them.
//  * saveSettings() writes only properties that changed in memory since the
//    last load or save. The word book writes some of these keys directly
//    (kSyncWordNum, kSyncWordTime, kLastLoginUser, default_key_current_user);
//    writing every property would put the stale copies back over them.
// A text property holds a null QString for "nil"; saving nil removes the key.
class DictSettings {
public:
    static DictSettings& sharedInstance();

    void loadSettings();
    void saveSettings();
    void upgradeSettings();
    void dumpSettings() {}

    static QString localTimeStampForUser(const QString& user);
    static bool setlocalTimeStamp(const QString& stamp, const QString& user);

#define MV_TEXT(name, Setter) \
    QString name() const { return text(P_##name); } \
    void Setter(const QString& v) { set(P_##name, v.isNull() ? QVariant() : QVariant(v)); }
#define MV_VALUE(type, name, Setter, convert) \
    type name() const { return type(get(P_##name).convert()); } \
    void Setter(type v) { set(P_##name, QVariant::fromValue(v)); }

    enum Property {
        P_authServerPC, P_authUserId, P_authUserName, P_lastLoginUser, P_userImageUrl, P_userEmail,
        P_syncWordNum, P_syncWordTime, P_adType, P_adReappearInteval, P_dictAdReappearInteval,
        P_adUpdateInteval, P_adShowTime, P_adCloseTime, P_adUpdateIntevalSlow, P_mirvokAdsId,
        P_lastCheckAdsTime, P_mirvokAdsImageLink, P_mirvokAdsTargetLink, P_adsClosed, P_resultAdClosed,
        P_hasResultAd, P_notifyReview, P_wordAddToReviewPlanAuto, P_currentUser, P_localTimeStamp,
        P_offlineDictUpdatePromoteTime, P_autoUpdateHomepage, P_recommandLibsLoaded, P_abTest,
        P_queryLanguage, P_translanguageType, P_eventCountToRate, P_lastCheckUpdateTime,
        P_needCheckLibUpdate, P_adsSetupSucess, P_needNotifyProgress, P_ignoreAppVersion,
        P_settingVersion, P_needBackgroundFetch, P_profileUnLocked, P_coreTextDictResult, P_updateAppURL,
        PropertyCount
    };

    MV_TEXT(authServerPC, setAuthServerPC)
    MV_TEXT(authUserId, setAuthUserId)
    MV_TEXT(authUserName, setAuthUserName)
    MV_TEXT(lastLoginUser, setLastLoginUser)
    MV_TEXT(userImageUrl, setUserImageUrl)
    MV_TEXT(userEmail, setUserEmail)
    MV_VALUE(qint64, syncWordNum, setSyncWordNum, toLongLong)
    MV_VALUE(double, syncWordTime, setSyncWordTime, toDouble)
    MV_VALUE(qint32, adType, setAdType, toInt)
    MV_VALUE(double, adReappearInteval, setAdReappearInteval, toDouble)
    MV_VALUE(double, dictAdReappearInteval, setDictAdReappearInteval, toDouble)
    MV_VALUE(double, adUpdateInteval, setAdUpdateInteval, toDouble)
    MV_VALUE(double, adShowTime, setAdShowTime, toDouble)
    MV_VALUE(double, adCloseTime, setAdCloseTime, toDouble)
    MV_VALUE(double, adUpdateIntevalSlow, setAdUpdateIntevalSlow, toDouble)
    MV_TEXT(mirvokAdsId, setMirvokAdsId)
    MV_VALUE(double, lastCheckAdsTime, setLastCheckAdsTime, toDouble)
    MV_TEXT(mirvokAdsImageLink, setMirvokAdsImageLink)
    MV_TEXT(mirvokAdsTargetLink, setMirvokAdsTargetLink)
    MV_VALUE(bool, adsClosed, setAdsClosed, toBool)
    MV_VALUE(bool, resultAdClosed, setResultAdClosed, toBool)
    MV_VALUE(bool, hasResultAd, setHasResultAd, toBool)
    MV_VALUE(bool, notifyReview, setNotifyReview, toBool)
    MV_VALUE(bool, wordAddToReviewPlanAuto, setWordAddToReviewPlanAuto, toBool)
    MV_TEXT(currentUser, setCurrentUser)
    MV_TEXT(localTimeStamp, setLocalTimeStamp)
    MV_VALUE(quint64, offlineDictUpdatePromoteTime, setOfflineDictUpdatePromoteTime, toULongLong)
    MV_VALUE(bool, autoUpdateHomepage, setAutoUpdateHomepage, toBool)
    MV_VALUE(bool, recommandLibsLoaded, setRecommandLibsLoaded, toBool)
    MV_TEXT(abTest, setAbTest)
    qint64 queryLanguage() const { return get(P_queryLanguage).toLongLong(); }
    // Writes through at once (and synchronises) when the value changes.
    void setQueryLanguage(qint64 v);
    MV_VALUE(qint64, translanguageType, setTranslanguageType, toLongLong)
    MV_VALUE(qint64, eventCountToRate, setEventCountToRate, toLongLong)
    MV_VALUE(double, lastCheckUpdateTime, setLastCheckUpdateTime, toDouble)
    MV_VALUE(bool, needCheckLibUpdate, setNeedCheckLibUpdate, toBool)
    MV_VALUE(bool, adsSetupSucess, setAdsSetupSucess, toBool)
    MV_VALUE(bool, needNotifyProgress, setNeedNotifyProgress, toBool)
    MV_TEXT(ignoreAppVersion, setIgnoreAppVersion)
    MV_TEXT(settingVersion, setSettingVersion)
    MV_VALUE(bool, needBackgroundFetch, setNeedBackgroundFetch, toBool)
    MV_VALUE(bool, profileUnLocked, setProfileUnLocked, toBool)
    MV_VALUE(bool, coreTextDictResult, setCoreTextDictResult, toBool)
    MV_TEXT(updateAppURL, setUpdateAppURL)

#undef MV_TEXT
#undef MV_VALUE

    // Tests start each case from the zero state of a fresh process.
    void resetForTesting();

    DictSettings(const DictSettings&) = delete;
    DictSettings& operator=(const DictSettings&) = delete;

private:
    DictSettings() = default;

    QVariant get(Property p) const;
    QString text(Property p) const;
    void set(Property p, const QVariant& v);
    // Caller holds mutex_.
    void setLocked(Property p, const QVariant& v, bool markDirty);

    mutable QMutex mutex_;
    std::array<QVariant, PropertyCount> values_{};
    std::bitset<PropertyCount> dirty_;
};
