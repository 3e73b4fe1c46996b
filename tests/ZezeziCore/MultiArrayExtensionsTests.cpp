#include <gtest/gtest.h>

#include <cmath>

#include "ZezeziCore/MultiArrayExtensions.hpp"

using namespace ZezeziCore;
using platform::ml::DataType;
using platform::ml::MultiArray;

TEST(MultiArrayCreation, FillsWhenTheTypeMatches) {
    auto half = makeMultiArray({2, 3, 4}, DataType::float16, Float16::fromFloat(1.5f));
    EXPECT_EQ(half->count(), 24);
    for (float v : half->toFloatVector()) EXPECT_EQ(v, 1.5f);
    auto ints = makeMultiArray({1, 4}, DataType::int32, int32_t{7});
    EXPECT_EQ(toIntArray(*ints), (std::vector<int64_t>{7, 7, 7, 7}));
    auto unfilled = makeMultiArray({1, 4}, DataType::float32, int32_t{7});
    EXPECT_EQ(toFloatArray(*unfilled), (std::vector<float>{0, 0, 0, 0}));
    auto bytes = makeMultiArray({3}, DataType::int8, int8_t{-2});
    EXPECT_EQ(bytes->value({2}), -2);
    try {
        makeMultiArray({}, DataType::float16, Float16{});
        FAIL();
    } catch (const MLMultiArrayCreationError& e) {
        EXPECT_EQ(e.description(), "Failed to create IOSurface-backed pixel buffer for MLMultiArray");
    }
}

TEST(MultiArrayCreation, PaddedStridesAreFilledEverywhere) {
    MultiArray padded({2, 3}, DataType::float16, {4, 1});
    auto made = makeMultiArray({2, 3}, DataType::float16, Float16::fromFloat(2.0f));
    EXPECT_EQ(made->toFloatVector(), std::vector<float>(6, 2.0f));
}

TEST(MultiArrayCreation, FromIntegers) {
    auto a = multiArrayFrom({5, 6, 7}, 3);
    EXPECT_EQ(a->shape(), (std::vector<int64_t>{1, 1, 3}));
    EXPECT_EQ(a->dataType(), DataType::int32);
    EXPECT_EQ(toIntArray(*a), (std::vector<int64_t>{5, 6, 7}));
    EXPECT_THROW(multiArrayFrom({1}, 0), std::invalid_argument);
    EXPECT_THROW(multiArrayFrom({int64_t{1} << 40}), std::out_of_range);
}

TEST(MultiArrayIndexing, LinearOffsets) {
    EXPECT_EQ(linearOffset({0, 2, 3}, {12, 4, 1}), 11);
    EXPECT_EQ(linearOffset({0, 2, 3}, {12, 4}), 8);
}

TEST(MultiArrayIndexing, FillSkipsWrongRankAndOutOfBoundsLists) {
    auto logits = makeMultiArray({1, 1, 10}, DataType::float16, Float16::fromFloat(0));
    fill(*logits, {{0, 0, 5}, {0, 0, 99999}, {0, 5}, {0, 0, -1}}, kFloat16NegativeInfinity);
    auto values = toFloatArray(*logits);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(std::isinf(values[i]), i == 5) << i;
    EXPECT_LT(values[5], 0);
    auto f = makeMultiArray({2, 2}, DataType::float32, 0.0f);
    fill(*f, {{1, 1}}, 3.0f);
    EXPECT_EQ(f->value({1, 1}), 3.0);
}

