#include "app/Overlay/MenuBarSources.hpp"

namespace Parlox {

ControllerDictation::ControllerDictation(DictationController& controller) : controller_(controller) {
    auto forward = [this] { changed_.emit(); };
    connections_.push_back(controller_.phaseChanged().connect(forward));
    connections_.push_back(controller_.modelChanged().connect(forward));
    connections_.push_back(controller_.retryableChanged().connect(forward));
    connections_.push_back(controller_.sessionsChanged().connect(forward));
    connections_.push_back(controller_.overlay().model().clockChanged().connect(forward));
}

std::optional<ParloxCore::DictationSession> ControllerDictation::latestSession() const {
    return controller_.sessions().latest();
}

double ControllerDictation::recordedSeconds(platform::Date at) const {
    return controller_.overlay().model().elapsed(at);
}

}  // namespace Parlox
