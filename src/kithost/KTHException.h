#pragma once

#include <QString>
#include <stdexcept>

// Misconfiguration of the kit host (a missing Info.plist block, a missing
// API key, something passed as a kit that is not one). The application
// catches it at start-up, logs it and runs on without the component.
class KTHException : public std::runtime_error {
public:
    explicit KTHException(const QString& reason)
        : std::runtime_error(reason.toStdString()), reason_(reason) {}
    static QString name() { return QStringLiteral("KTHException"); }
    const QString& reason() const { return reason_; }

private:
    QString reason_;
};
