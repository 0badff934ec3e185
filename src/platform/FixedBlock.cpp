#include "platform/FixedBlock.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <utility>

namespace platform {

namespace {
std::atomic<unsigned> failSkip{0};
std::atomic<unsigned> failCount{0};
std::atomic<long> liveBlocks{0};

bool InjectedFailure() noexcept
{
    if (failCount.load(std::memory_order_acquire) == 0)
        return false;
    unsigned skip = failSkip.load(std::memory_order_acquire);
    while (skip > 0) {
        if (failSkip.compare_exchange_weak(skip, skip - 1, std::memory_order_acq_rel))
            return false;
    }
    unsigned count = failCount.load(std::memory_order_acquire);
    while (count > 0) {
        if (failCount.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel))
            return true;
    }
    return false;
}
} // namespace

FixedBlock::~FixedBlock() { Release(); }

FixedBlock::FixedBlock(FixedBlock &&other) noexcept
    : address_(std::exchange(other.address_, nullptr)), size_(std::exchange(other.size_, 0))
{
}

FixedBlock &FixedBlock::operator=(FixedBlock &&other) noexcept
{
    if (this != &other) {
        Release();
        address_ = std::exchange(other.address_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

FixedBlock FixedBlock::Allocate(std::uint32_t bytes)
{
    if (InjectedFailure())
        return {};
    // calloc gives zero-filled memory aligned for every fundamental type; a
    // zero-byte request still yields a distinct block.
    void *p = std::calloc(bytes ? bytes : 1, 1);
    if (!p)
        return {};
    liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return FixedBlock(p, bytes);
}

void FixedBlock::Release() noexcept
{
    if (address_) {
        std::free(address_);
        liveBlocks.fetch_sub(1, std::memory_order_relaxed);
        address_ = nullptr;
        size_ = 0;
    }
}

void FixedBlock::InjectAllocationFailures(unsigned skip, unsigned count) noexcept
{
    failCount.store(0, std::memory_order_release);
    failSkip.store(skip, std::memory_order_release);
    failCount.store(count, std::memory_order_release);
}

long FixedBlock::LiveBlocks() noexcept { return liveBlocks.load(std::memory_order_relaxed); }

} // namespace platform
