#pragma once

#include <QString>

// What the machine says about itself, read from the files and calls that
// stand in for the model and OS-version queries of other systems:
// /sys/class/dmi/id/*, /etc/os-release and uname. Thread-safe.
namespace HostInfo {

// First line of a small system file, trimmed; null when unreadable or blank.
QString readFirstLine(const QString& absolutePath);
// The whole of a small system file (at most 64 KiB); null when unreadable.
QString readSmallFile(const QString& absolutePath);

// /sys/class/dmi/id/product_name; null when unreadable.
QString productName();
// uname -r, e.g. "6.1.0-13-amd64"; null when uname fails.
QString kernelRelease();
// The value of `key` in /etc/os-release text (quotes removed); null when absent.
QString osReleaseValue(const QString& osReleaseText, const QString& key);
// VERSION_ID of /etc/os-release; null when unreadable or absent.
QString osVersionId();

// Tests point the file sources below another folder ("" or "/" = the real root).
void setFileRootForTesting(const QString& root);

}  // namespace HostInfo
