#pragma once
// The driver callback and what it works on: the per-port context record and
// the ring's write operation.
//
// Threads: midiHandler and CircbufPutEvent run on the driver's thread (the
// one producer of a ring). The UI thread writes the context fields while the
// device may be running; they are atomics, read by the callback with acquire
// loads, and this record is the one place where the port and the callback
// hand data across threads (besides the ring's Count and the notify window's
// queue). The callback never allocates, blocks, throws or calls into the
// port; its one outside call is PostMessageA. The port detaches the ring or
// the window through CallbackContextDetach* before it frees them, so a
// callback that is still under way (or comes late, from a device that would
// not close) never reaches freed memory.

#include "midi/Circbuf.h"
#include "platform/NotifyWindow.h"

#include <atomic>
#include <cstdint>
#include <memory>

struct TMidiCallbackContext {
    THandle OwnBlock; // holds this record
    std::atomic<TCircularBuffer *> Ring{nullptr}; // null for an output port
    std::atomic<platform::HWND> NotifyWindow{nullptr};
    std::atomic<bool> SysexOnly{false};
    std::atomic<bool> DropClock{false};
    std::atomic<bool> DropActiveSensing{false};
    // Events the full ring refused and the port has not reported yet: the
    // overflow notice itself may find the window's queue full.
    std::atomic<std::uint32_t> Overflowed{0};
    // Names the open that the context serves; a lost-buffer notice carries
    // it, so that one posted before a Close is not taken for a later open's.
    std::atomic<std::uint32_t> Generation{0};
    // Callbacks between their first and last use of Ring and NotifyWindow.
    std::atomic<std::uint32_t> Busy{0};
};

// A zero-filled context in its own block; null when it cannot be allocated.
TMidiCallbackContext *CallbackContextAlloc();
void CallbackContextFree(TMidiCallbackContext *context);

struct CallbackContextDeleter {
    void operator()(TMidiCallbackContext *context) const { CallbackContextFree(context); }
};
using TMidiCallbackContextPtr = std::unique_ptr<TMidiCallbackContext, CallbackContextDeleter>;

// From now on no callback with this context touches the ring (or posts to
// the window); returns once none that may still have it in hand is under
// way. UI thread; a null context does nothing.
void CallbackContextDetachRing(TMidiCallbackContext *context) noexcept;
void CallbackContextDetachWindow(TMidiCallbackContext *context) noexcept;

// Keeps what a driver may still use after its port has gone (a device that
// would not close): never freed, yet reachable, so that a leak check tells it
// from a leak. Any thread.
void KeepForDriver(std::shared_ptr<void> memory);

// Appends; false when the ring is full. Producer side only.
bool CircbufPutEvent(TCircularBuffer *ring, const TMidiBufferItem &item) noexcept;

// The platform callback; `instance` is the TMidiCallbackContext. Posts
// MIM_DATA (0, 0) per stored event, WM_USER (generation, sysex header or 0)
// per event lost to a full ring, and MOM_DONE (0, header) per sent long
// message.
void midiHandler(void *device, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t param1,
                 std::uintptr_t param2) noexcept;
