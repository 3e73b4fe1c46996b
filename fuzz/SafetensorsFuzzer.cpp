// Tensor files: any bytes either open, with every tensor readable inside the
// file, or give a ModelError.
#include <sys/mman.h>
#include <unistd.h>

#include "fuzz/FuzzSupport.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/Safetensors.hpp"

using namespace parlox::fuzzing;
using platform::ml::TensorFile;

namespace {

// The file lives in memory; its /proc name opens like any path.
int memoryFile() {
    static const int fd = ::memfd_create("weights.safetensors", MFD_CLOEXEC);
    if (fd < 0) violated("memfd_create failed");
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memoryFile();
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        violated("cannot write the memory file");
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    try {
        TensorFile file(path);
        uint64_t claimed = 0;
        for (const auto& [name, info] : file.tensors()) {
            if (info.end < info.begin || info.end > size) violated("tensor \"" + name + "\" lies outside the file");
            for (int64_t d : info.shape)
                if (d < 0) violated("tensor \"" + name + "\" has a negative dimension");
            claimed += info.end - info.begin;
            const auto raw = file.readBytes(name);
            if (raw.size() != info.end - info.begin) violated("tensor \"" + name + "\" read short");
            const auto floats = file.readFloat(name);
            if (static_cast<int64_t>(floats.size()) != info.count()) violated("tensor \"" + name + "\" has a wrong count");
        }
        if (claimed > size) violated("tensors claim more bytes than the file holds");
        (void)file.metadata();
    } catch (const platform::ml::ModelError&) {
    }
    return 0;
}
