#pragma once

#include <QMutex>
#include <QObject>
#include <QSettings>
#include <QVariant>
#include <QVariantMap>
#include <memory>

// The application's key/value preferences. Values written here survive a
// restart (INI file under $XDG_CONFIG_HOME/mirvok/mirvok.conf); registered
// defaults answer for keys that were never written and are not persisted.
// Writing a null QVariant removes the key. Only plain values are stored
// (plainini::storable). Every method is thread-safe.
// changed(key) is emitted on the writer's thread for writes of this process.
class UserDefaults : public QObject {
    Q_OBJECT
public:
    explicit UserDefaults(const QString& iniPath, QObject* parent = nullptr);
    ~UserDefaults() override;

    // The process-wide instance. Tests reopen it (as a new start would) with
    // resetStandard() after pointing XDG_CONFIG_HOME elsewhere.
    static UserDefaults& standard();
    static void resetStandard();
    static QString standardPath();

    QVariant value(const QString& key) const;
    bool contains(const QString& key) const;  // written, not merely registered
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    void registerDefaults(const QVariantMap& defaults);
    QStringList keys() const;

    // Lenient readers with the platform's rules: a string "YES"/"true"/"1"
    // is true, "12abc" is 12, anything missing or unreadable is 0/false/"".
    bool boolValue(const QString& key) const;
    qint64 integerValue(const QString& key) const;
    double doubleValue(const QString& key) const;
    QString stringValue(const QString& key) const;

    void sync();
    QString fileName() const;
    // Where an unreadable file found at start was moved
    // (<file>.damaged-<yyyymmdd-hhmmss>), or empty.
    QString movedAside() const;

Q_SIGNALS:
    void changed(const QString& key);

private:
    static QString escapeKey(const QString& key);
    static QString unescapeKey(const QString& key);

    mutable QMutex mutex_;
    std::unique_ptr<QSettings> settings_;
    QVariantMap registered_;
    QString movedAside_;
};
