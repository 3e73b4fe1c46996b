#pragma once

#include <optional>
#include <string>

#include <QColor>
#include <QIcon>
#include <QString>

#include "app/App/DictationController.hpp"
#include "app/Overlay/Theme.hpp"
#include "app/Transcription/Transcriber.hpp"

namespace Parlox {

// The tray icon: the application's lines, with a small moon while keep-awake
// is unlocked but off (the computer may sleep), and beside them a tiny badge
// telling whether a dictation records, pauses, is written or failed, and
// whether the speech model is still being prepared.
struct MenuBarLabel {
    enum class Tint { none, red, orange };

    struct Badge {
        std::string symbol;
        Tint tint = Tint::none;
        friend bool operator==(const Badge&, const Badge&) = default;
    };

    struct Look {
        bool sleepy = false;
        std::optional<Badge> badge;
        friend bool operator==(const Look&, const Look&) = default;
    };

    static Look look(const DictationController::Phase& phase, const Transcriber::State& model,
                     bool keepAwakeUnlocked, bool keepAwakeOn);

    // The icon drawn in `ink` (the tray's text colour), the badge tinted when it says so.
    static QIcon icon(const Look& look, const QColor& ink, const Theme& theme);
    static QImage image(const Look& look, const QColor& ink, const Theme& theme, double scale);
    // What assistive technology announces.
    static QString description(const Look& look);
};

}  // namespace Parlox
