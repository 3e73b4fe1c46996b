#include "ZezeziCore/External/Tokenizers/Models/BPETokenizer.hpp"

#include <algorithm>
#include <cstdio>
#include <queue>

#include "ZezeziCore/External/Tokenizers/ByteLevelSplit.hpp"
#include "ZezeziCore/External/Tokenizers/Models/WordIdCache.hpp"
#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"
#include "platform/foundation/Utf8.hpp"

namespace Tokenizers {

namespace {

bool hasLoneSurrogate(const std::u16string& units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
                ++i;
                continue;
            }
            return true;
        }
        if (u >= 0xDC00 && u <= 0xDFFF) return true;
    }
    return false;
}

}  // namespace

// Results per word, so that repeated words cost one lookup. Shards keep
// threads that encode at once from queueing on one lock.
struct BPETokenizer::Cache {
    static constexpr std::size_t kShards = 16;
    static constexpr std::size_t kMaxEntriesPerShard = 1 << 12;  // about 65k words in all
    static constexpr std::size_t kMaxWordBytes = 256;
    struct Shard {
        std::mutex mutex;
        text::StringMap<std::vector<std::string>> entries;
    };
    std::array<Shard, kShards> shards;
    WordIdCache ids;

    Shard& shardFor(std::size_t hash) { return shards[hash % kShards]; }
};

BPETokenizer::~BPETokenizer() = default;

std::optional<std::vector<std::vector<std::string>>> BPETokenizer::mergesFromConfig(const Config& merges) {
    auto list = merges.array();
    if (!list) return std::nullopt;
    std::vector<std::vector<std::string>> out;
    out.reserve(list->size());
    for (const Config& entry : *list) {
        if (auto s = entry.string()) {
            std::vector<std::string> parts;
            std::size_t start = 0;
            while (true) {
                std::size_t space = s->find(' ', start);
                if (space == std::string::npos) {
                    parts.push_back(s->substr(start));
                    break;
                }
                parts.push_back(s->substr(start, space - start));
                start = space + 1;
            }
            out.push_back(std::move(parts));
        } else if (auto elements = entry.array()) {
            std::vector<std::string> parts;
            for (const Config& e : *elements)
                if (auto p = e.string()) parts.push_back(std::move(*p));
            out.push_back(std::move(parts));
        }
    }
    return out;
}

int32_t BPETokenizer::intern(const std::string& s) {
    auto [it, inserted] = symbols_.try_emplace(s, static_cast<int32_t>(symbols_.size()));
    return it->second;
}

int32_t BPETokenizer::symbolId(std::string_view s) const {
    auto it = symbols_.find(s);
    return it == symbols_.end() ? -1 : it->second;
}

