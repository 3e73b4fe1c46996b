#pragma once

#include <filesystem>

#include <QLabel>
#include <QWidget>

#include "app/Interface/HeadElidedPath.hpp"
#include "app/Interface/WindowServices.hpp"
#include "app/Overlay/Theme.hpp"
#include "platform/concurrency/Signal.hpp"

class QHBoxLayout;

namespace Parlox {

// Five dots of which the first `value` are strong.
class RatingDots : public QWidget {
    Q_OBJECT
public:
    RatingDots(int value, const Theme& theme, QWidget* parent = nullptr);
    int value() const { return value_; }
    QSize sizeHint() const override;
    // The dot at `position` (1 to 5): its opacity.
    double opacity(int position) const { return position <= value_ ? 0.65 : 0.15; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int value_;
    Theme theme_;
};

// The "Voz" tab: which speech model transcribes, how it rates, its size,
// whether it is ready (live), where its files are, and that audio is never
// stored. Nothing here changes a setting.
class VoiceSettings : public QWidget {
    Q_OBJECT
public:
    VoiceSettings(const WindowServices& services, const Theme& theme, QWidget* parent = nullptr);

    // "Models" in the application-support folder, where the model is downloaded.
    static std::filesystem::path modelFolder();

    QLabel* statusLabel() const { return statusText_; }
    // Opens the model folder in the desktop's file viewer (making it first,
    // since a viewer cannot show a folder that does not exist).
    void revealModelFolder();

private:
    void updateStatus();

    const WindowServices& services_;
    Theme theme_;
    QHBoxLayout* status_ = nullptr;
    QLabel* statusText_ = nullptr;
    platform::Connection modelChanges_;
};

}  // namespace Parlox
