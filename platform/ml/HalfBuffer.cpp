#include "platform/ml/HalfBuffer.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace platform::ml {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

size_t roundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

}  // namespace

HalfBuffer::HalfBuffer(size_t count) : count_(count) {
    if (count == 0) return;
    const size_t page = 4096;
    const size_t length = roundUp(count * 2, page);
    const size_t align = length >= kHugePage ? kHugePage : page;
    // Map enough to find an aligned start, then give back what lies outside.
    const size_t mapped = length + align - page;
    void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    const auto base = reinterpret_cast<uintptr_t>(p);
    const uintptr_t start = roundUp(base, align);
    if (start > base) ::munmap(p, start - base);
    if (base + mapped > start + length) ::munmap(reinterpret_cast<void*>(start + length), base + mapped - start - length);
    // Only whole huge pages: a partly used one at the end would be resident in full.
    if (align == kHugePage) ::madvise(reinterpret_cast<void*>(start), length / kHugePage * kHugePage, MADV_HUGEPAGE);
    data_ = std::unique_ptr<uint16_t, Unmap>(reinterpret_cast<uint16_t*>(start), Unmap{length});
}

void HalfBuffer::Unmap::operator()(uint16_t* p) const { ::munmap(p, length); }

}  // namespace platform::ml
