// Where Ovel says what went wrong without troubling the user: one logging
// category per area, warnings on by default, debug output through
// QT_LOGGING_RULES (for example "ovel.*.debug=true").
//
// Header-only so the model, the platform layer and the views share them
// without linking one more library; each category is built once, on first use.
#pragma once

#include <QLoggingCategory>

namespace ovel {

#define OVEL_LOG_CATEGORY(function, name)                    \
  inline const QLoggingCategory& function() {                \
    static const QLoggingCategory category(name, QtInfoMsg); \
    return category;                                         \
  }

OVEL_LOG_CATEGORY(logApp, "ovel.app")                // start-up, signals, quitting
OVEL_LOG_CATEGORY(logHistory, "ovel.history")        // history.jsonl
OVEL_LOG_CATEGORY(logPlan, "ovel.plan")              // reset-plan.json
OVEL_LOG_CATEGORY(logProbe, "ovel.probe")            // claude -p /usage
OVEL_LOG_CATEGORY(logScan, "ovel.scan")              // the transcripts
OVEL_LOG_CATEGORY(logStatusLine, "ovel.statusline")  // statusline.json, integration.json, settings.json, the relay
OVEL_LOG_CATEGORY(logTray, "ovel.tray")              // tray items, panel tone, popover placement
OVEL_LOG_CATEGORY(logHotKey, "ovel.hotkey")
OVEL_LOG_CATEGORY(logNotify, "ovel.notify")
OVEL_LOG_CATEGORY(logDesktop, "ovel.desktop")  // autostart, instance lock, wake, session bus

#undef OVEL_LOG_CATEGORY

}  // namespace ovel
