#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/Interface/WriterActions.hpp"
#include "app/Interface/WriterCheck.hpp"
#include "app/Interface/WriterChecker.hpp"

namespace Parlox {

// The welcome window's writing-tool page as state: the last check of each
// tool, the tool connected in this window, and the tools the user asked to
// connect that wait on something outside the window (an installation, a
// sign-in, a plan) or on a test. A tool that passes its test becomes the
// "provider" user default. GUI thread only.
class WriterConnection {
public:
    using Checks = std::map<WriterProvider::Value, WriterCheck>;

    WriterConnection(std::shared_ptr<WriterChecker> checker, WriterActions actions);
    // Fixed checks for still images: nothing looks or re-checks on its own.
    static std::unique_ptr<WriterConnection> pinned(Checks checks, std::optional<WriterProvider> connected);

    // A tool without an entry shows as idle.
    WriterCheck check(WriterProvider provider) const;
    const Checks& checks() const { return checks_; }
    std::optional<WriterProvider> connected() const { return connected_; }
    bool isPending(WriterProvider provider) const { return pending_.count(provider) > 0; }
    bool isPinned() const { return pinned_; }

    // Marks the tool pending when the user asked, then tests it; a tool that
    // passes is chosen.
    void connect(WriterProvider provider, bool byUser);
    // Makes the tool the user's choice, without a test.
    void choose(WriterProvider provider);
    // Once per window: looks at both tools at once and tests the first ready
    // one, the stored choice first.
    void firstLook();
    // Looks again at every tool waiting on an installation, sign-in or plan;
    // one that is now ready is tested when pending, else offered again.
    void recheckWaiting();

    // The row buttons of the waiting states: the tool becomes pending, then
    // the outside step opens.
    void install(WriterProvider provider);
    void signIn(WriterProvider provider);
    void seePlans(WriterProvider provider);
    // What to do by hand when the tool's last outside step could not be
    // opened; gone once the step is asked again or the tool's check changes.
    std::optional<std::string> byHand(WriterProvider provider) const;

    // Called after every change of the state.
    std::function<void()> onChange;

private:
    WriterConnection(std::shared_ptr<WriterChecker> checker, WriterActions actions, bool pinned);
    void store(WriterProvider provider, const WriterCheck& check);
    // Marks the tool pending and returns where the step's by-hand text goes.
    WriterActions::Tell beginStep(WriterProvider provider);
    void recheck(WriterProvider provider);
    void changed();
    template <class F>
    auto guarded(F f);

    std::shared_ptr<WriterChecker> checker_;
    WriterActions actions_;
    bool pinned_;
    Checks checks_;
    std::optional<WriterProvider> connected_;
    std::set<WriterProvider::Value> pending_;
    std::map<WriterProvider::Value, std::string> byHand_;
    bool lookStarted_ = false;
    std::shared_ptr<WriterConnection*> self_;
};

}  // namespace Parlox
