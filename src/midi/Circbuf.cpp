#include "midi/Circbuf.h"

#include <new>

TCircularBuffer *CircbufAlloc(std::uint16_t capacity)
{
    TCircularBufferPtr ring(NewInOwnBlock<TCircularBuffer>());
    if (!ring)
        return nullptr;
    const std::uint32_t slotBytes = std::uint32_t(capacity) * sizeof(TMidiBufferItem);
    void *first = GlobalSharedLockedAlloc(slotBytes, ring->SlotBlock);
    if (!first)
        return nullptr;

    ring->FirstSlot = static_cast<TMidiBufferItem *>(first);
    for (std::uint32_t i = 0; i < capacity; ++i)
        new (ring->FirstSlot + i) TMidiBufferItem;
    ring->EndSlot = ring->FirstSlot + capacity;
    ring->WriteSlot = ring->FirstSlot;
    ring->ReadSlot = ring->FirstSlot;
    ring->Capacity = capacity;
    return ring.release();
}

void CircbufFree(TCircularBuffer *ring) { DeleteInOwnBlock(ring); }

bool CircbufReadEvent(TCircularBuffer *ring, TMidiBufferItem &item)
{
    if (ring->Count.load(std::memory_order_acquire) == 0)
        return false;
    item = *ring->ReadSlot;
    return true;
}

bool CircbufRemoveEvent(TCircularBuffer *ring)
{
    if (ring->Count.load(std::memory_order_acquire) == 0)
        return false;
    if (++ring->ReadSlot == ring->EndSlot)
        ring->ReadSlot = ring->FirstSlot;
    // Release: the producer may reuse the slot only after we are done with it.
    ring->Count.fetch_sub(1, std::memory_order_release);
    return true;
}