TEST(MultiArrayIndexing, FillRefusesAValueOfAnotherElementType) {
    auto f = makeMultiArray({2, 2}, DataType::float32, 1.0f);
    auto i = makeMultiArray({2}, DataType::int32, int32_t{0});
    auto h = makeMultiArray({1, 1, 4}, DataType::float16, Float16::fromFloat(0));
    EXPECT_THROW(fill(*f, {{0, 0}}, int32_t{7}), std::invalid_argument);
    EXPECT_THROW(fill(*f, {{0, 0}}, 7.0), std::invalid_argument);
    EXPECT_THROW(fill(*i, {{0}}, 7.0f), std::invalid_argument);
    EXPECT_THROW(fill(*h, {{0, 0, 1}}, 7.0f), std::invalid_argument);
    EXPECT_THROW(fill(*f, {{0, 0}}, kFloat16NegativeInfinity), std::invalid_argument);
    // Nothing was written by the refused calls.
    EXPECT_EQ(toFloatArray(*f), (std::vector<float>{1, 1, 1, 1}));
    EXPECT_EQ(toFloatArray(*i), (std::vector<float>{0, 0}));
    EXPECT_EQ(toFloatArray(*h), (std::vector<float>{0, 0, 0, 0}));
    fill(*i, {{1}}, int32_t{7});
    EXPECT_EQ(toFloatArray(*i), (std::vector<float>{0, 7}));
}

TEST(MultiArrayIndexing, FillLastDimensionWritesTheRangeOnly) {
    auto logits = makeMultiArray({1, 1, 10}, DataType::float16, Float16::fromFloat(1));
    fillLastDimension(*logits, 3, 3, kFloat16NegativeInfinity);
    EXPECT_EQ(toFloatArray(*logits), std::vector<float>(10, 1.0f));
    fillLastDimension(*logits, 2, 5, kFloat16NegativeInfinity);
    auto values = toFloatArray(*logits);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(std::isinf(values[i]), i >= 2 && i < 5) << i;
    // Out of range is refused instead of writing past the array.
    EXPECT_THROW(fillLastDimension(*logits, 8, 11, kFloat16NegativeInfinity), std::out_of_range);
    auto wrong = makeMultiArray({2, 1, 10}, DataType::float16, Float16{});
    EXPECT_THROW(fillLastDimension(*wrong, 0, 1, kFloat16NegativeInfinity), std::invalid_argument);
}

TEST(MultiArrayTensors, Conversions) {
    auto half = makeMultiArray({2}, DataType::float16, Float16{});
    fill(*half, {{0}}, Float16::fromFloat(0.5f));
    fill(*half, {{1}}, Float16::fromFloat(-2.0f));
    EXPECT_EQ(toFloatArray(*half), (std::vector<float>{0.5f, -2.0f}));
    auto ints = multiArrayFrom({1, -2});
    EXPECT_EQ(toFloatArray(*ints), (std::vector<float>{1.0f, -2.0f}));
    auto copy = toMultiArray(*half);
    EXPECT_EQ(copy->dataType(), DataType::float16);
    EXPECT_EQ(copy->shape(), half->shape());
    auto doubles = makeMultiArray({1}, DataType::float64, 1.0);
    try {
        toFloatArray(*doubles);
        FAIL();
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()), "Unsupported scalar type: float64");
    }
}

TEST(TensorConversions, ReadOnlyTheScalarTypesTheyKnow) {
    auto expectRefused = [](auto convert, DataType type, const std::string& name) {
        auto tensor = makeMultiArray({2}, type, 0.0f);
        try {
            convert(*tensor);
            ADD_FAILURE() << name;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), "Unsupported scalar type: " + name);
        }
    };
    // Integers are read from int32 tensors only: the bits of a float are no integer.
    const auto ints = [](const MultiArray& t) { return toIntArray(t); };
    expectRefused(ints, DataType::float32, "float32");
    expectRefused(ints, DataType::float16, "float16");
    expectRefused(ints, DataType::int8, "int8");
    expectRefused([](const MultiArray& t) { return toFloatArray(t); }, DataType::int8, "int8");
    expectRefused([](const MultiArray& t) { return toMultiArray(t); }, DataType::float64, "float64");
    auto whole = makeMultiArray({2}, DataType::int32, int32_t{-3});
    EXPECT_EQ(toIntArray(*whole), (std::vector<int64_t>{-3, -3}));
}
