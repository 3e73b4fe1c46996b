#pragma once

#include <string>
#include <utility>

#include "platform/foundation/Error.hpp"
#include "writing/RequestFolder.hpp"

namespace ParloxCore {

// What a writing back-end tells the user about each of its failures.
struct ToolErrorTexts {
    const char* notInstalledBefore;  // then the path looked at
    const char* notInstalledAfter;
    const char* timedOutBefore;      // then the whole seconds and " s."
    const char* failedBefore;        // then the message
    const char* notLoggedIn;
    const char* quotaExceeded;
    const char* emptyResponse;
};

// The failures the writing back-ends share. `Derived` is the back-end's own
// error type; it gives its texts as `Derived::texts`.
template <typename Derived>
class ToolError : public platform::Error {
public:
    enum class Kind { notInstalled, timedOut, failed, notLoggedIn, quotaExceeded, emptyResponse };

    static Derived notInstalled(std::string path) { return Derived(Kind::notInstalled, std::move(path), 0); }
    static Derived timedOut(double seconds) { return Derived(Kind::timedOut, {}, seconds); }
    static Derived failed(std::string message) { return Derived(Kind::failed, std::move(message), 0); }
    static Derived notLoggedIn() { return Derived(Kind::notLoggedIn, {}, 0); }
    static Derived quotaExceeded() { return Derived(Kind::quotaExceeded, {}, 0); }
    static Derived emptyResponse() { return Derived(Kind::emptyResponse, {}, 0); }

    Kind kind() const { return kind_; }
    const std::string& text() const { return text_; }  // the path or the message
    double seconds() const { return seconds_; }

    std::string description() const override { return localizedDescription(); }
    std::string localizedDescription() const override {
        const ToolErrorTexts& texts = Derived::texts;
        switch (kind_) {
            case Kind::notInstalled:
                return texts.notInstalledBefore + text_ + texts.notInstalledAfter;
            case Kind::timedOut:
                return texts.timedOutBefore + ToolOutput::wholeSeconds(seconds_) + " s.";
            case Kind::failed:
                return texts.failedBefore + text_;
            case Kind::notLoggedIn:
                return texts.notLoggedIn;
            case Kind::quotaExceeded:
                return texts.quotaExceeded;
            case Kind::emptyResponse:
                return texts.emptyResponse;
        }
        return {};
    }

    friend bool operator==(const Derived& a, const Derived& b) {
        return a.kind_ == b.kind_ && a.text_ == b.text_ && a.seconds_ == b.seconds_;
    }

protected:
    ToolError(Kind kind, std::string text, double seconds)
        : kind_(kind), text_(std::move(text)), seconds_(seconds) {}

private:
    Kind kind_;
    std::string text_;
    double seconds_;
};

}  // namespace ParloxCore