BPETokenizer::BPETokenizer(const Config& tokenizerConfig, const Config& tokenizerData, const AddedTokenIds& addedTokens)
    : cache_(std::make_unique<Cache>()) {
    Config model = tokenizerData["model"];
    auto merges = mergesFromConfig(model["merges"]);
    if (!merges) throw TokenizerError::mismatchedConfig("BPETokenizer requires merges");
    auto vocab = model["vocab"].dictionary();
    if (!vocab) throw TokenizerError::missingVocab();

    merges_.reserve(merges->size());
    for (std::size_t i = 0; i < merges->size(); ++i) {
        const auto& parts = (*merges)[i];
        // A merge needs two symbols; anything less would silently change tokenization.
        if (parts.size() < 2) throw TokenizerError::malformedVocab();
        int32_t a = intern(parts[0]);
        int32_t b = intern(parts[1]);
        int32_t merged = intern(parts[0] + parts[1]);
        merges_.insertOrAssign(a, b, MergeTable::Merge{static_cast<int32_t>(i), merged});
    }
    smallSymbols_.assign(0x800, -1);
    for (const auto& [symbol, id] : symbols_) {
        std::size_t at = 0;
        const char32_t scalar = symbol.empty() ? 0x800 : platform::decodeUtf8(symbol, at);
        if (at == symbol.size() && scalar < 0x800) smallSymbols_[scalar] = id;
    }

    tokensToIds_.reserve(vocab->size() + addedTokens.size());
    for (const auto& [key, value] : *vocab) {
        auto id = value.integer();
        if (!id) continue;
        if (addedTokens.count(key.string())) continue;
        if (hasLoneSurrogate(key.value())) {
            // No valid text can spell this key; keep it for id to token only.
            idsToTokens_.emplace(*id, key.string());
            continue;
        }
        tokensToIds_.insert_or_assign(key.string(), *id);
    }
    for (const auto& [content, id] : addedTokens) tokensToIds_.insert_or_assign(content, id);

    // Several tokens sharing an id: the added token wins, else the smallest text.
    for (const auto& [token, id] : tokensToIds_) {
        auto [it, inserted] = idsToTokens_.try_emplace(id, token);
        if (inserted) continue;
        bool currentAdded = addedTokens.count(it->second) > 0;
        bool incomingAdded = addedTokens.count(token) > 0;
        if ((incomingAdded && !currentAdded) || (incomingAdded == currentAdded && token < it->second)) it->second = token;
    }

    auto lookup = [this](const std::optional<std::string>& t) -> std::optional<int64_t> {
        if (!t) return std::nullopt;
        auto it = tokensToIds_.find(*t);
        if (it == tokensToIds_.end()) return std::nullopt;
        return it->second;
    };
    unknownToken_ = unknownTokenFrom(tokenizerConfig);
    unknownTokenId_ = lookup(unknownToken_);
    eosToken_ = addedTokenAsString(tokenizerConfig["eosToken"]);
    eosTokenId_ = lookup(eosToken_);
    bosToken_ = addedTokenAsString(tokenizerConfig["bosToken"]);
    bosTokenId_ = lookup(bosToken_);
    fuseUnknownTokens_ = tokenizerConfig["fuseUnk"].boolean().value_or(false);
}

std::optional<int64_t> BPETokenizer::rank(const BytePair& pair) const {
    const auto* merge = merges_.find(symbolId(pair.a), symbolId(pair.b));
    if (!merge) return std::nullopt;
    return merge->rank;
}

int32_t BPETokenizer::characterSymbolId(std::string_view character) const {
    if (character.size() <= 2) {
        std::size_t at = 0;
        const char32_t scalar = platform::decodeUtf8(character, at);
        if (at == character.size() && scalar < 0x800) return smallSymbols_[scalar];
    }
    return symbolId(character);
}

std::vector<std::pair<std::size_t, std::size_t>> BPETokenizer::mergeWord(std::string_view word) const {
    struct Symbol {
        std::size_t start, end;
        int32_t id;
        int32_t prev, next;
        bool alive;
    };
    auto chars = text::characters(word);
    std::vector<Symbol> syms;
    syms.reserve(chars.size());
    for (std::size_t i = 0; i < chars.size(); ++i) {
        std::size_t start = static_cast<std::size_t>(chars[i].data() - word.data());
        syms.push_back(Symbol{start, start + chars[i].size(), characterSymbolId(chars[i]), static_cast<int32_t>(i) - 1,
                              i + 1 < chars.size() ? static_cast<int32_t>(i + 1) : -1, true});
    }
    if (syms.size() >= 2) {
        // Lowest rank first; one rank is merged everywhere, left to right,
        // before pairs it creates are considered.
        struct Candidate {
            int32_t rank;
            std::size_t position;
            int32_t left;
            int32_t leftId, rightId;
            int32_t merged;
            bool operator>(const Candidate& o) const {
                return rank != o.rank ? rank > o.rank : position > o.position;
            }
        };
        std::priority_queue<Candidate, std::vector<Candidate>, std::greater<Candidate>> heap;
        auto consider = [&](int32_t left) {
            if (left < 0) return;
            int32_t right = syms[left].next;
            if (right < 0) return;
            const auto* merge = merges_.find(syms[left].id, syms[right].id);
            if (!merge) return;
            heap.push(Candidate{merge->rank, syms[left].start, left, syms[left].id, syms[right].id, merge->merged});
        };
        for (int32_t i = 0; i + 1 < static_cast<int32_t>(syms.size()); ++i) consider(i);
        std::vector<Candidate> batch;
        std::vector<int32_t> touched;
        while (!heap.empty()) {
            const int32_t rank = heap.top().rank;
            batch.clear();
            while (!heap.empty() && heap.top().rank == rank) {
                batch.push_back(heap.top());
                heap.pop();
            }
            touched.clear();
            for (const Candidate& c : batch) {
                Symbol& l = syms[c.left];
                if (!l.alive || l.id != c.leftId || l.next < 0) continue;
                Symbol& r = syms[l.next];
                if (r.id != c.rightId) continue;
                l.id = c.merged;
                l.end = r.end;
                r.alive = false;
                l.next = r.next;
                if (r.next >= 0) syms[r.next].prev = c.left;
                touched.push_back(c.left);
            }
            for (int32_t t : touched) {
                if (!syms[t].alive) continue;
                consider(syms[t].prev);
                consider(t);
            }
        }
    }
    std::vector<std::pair<std::size_t, std::size_t>> out;
    for (int32_t i = syms.empty() ? -1 : 0; i >= 0; i = syms[i].next) out.emplace_back(syms[i].start, syms[i].end);
    return out;
}

