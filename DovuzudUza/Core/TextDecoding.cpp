#include "DovuzudUza/Core/TextDecoding.hpp"

#include <algorithm>

#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "platform/ml/Half.hpp"

namespace DovuzudUza {

using platform::ml::DataType;
using platform::ml::MultiArray;

namespace {

// The previous-text prompt keeps at most this many of the last ids.
constexpr size_t kPreviousTextLimit = 111;

std::vector<int64_t> belowSpecial(std::vector<int64_t>::const_iterator begin,
                                  std::vector<int64_t>::const_iterator end, int64_t specialTokenBegin) {
    std::vector<int64_t> kept;
    std::copy_if(begin, end, std::back_inserter(kept), [&](int64_t id) { return id < specialTokenBegin; });
    return kept;
}

// The last `count` ids of the list (all of them when it is shorter).
std::vector<int64_t>::const_iterator lastOf(const std::vector<int64_t>& list, size_t count) {
    return list.end() - static_cast<std::ptrdiff_t>(std::min(count, list.size()));
}

void openFirstPosition(DecodingInputs& inputs) {
    inputs.kvCacheUpdateMask()->setFloatAt(0, 1);
    inputs.decoderKeyPaddingMask()->setFloatAt(0, 0);
}

bool isHalfArray(const MultiArray& array, size_t rank) {
    return array.dataType() == DataType::float16 && array.shape().size() == rank;
}

// An array with an empty axis has no storage to copy from or into, whatever
// its other axes promise.
bool hasEmptyAxis(const MultiArray& array) {
    return std::any_of(array.shape().begin(), array.shape().end(), [](int64_t extent) { return extent < 1; });
}

}  // namespace

std::shared_ptr<DecodingInputsType> TextDecoding::prepareDecoderInputs(const std::vector<int64_t>& withPrompt) {
    const auto embedDim = kvCacheEmbedDim();
    if (!embedDim) throw WhisperError::prepareDecoderInputsFailed("Unable to determine kvCacheEmbedDim");
    const auto maxSequence = kvCacheMaxSequenceLength();
    if (!maxSequence) throw WhisperError::prepareDecoderInputsFailed("Unable to determine kvCacheMaxSequenceLength");
    const auto frames = windowSize();
    if (!frames) throw WhisperError::prepareDecoderInputsFailed("Unable to determine encoderOutputDim");
    // Every window rewinds the masks over the whole token context and the
    // loop writes up to its last position: a shorter cache would be
    // written past its end.
    if (*maxSequence < Constants::maxTokenContext)
        throw WhisperError::prepareDecoderInputsFailed("kvCacheMaxSequenceLength " + std::to_string(*maxSequence) +
                                                       " is shorter than the token context of " +
                                                       std::to_string(Constants::maxTokenContext));
    if (*embedDim < 1 || *frames < 1)
        throw WhisperError::prepareDecoderInputsFailed("Decoder dimensions must be positive");

    const int64_t E = *embedDim, S = *maxSequence, W = *frames;
    // New arrays start zero-filled: only the padding mask needs writing.
    auto inputIds = MultiArray::make({1}, DataType::int32);
    auto cacheLength = MultiArray::make({1}, DataType::int32);
    auto keyCache = MultiArray::make({1, E, 1, S}, DataType::float16);
    auto valueCache = MultiArray::make({1, E, 1, S}, DataType::float16);
    auto alignmentWeights = MultiArray::make({S, W}, DataType::float16);
    auto updateMask = MultiArray::make({1, S}, DataType::int32);
    auto paddingMask = MultiArray::make({1, S}, DataType::float16);
    std::fill_n(paddingMask->data<uint16_t>(), S, platform::ml::kHalfMinus10000);
    auto inputs = std::make_shared<DecodingInputs>(withPrompt, inputIds, cacheLength, keyCache, valueCache,
                                                   alignmentWeights, updateMask, paddingMask);
    openFirstPosition(*inputs);
    return inputs;
}

std::shared_ptr<DecodingInputsType> TextDecoding::prefillDecoderInputs(std::shared_ptr<DecodingInputsType> inputs,
                                                                       const std::optional<DecodingOptions>& withOptions,
                                                                       std::stop_token) {
    const auto tokenizer = this->tokenizer();
    if (!tokenizer) throw WhisperError::tokenizerUnavailable("Tokenizer is unavailable");
    auto* decodingInputs = dynamic_cast<DecodingInputs*>(inputs.get());
    if (!decodingInputs)
        throw WhisperError::prepareDecoderInputsFailed("Unable to cast decoderInputs to DecodingInputs");
    const auto& special = tokenizer->specialTokens();

    std::vector<int64_t> prompt{special.startOfTranscriptToken};
    if (withOptions) {
        const DecodingOptions& options = *withOptions;
        if (isModelMultilingual()) {
            const std::string language = options.language.value_or(std::string(Constants::defaultLanguageCode));
            prompt.push_back(tokenizer->convertTokenToId("<|" + language + "|>").value_or(special.englishToken));
            const char* task = options.task == DecodingTask::translate ? "<|translate|>" : "<|transcribe|>";
            prompt.push_back(tokenizer->convertTokenToId(task).value_or(special.transcribeToken));
        }
        prompt.push_back(options.withoutTimestamps ? special.noTimestampsToken : special.timeTokenBegin);

        if (options.promptTokens) {
            const auto& previous = *options.promptTokens;
            auto kept = belowSpecial(lastOf(previous, kPreviousTextLimit), previous.end(), special.specialTokenBegin);
            if (!kept.empty()) {
                kept.insert(kept.begin(), special.startOfPreviousToken);
                kept.insert(kept.end(), prompt.begin(), prompt.end());
                prompt = std::move(kept);
            }
        }
        if (options.prefixTokens) {
            const auto n = static_cast<int64_t>(prompt.size());
            const int64_t budget = n <= 110 ? 112 : std::max<int64_t>(222 - n, 0);
            const auto& prefix = *options.prefixTokens;
            const auto kept = belowSpecial(lastOf(prefix, static_cast<size_t>(budget)), prefix.end(),
                                           special.specialTokenBegin);
            prompt.insert(prompt.end(), kept.begin(), kept.end());
        }
    }

    decodingInputs->setInitialPrompt(std::move(prompt));
    openFirstPosition(*decodingInputs);
    return inputs;
}

void TextDecoding::updateKVCache(MultiArray& keyTensor, const MultiArray& keySlice, MultiArray& valueTensor,
                                 const MultiArray& valueSlice, int64_t insertAtIndex) {
    const auto refuse = [](const std::string& why) {
        throw WhisperError::decodingFailed("Key-value cache update refused: " + why);
    };
    for (const MultiArray* array : std::initializer_list<const MultiArray*>{&keyTensor, &keySlice, &valueTensor, &valueSlice}) {
        if (!isHalfArray(*array, 4)) refuse("caches and slices must be float16 arrays of rank 4");
        if (hasEmptyAxis(*array)) refuse("caches and slices must have every axis at least 1 long");
    }
    if (keySlice.shape() != valueSlice.shape()) refuse("the key and value slices differ in shape");
    if (keyTensor.shape() != valueTensor.shape()) refuse("the key and value caches differ in shape");
    const int64_t channels = keyTensor.shape()[1];
    const int64_t positions = keySlice.shape()[3];
    if (keySlice.shape()[1] < channels) refuse("the slices have fewer channels than the caches");
    if (insertAtIndex < 0 || positions > keyTensor.shape()[3] - insertAtIndex)
        refuse(std::to_string(positions) + " positions from " + std::to_string(insertAtIndex) +
               " lie outside a cache of " + std::to_string(keyTensor.shape()[3]));

    // One step writes one position of every channel: a few kilobytes, less
    // work than waking other cores for it.
    auto* key = keyTensor.data<uint16_t>();
    auto* value = valueTensor.data<uint16_t>();
    const auto* keyIn = keySlice.data<uint16_t>();
    const auto* valueIn = valueSlice.data<uint16_t>();
    const auto& ks = keyTensor.strides();
    const auto& vs = valueTensor.strides();
    const auto& kss = keySlice.strides();
    const auto& vss = valueSlice.strides();
    for (int64_t c = 0; c < channels; ++c) {
        for (int64_t j = 0; j < positions; ++j) {
            key[c * ks[1] + (insertAtIndex + j) * ks[3]] = keyIn[c * kss[1] + j * kss[3]];
            value[c * vs[1] + (insertAtIndex + j) * vs[3]] = valueIn[c * vss[1] + j * vss[3]];
        }
    }
}

void TextDecoding::updateAlignmentWeights(MultiArray& alignmentTensor, const MultiArray& alignmentSlice,
                                          int64_t insertAtIndex) {
    const auto refuse = [](const std::string& why) {
        throw WhisperError::decodingFailed("Alignment weights update refused: " + why);
    };
    if (!isHalfArray(alignmentTensor, 2) || !isHalfArray(alignmentSlice, 2))
        refuse("the matrix and the row must be float16 arrays of rank 2");
    if (hasEmptyAxis(alignmentTensor) || hasEmptyAxis(alignmentSlice))
        refuse("the matrix and the row must have every axis at least 1 long");
    const int64_t frames = alignmentTensor.shape()[1];
    if (alignmentSlice.shape()[1] < frames) refuse("the row has fewer frames than the matrix");
    if (insertAtIndex < 0 || insertAtIndex >= alignmentTensor.shape()[0] - 1)
        refuse("row after " + std::to_string(insertAtIndex) + " lies outside a matrix of " +
               std::to_string(alignmentTensor.shape()[0]) + " rows");
    const int64_t row = insertAtIndex + 1;
    auto* out = alignmentTensor.data<uint16_t>();
    const auto* in = alignmentSlice.data<uint16_t>();
    const auto& ts = alignmentTensor.strides();
    const auto& ss = alignmentSlice.strides();
    for (int64_t j = 0; j < frames; ++j) out[row * ts[0] + j * ts[1]] = in[j * ss[1]];
}

}  // namespace DovuzudUza
