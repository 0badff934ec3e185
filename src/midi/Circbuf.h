#pragma once
// The input event ring: a fixed-capacity single-producer single-consumer
// queue in driver-visible memory. No lock is taken.
//
// Threads: exactly one producer (the driver callback, through
// CircbufPutEvent in Midicallback.h) and one consumer (the UI thread:
// CircbufReadEvent, CircbufRemoveEvent). Count is the only field both write;
// a slot is published by the release increment of Count after it is fully
// written, and read only after an acquire load of Count. CircbufAlloc and
// CircbufFree run on the UI thread while no producer can run.

#include "midi/MidiType.h"

#include <atomic>
#include <cstdint>
#include <memory>

struct TMidiBufferItem {
    std::uint32_t ItemTime = 0;      // ms since input was started
    std::uint32_t ShortMessage = 0;  // status in bits 0-7; 0 for a long message
    platform::MIDIHDR *LongHeader = nullptr; // a filled sysex buffer, or null
};

struct TCircularBuffer {
    THandle OwnBlock;  // holds this record
    THandle SlotBlock; // holds the slots
    TMidiBufferItem *FirstSlot = nullptr;
    TMidiBufferItem *EndSlot = nullptr;
    TMidiBufferItem *WriteSlot = nullptr; // producer only
    TMidiBufferItem *ReadSlot = nullptr;  // consumer only
    std::uint16_t ErrorCode = 0;
    std::uint16_t Capacity = 0;
    std::atomic<std::uint16_t> Count{0};
};

// Null when either block cannot be allocated. Any 16-bit capacity works
// (0 gives a ring that refuses every event).
TCircularBuffer *CircbufAlloc(std::uint16_t capacity);
// A null ring does nothing.
void CircbufFree(TCircularBuffer *ring);
// Copies the oldest event without removing it; false (item untouched) when empty.
bool CircbufReadEvent(TCircularBuffer *ring, TMidiBufferItem &item);
// Discards the oldest event; false when empty.
bool CircbufRemoveEvent(TCircularBuffer *ring);

struct CircbufDeleter {
    void operator()(TCircularBuffer *ring) const { CircbufFree(ring); }
};
using TCircularBufferPtr = std::unique_ptr<TCircularBuffer, CircbufDeleter>;
