#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace mltest {

inline void writeFloats(const std::filesystem::path& p, const std::vector<float>& v) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(v.data()), static_cast<std::streamsize>(v.size() * sizeof(float)));
}

inline std::vector<float> readFloats(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary | std::ios::ate);
    const auto size = static_cast<size_t>(in.tellg());
    std::vector<float> v(size / sizeof(float));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(v.data()), static_cast<std::streamsize>(size));
    return v;
}

// Runs the numpy reference on a job (see tests/fixtures/ml/whisper_reference.py).
inline bool runReference(const std::filesystem::path& folder, const nlohmann::json& job) {
    const auto jobFile = folder / "job.json";
    std::ofstream(jobFile) << job.dump();
    const std::string script = std::string(PARLOX_SOURCE_DIR) + "/tests/fixtures/ml/whisper_reference.py";
    const std::string command = "/usr/bin/python3 '" + script + "' '" + jobFile.string() + "'";
    return std::system(command.c_str()) == 0;
}

struct Difference {
    float maxAbs = 0;
    size_t at = 0;
};

inline Difference compare(const std::vector<float>& a, const std::vector<float>& b) {
    Difference d;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const float e = std::abs(a[i] - b[i]);
        if (!(e <= d.maxAbs)) {
            d.maxAbs = e;
            d.at = i;
        }
    }
    return d;
}

}  // namespace mltest
