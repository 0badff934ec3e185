#include "midi/Circbuf.h"

#include <new>
#include <utility>

TCircularBuffer *CircbufAlloc(std::uint16_t capacity)
{
    THandle own;
    void *record = GlobalSharedLockedAlloc(sizeof(TCircularBuffer), own);
    if (!record)
        return nullptr;
    THandle slotBlock;
    const std::uint32_t slotBytes = std::uint32_t(capacity) * sizeof(TMidiBufferItem);
    void *first = GlobalSharedLockedAlloc(slotBytes, slotBlock);
    if (!first)
        return nullptr; // `own` frees the record

    auto *ring = new (record) TCircularBuffer;
    ring->OwnBlock = std::move(own);
    ring->SlotBlock = std::move(slotBlock);
    ring->FirstSlot = static_cast<TMidiBufferItem *>(first);
    for (std::uint32_t i = 0; i < capacity; ++i)
        new (ring->FirstSlot + i) TMidiBufferItem;
    ring->EndSlot = ring->FirstSlot + capacity;
    ring->WriteSlot = ring->FirstSlot;
    ring->ReadSlot = ring->FirstSlot;
    ring->Capacity = capacity;
    return ring;
}

void CircbufFree(TCircularBuffer *ring)
{
    if (!ring)
        return;
    THandle own = std::move(ring->OwnBlock); // the record lives in it: free it last
    ring->~TCircularBuffer();
}

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
