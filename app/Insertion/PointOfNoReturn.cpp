#include "app/Insertion/PointOfNoReturn.hpp"

namespace Parlox {

bool PointOfNoReturn::pass(bool intoTerminal) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::calledOff) return false;
        if (state_ == State::passed) return true;
        state_ = State::passed;
        intoTerminal_ = intoTerminal;
    }
    if (onPassed_) onPassed_();
    return true;
}

bool PointOfNoReturn::callOff() {
    std::lock_guard lock(mutex_);
    if (state_ == State::passed) return false;
    state_ = State::calledOff;
    return true;
}

bool PointOfNoReturn::calledOff() const {
    std::lock_guard lock(mutex_);
    return state_ == State::calledOff;
}

bool PointOfNoReturn::passedIntoTerminal() const {
    std::lock_guard lock(mutex_);
    return state_ == State::passed && intoTerminal_;
}

void PointOfNoReturn::handOverEscape() {
    std::lock_guard lock(mutex_);
    escapeHandedOver_ = true;
}

bool PointOfNoReturn::escapeHandedOver() const {
    std::lock_guard lock(mutex_);
    return escapeHandedOver_;
}

}  // namespace Parlox
