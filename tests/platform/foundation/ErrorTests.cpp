#include "platform/foundation/Error.hpp"

#include <gtest/gtest.h>

namespace {

class SampleError : public platform::Error {
public:
    explicit SampleError(std::string text) : text_(std::move(text)) {}
    std::string description() const override { return "sample: " + text_; }
    std::string localizedDescription() const override { return "muestra: " + text_; }

private:
    std::string text_;
};

TEST(Error, WhatIsTheDescriptionAndSurvivesCopies) {
    SampleError original("uno");
    SampleError copy = original;
    EXPECT_STREQ(original.what(), "sample: uno");
    EXPECT_STREQ(copy.what(), "sample: uno");
    EXPECT_EQ(copy.localizedDescription(), "muestra: uno");
}

TEST(Error, AssignedErrorDescribesItsNewValue) {
    SampleError error("uno");
    EXPECT_STREQ(error.what(), "sample: uno");
    error = SampleError("dos");
    EXPECT_STREQ(error.what(), "sample: dos");
}

TEST(Error, CaughtAsStdException) {
    try {
        throw SampleError("dos");
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "sample: dos");
        return;
    }
    FAIL() << "not caught";
}

}  // namespace
