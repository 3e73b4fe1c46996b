#include "platform/ml/TensorSource.hpp"

#include "platform/ml/ModelError.hpp"

namespace platform::ml {

std::string shapeText(const std::vector<int64_t>& shape) {
    std::string s = "[";
    for (size_t i = 0; i < shape.size(); ++i) {
        if (i) s += ", ";
        s += std::to_string(shape[i]);
    }
    return s + "]";
}

FloatBuffer TensorSource::take(const std::string& name, const std::vector<int64_t>& expectedShape) {
    if (!contains(name)) throw ModelError(ModelError::Kind::invalidModel, "Missing weight tensor \"" + name + "\"");
    const auto actual = shape(name);
    if (actual != expectedShape) {
        throw ModelError(ModelError::Kind::invalidModel, "Weight tensor \"" + name + "\" has shape " +
                                                             shapeText(actual) + ", the model needs " +
                                                             shapeText(expectedShape));
    }
    return take(name);
}

void MemoryTensorSource::put(const std::string& name, std::vector<int64_t> shape, FloatBuffer data) {
    tensors_[name] = {std::move(shape), std::move(data)};
}

std::vector<int64_t> MemoryTensorSource::shape(const std::string& name) const {
    auto it = tensors_.find(name);
    if (it == tensors_.end()) throw ModelError(ModelError::Kind::invalidModel, "Missing weight tensor \"" + name + "\"");
    return it->second.first;
}

FloatBuffer MemoryTensorSource::take(const std::string& name) {
    auto it = tensors_.find(name);
    if (it == tensors_.end()) throw ModelError(ModelError::Kind::invalidModel, "Missing weight tensor \"" + name + "\"");
    FloatBuffer b = std::move(it->second.second);
    tensors_.erase(it);
    return b;
}

}  // namespace platform::ml
