// Every test of this binary runs in the process sandbox, so that nothing it
// logs or stores reaches the real user's folders.
#include "tests/app/Sandbox.hpp"

namespace {

[[maybe_unused]] const bool sandboxed = (app_test::useSandbox(), true);

}  // namespace
