#pragma once

#include "kithost/KTHURLTypes.h"

// The crash kit's identity on the wire, shared by the report upload and the
// beta check.
namespace CrashKitConstants {

inline constexpr char kBundleIdentifier[] = "com.kitvendor.crashkit.mac";
inline constexpr char kDisplayVersion[] = "3.4.1";
inline constexpr char kBuildVersion[] = "92";
inline constexpr char kUserAgent[] = "CrashKit Mac SDK/3.4.1";
inline constexpr char kDeveloperToken[] = "5c3e9a17d0b24f86e1a7c94b2d0e6f3a18b5c702";

// User-Agent … X-CrashKit-API-Key, in the order the service expects.
inline KTHHeaderList standardHeaders(const QByteArray& locale, const QByteArray& apiKey)
{
    return {{"User-Agent", kUserAgent},
            {"Accept", "application/json"},
            {"Accept-Charset", "utf-8"},
            {"Accept-Language", locale},
            {"Content-Language", locale},
            {"X-CrashKit-Developer-Token", kDeveloperToken},
            {"X-CrashKit-API-Client-Id", kBundleIdentifier},
            {"X-CrashKit-API-Client-Display-Version", kDisplayVersion},
            {"X-CrashKit-API-Client-Build-Version", kBuildVersion},
            {"X-CrashKit-API-Key", apiKey}};
}

}  // namespace CrashKitConstants
