#include "app/Insertion/SessionText.hpp"

#include "writing/SessionStore.hpp"

namespace Parlox {

bool SessionText::same(std::string_view a, std::string_view b) {
    // The session store's normal form: line ends, blank ends and canonical composition.
    return ParloxCore::SessionStore::normalized(a) == ParloxCore::SessionStore::normalized(b);
}

}  // namespace Parlox