std::string BPETokenizer::bpe(std::string_view token) const {
    std::string out;
    bool first = true;
    for (auto [a, b] : mergeWord(token)) {
        if (!first) out.push_back(' ');
        out.append(token.substr(a, b - a));
        first = false;
    }
    return out;
}

std::vector<std::string> BPETokenizer::hexaEncode(std::string_view text) const {
    std::vector<std::string> out;
    for (const auto& r : byteLevelSplitRanges(text)) {
        for (std::size_t i = r.lower; i < r.upper; ++i) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "<0x%02X>", static_cast<unsigned>(static_cast<unsigned char>(text[i])));
            out.emplace_back(buf);
        }
    }
    return out;
}

void BPETokenizer::forEachToken(std::string_view text, const TokenVisitor& visit) const {
    for (auto [a, b] : mergeWord(text)) {
        std::string_view symbol = text.substr(a, b - a);
        // Symbols are joined and split at spaces, so a space never survives.
        std::size_t start = 0;
        while (start <= symbol.size()) {
            std::size_t space = symbol.find(' ', start);
            std::string_view piece = symbol.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start);
            if (!piece.empty()) {
                const auto id = convertTokenToId(piece);
                if (id != unknownTokenId_) {
                    visit(piece, id);
                } else {
                    for (const auto& h : hexaEncode(piece)) visit(h, convertTokenToId(h));
                }
            }
            if (space == std::string_view::npos) break;
            start = space + 1;
        }
    }
}

std::vector<std::string> BPETokenizer::tokenizeUncached(std::string_view text) const {
    std::vector<std::string> out;
    forEachToken(text, [&](std::string_view token, const std::optional<int64_t>&) { out.emplace_back(token); });
    return out;
}

std::vector<std::string> BPETokenizer::tokenize(std::string_view text) const {
    if (text.empty()) return {};
    if (text.size() > Cache::kMaxWordBytes) return tokenizeUncached(text);
    std::size_t h = text::StringHash()(text);
    auto& shard = cache_->shardFor(h >> 7);
    {
        std::lock_guard lock(shard.mutex);
        auto it = shard.entries.find(text);
        if (it != shard.entries.end()) return it->second;
    }
    auto result = tokenizeUncached(text);
    std::lock_guard lock(shard.mutex);
    if (shard.entries.size() >= Cache::kMaxEntriesPerShard) shard.entries.clear();
    shard.entries.emplace(std::string(text), result);
    return result;
}

void BPETokenizer::appendIds(std::string_view text, std::vector<int64_t>& ids) const {
    if (text.empty() || cache_->ids.find(text, ids)) return;
    // Only a word whose every token has an id is kept; another throws.
    const std::size_t start = ids.size();
    forEachToken(text, [&](std::string_view token, const std::optional<int64_t>& id) {
        // Dropping it would silently change what the model reads.
        if (!id) throw TokenizerError::mismatchedConfig("Token not in vocab: " + std::string(token));
        ids.push_back(*id);
    });
    cache_->ids.insert(text, ids.data() + start, ids.size() - start);
}

std::optional<int64_t> BPETokenizer::convertTokenToId(std::string_view token) const {
    auto it = tokensToIds_.find(token);
    if (it != tokensToIds_.end()) return it->second;
    return unknownTokenId_;
}

std::optional<std::string> BPETokenizer::convertIdToToken(int64_t id) const {
    auto it = idsToTokens_.find(id);
    if (it == idsToTokens_.end()) return std::nullopt;
    return it->second;
}

}  // namespace Tokenizers
