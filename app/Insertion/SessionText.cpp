#include "app/Insertion/SessionText.hpp"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include "writing/SessionStore.hpp"

namespace Parlox {
namespace {

icu::UnicodeString composed(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    icu::UnicodeString source = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    if (U_FAILURE(status)) return source;
    icu::UnicodeString result = nfc->normalize(source, status);
    return U_FAILURE(status) ? source : result;
}

}  // namespace

bool SessionText::same(std::string_view a, std::string_view b) {
    return composed(ParloxCore::SessionStore::normalized(a)) == composed(ParloxCore::SessionStore::normalized(b));
}

}  // namespace Parlox
