#pragma once

#include <QLatin1String>

#include "platform/ServiceHost.h"

// The one table of defaults keys and notification names that several
// subsystems share. Every user takes the spelling from here so that a key
// written by one part of the application is found by another; the spellings
// are what stored preferences already contain, typos included
// (MVCloseSuggestWndNotificatioin), so they must not be "corrected".
//
// Each name converts implicitly to QString where one is needed.

// --- Window behaviour, capture switches and hotkeys (defaults keys) --------
inline constexpr QLatin1String MinimizedAfterStart{"MinimizedAfterStart"};
inline constexpr QLatin1String AlwaysInFront{"AlwaysInFront"};
inline constexpr QLatin1String ScreenTrans{"ScreenTrans"};
inline constexpr QLatin1String WordStroke{"WordStroke"};
// The last text sent through the desktop Query command.
inline constexpr QLatin1String query_word{"query_word"};
// 0 none, 1 Command, 2 Control, 3 Option, 4 Shift
inline constexpr QLatin1String ScreenTransModifier{"ScreenTransModifier"};
inline constexpr QLatin1String HideWindowCode{"HideWindowCode"};
inline constexpr QLatin1String HideWindowFlags{"HideWindowFlags"};
inline constexpr QLatin1String ScreenTransCode{"ScreenTransCode"};
inline constexpr QLatin1String ScreenTransFlags{"ScreenTransFlags"};
inline constexpr QLatin1String WordStrokeCode{"WordStrokeCode"};
inline constexpr QLatin1String WordStrokeFlags{"WordStrokeFlags"};

// Notification: the preferences' update button.
inline constexpr QLatin1String Update{"Update"};

inline constexpr QLatin1String MVPreferenceAutoLaunch{"MVPreferenceAutoLaunch"};
inline constexpr QLatin1String MVPreferenceAutoMinimize{"MVPreferenceAutoMinimize"};
inline constexpr QLatin1String MVWebViewZoomOutKey{"MVWebViewZoomOutKey"};
inline constexpr QLatin1String MVWebViewZoomOutFlagsKey{"MVWebViewZoomOutFlagsKey"};
inline constexpr QLatin1String MVWebViewZoomInKey{"MVWebViewZoomInKey"};
inline constexpr QLatin1String MVWebViewZoomInFlagsKey{"MVWebViewZoomInFlagsKey"};
inline constexpr QLatin1String MVWebViewZoomFactorKey{"MVWebViewZoomFactorKey"};
inline constexpr QLatin1String MVMiniSearchCodeKey{"MVMiniSearchCodeKey"};
inline constexpr QLatin1String MVMiniSearchCodeFlagsKey{"MVMiniSearchCodeFlagsKey"};

// --- Notifications between pages, query controllers, split view, suggestions
inline constexpr QLatin1String MVDidFinishLoadFirstWebViewNotification{
    "MVDidFinishLoadFirstWebViewNotification"};
inline constexpr QLatin1String MVDidFinishLoadResultWebViewNotification{
    "MVDidFinishLoadResultWebViewNotification"};
inline constexpr QLatin1String MVDidCallLoadResultPageMethodNotification{
    "MVDidCallLoadResultPageMethodNotification"};
// The browser bridge's word, "type|pos|word" (a D-Bus signal between processes).
inline constexpr QLatin1String BROWSER_GOT_WORD_MSG{"BROWSER_GOT_WORD_MSG"};
inline constexpr QLatin1String MVLoginSuccessNotification{"MVLoginSuccessNotification"};
inline constexpr QLatin1String MVLoginFailedNotification{"MVLoginFailedNotification"};
inline constexpr QLatin1String MVWordBookSyncStartNotification{"MVWordBookSyncStartNotification"};
inline constexpr QLatin1String MVWordBookSyncCompletedNotification{
    "MVWordBookSyncCompletedNotification"};
inline constexpr QLatin1String MVHasLoginedKey{"MVHasLoginedKey"};
inline constexpr QLatin1String MVCloseSuggestWndNotificatioin{"MVCloseSuggestWndNotificatioin"};
inline constexpr QLatin1String MVShowWordStrokeAlertKey{"MVShowWordStrokeAlertKey"};
inline constexpr QLatin1String MVAPPVersionKey{"MVAPPVersionKey"};
// Posted by the capture popup when the pointer enters or leaves it.
inline constexpr QLatin1String MVEnterScreenTransWindow{"MVEnterScreenTransWindow"};
inline constexpr QLatin1String MVExitScreenTransWindow{"MVExitScreenTransWindow"};

// --- Other defaults keys of the main window controller ---------------------
inline constexpr QLatin1String WebKitDeveloperExtras{"WebKitDeveloperExtras"};
inline constexpr QLatin1String NotFirstUse{"NotFirstUse"};
inline constexpr QLatin1String NSApplicationCrashOnExceptions{"NSApplicationCrashOnExceptions"};
// 0 QQ, 1 Sina Weibo, 2 the service's own mail account
inline constexpr QLatin1String loginSuccessType{"loginSuccessType"};
inline constexpr QLatin1String autoLogin{"autoLogin"};
inline constexpr QLatin1String UserIdDefaultsKey{"userid"};
inline constexpr QLatin1String operation_text{"operation_text"};
inline constexpr QLatin1String operation_link{"operation_link"};
inline constexpr QLatin1String LocalBuildNumber{"LocalBuildNumber"};
inline constexpr QLatin1String RemoteBuildNumber{"RemoteBuildNumber"};
inline constexpr QLatin1String UpdateIgnored{"UpdateIgnored"};

// --- Where the services live (a value may carry a port: "127.0.0.1:8080") --
// MVServiceHost, MVWebSiteHost and their defaults: platform/ServiceHost.h.
