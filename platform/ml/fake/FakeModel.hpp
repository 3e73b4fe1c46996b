#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ml/Model.hpp"

namespace platform::ml {

// A model that tests script: a declared description and a callback computing
// the outputs. Without a callback it returns zero-filled arrays of the
// declared output shapes. The callback may throw to simulate a failure.
class FakeModel : public Model {
public:
    using Callback = std::function<DictionaryFeatureProvider(const FeatureProvider& input)>;

    explicit FakeModel(ModelDescription description, Callback callback = {}, ModelConfiguration configuration = {});

    static std::shared_ptr<FakeModel> make(ModelDescription description, Callback callback = {}) {
        return std::make_shared<FakeModel>(std::move(description), std::move(callback));
    }

    const ModelDescription& description() const override { return description_; }
    void setCallback(Callback callback);

    // Zero-filled arrays for every multi-array output of the description.
    DictionaryFeatureProvider zeroOutputs() const;

    int predictionCount() const;
    // Copies of the inputs of every prediction so far (arrays are shared).
    std::vector<DictionaryFeatureProvider> recordedInputs() const;

    // Makes ModelLoader return this model for `folder`; undone by
    // ModelLoader::registerFolder(folder, {}).
    static void installAt(const std::filesystem::path& folder, std::shared_ptr<FakeModel> model);

    // Makes ModelLoader read model folders of this kind ("kind": "fake" in
    // model.json) as fakes of the declared description, without a callback.
    static constexpr const char* kind = "fake";
    static void registerKind();

protected:
    DictionaryFeatureProvider predictFeatures(const FeatureProvider& input, const PredictionOptions& options) override;

private:
    ModelDescription description_;
    mutable std::mutex mutex_;
    Callback callback_;
    std::vector<DictionaryFeatureProvider> inputs_;
};

}  // namespace platform::ml
