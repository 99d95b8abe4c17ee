#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

// The crash-reporting component's own key-value store: one property-list
// file, $XDG_DATA_HOME/com.crashkit/CRKUserDefaults.plist, kept apart from
// the application's UserDefaults. Setters change memory only; synchronize()
// writes the whole dictionary atomically (a temporary file renamed over the
// old one). Every method is thread-safe and returns when done.
class CRKUserDefaults {
public:
    static CRKUserDefaults& standardUserDefaults();
    // Reads the store anew from its file, as the next start would (tests).
    static void resetStandardUserDefaults();

    QString directoryPath() const { return directory_; }
    QString filePath() const { return file_; }

    QVariant objectForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;   // null unless a string
    bool boolForKey(const QString& key) const;        // false unless a number
    void setObject(const QVariant& value, const QString& key);   // null removes
    void setString(const QString& value, const QString& key);
    void setBool(bool value, const QString& key);
    void removeObjectForKey(const QString& key);
    void removeAllObjects();
    QVariantMap dictionaryRepresentation() const;

    // Writes the file; false (logged, old file kept) when it could not.
    bool synchronize();

    // The value here; else takes it over from UserDefaults::standard(): it
    // is stored and written here, and removed there only once the write
    // succeeded, so a failed write never loses it.
    QVariant objectForKeyByMigratingFromNSUserDefaults(const QString& key);
    void migrateFromNSUserDefaults(const QStringList& keys);

private:
    explicit CRKUserDefaults();
    QVariantMap loadDefaults();

    QString directory_;
    QString file_;
    mutable QMutex access_;   // guards data_
    QMutex io_;               // serialises file reads and writes
    QVariantMap data_;
};
