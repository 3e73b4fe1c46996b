#pragma once

#include <gtest/gtest.h>

#include "DovuzudUza/Utilities/WhisperError.hpp"

namespace DovuzudUza::test_support {

// The WhisperError that `f` throws; a test failure when it throws none.
template <class F>
WhisperError whisperError(F&& f) {
    try {
        f();
    } catch (const WhisperError& e) {
        return e;
    }
    ADD_FAILURE() << "no WhisperError";
    return WhisperError::initializationError("");
}

}  // namespace DovuzudUza::test_support
