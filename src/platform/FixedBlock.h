#pragma once
// Memory blocks that a MIDI driver thread may touch: zero-filled, aligned for
// any type, never moved, and freed exactly once, by the owning FixedBlock.
// Any thread may allocate or free; one block has one owner at a time.
// The allocation-failure hook exists so that tests can drive the callers'
// out-of-memory paths; it is process-wide and thread-safe.

#include <cstddef>
#include <cstdint>

namespace platform {

class FixedBlock {
public:
    FixedBlock() noexcept = default;
    ~FixedBlock();
    FixedBlock(FixedBlock &&other) noexcept;
    FixedBlock &operator=(FixedBlock &&other) noexcept;
    FixedBlock(const FixedBlock &) = delete;
    FixedBlock &operator=(const FixedBlock &) = delete;

    // An empty block when memory is exhausted (or a failure was injected).
    static FixedBlock Allocate(std::uint32_t bytes);

    void *Address() const noexcept { return address_; }
    std::uint32_t Size() const noexcept { return size_; }
    explicit operator bool() const noexcept { return address_ != nullptr; }
    void Release() noexcept;

    // Test hook: the next `skip` allocations succeed, the `count` after them
    // fail. (0, 0) switches it off.
    static void InjectAllocationFailures(unsigned skip, unsigned count) noexcept;
    // Blocks currently allocated, process-wide (for leak checks in tests).
    static long LiveBlocks() noexcept;

private:
    FixedBlock(void *address, std::uint32_t size) noexcept : address_(address), size_(size) {}
    void *address_ = nullptr;
    std::uint32_t size_ = 0;
};

} // namespace platform
