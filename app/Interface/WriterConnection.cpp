#include "app/Interface/WriterConnection.hpp"

#include <utility>

#include "platform/foundation/UserDefaults.hpp"

namespace Parlox {

WriterConnection::WriterConnection(std::shared_ptr<WriterChecker> checker, WriterActions actions)
    : WriterConnection(std::move(checker), std::move(actions), false) {}

WriterConnection::WriterConnection(std::shared_ptr<WriterChecker> checker, WriterActions actions, bool pinned)
    : checker_(std::move(checker)), actions_(std::move(actions)), pinned_(pinned),
      self_(std::make_shared<WriterConnection*>(this)) {}

std::unique_ptr<WriterConnection> WriterConnection::pinned(Checks checks, std::optional<WriterProvider> connected) {
    std::unique_ptr<WriterConnection> page(new WriterConnection(nullptr, {}, true));
    page->checks_ = std::move(checks);
    page->connected_ = connected;
    return page;
}

// Wraps a completion so that it does nothing once the page is gone.
template <class F>
auto WriterConnection::guarded(F f) {
    return [weak = std::weak_ptr<WriterConnection*>(self_), f = std::move(f)](auto&&... args) {
        if (auto self = weak.lock()) f(**self, std::forward<decltype(args)>(args)...);
    };
}

WriterCheck WriterConnection::check(WriterProvider provider) const {
    auto it = checks_.find(provider);
    return it == checks_.end() ? WriterCheck::idle() : it->second;
}

void WriterConnection::changed() {
    if (onChange) onChange();
}

void WriterConnection::store(WriterProvider provider, const WriterCheck& check) {
    if (this->check(provider) != check) byHand_.erase(provider);
    checks_[provider] = check;
    changed();
}

void WriterConnection::connect(WriterProvider provider, bool byUser) {
    if (pinned_) return;
    if (byUser) pending_.insert(provider);
    store(provider, WriterCheck::running());
    checker_->run(provider, guarded([provider](WriterConnection& page, WriterCheck result) {
        page.store(provider, result);
        if (result.kind == WriterCheck::Kind::ok) page.choose(provider);
    }));
}

void WriterConnection::choose(WriterProvider provider) {
    connected_ = provider;
    platform::UserDefaults::standard().set("provider", provider.rawValue());
    pending_.erase(provider);
    changed();
}

void WriterConnection::firstLook() {
    if (pinned_ || !checks_.empty() || lookStarted_) return;
    lookStarted_ = true;
    // Both looks run at once; the first tool is picked once both answered.
    struct Join {
        std::map<WriterProvider::Value, std::optional<WriterCheck>> answers;
    };
    auto join = std::make_shared<Join>();
    for (WriterProvider provider : WriterProvider::allCases()) {
        checker_->setup(provider, guarded([provider, join](WriterConnection& page, std::optional<WriterCheck> answer) {
            join->answers[provider] = answer;
            if (join->answers.size() < WriterProvider::allCases().size()) return;
            for (const auto& [tool, result] : join->answers) page.checks_[tool] = result.value_or(WriterCheck::idle());
            page.changed();
            const WriterProvider stored = WriterProvider::stored();
            const WriterProvider other = stored == WriterProvider::claude ? WriterProvider::chatGPT
                                                                           : WriterProvider::claude;
            for (WriterProvider candidate : {stored, other}) {
                if (!join->answers[candidate]) {
                    page.connect(candidate, false);
                    break;
                }
            }
        }));
    }
}

void WriterConnection::recheckWaiting() {
    if (pinned_) return;
    for (WriterProvider provider : WriterProvider::allCases())
        if (check(provider).isWaiting()) recheck(provider);
}

void WriterConnection::recheck(WriterProvider provider) {
    checker_->setup(provider, guarded([provider](WriterConnection& page, std::optional<WriterCheck> answer) {
        // A test started or finished meanwhile: its result stands.
        if (!page.check(provider).isWaiting()) return;
        if (answer) {
            page.store(provider, *answer);
        } else if (page.isPending(provider)) {
            page.connect(provider, true);
        } else {
            page.store(provider, WriterCheck::idle());
        }
    }));
}

WriterActions::Tell WriterConnection::beginStep(WriterProvider provider) {
    pending_.insert(provider);
    byHand_.erase(provider);
    changed();
    return guarded([provider](WriterConnection& page, const std::string& text) {
        page.byHand_[provider] = text;
        page.changed();
    });
}

void WriterConnection::install(WriterProvider provider) {
    auto tell = beginStep(provider);
    if (actions_.install) actions_.install(provider, tell);
}

void WriterConnection::signIn(WriterProvider provider) {
    auto tell = beginStep(provider);
    if (actions_.signIn) actions_.signIn(provider, tell);
}

void WriterConnection::seePlans(WriterProvider provider) {
    auto tell = beginStep(provider);
    if (actions_.seePlans) actions_.seePlans(tell);
}

std::optional<std::string> WriterConnection::byHand(WriterProvider provider) const {
    auto it = byHand_.find(provider);
    return it == byHand_.end() ? std::nullopt : std::optional<std::string>(it->second);
}

}  // namespace Parlox
