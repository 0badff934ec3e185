#include "midi/Midicallback.h"

#include "midi/Midicons.h"

#include <mutex>
#include <thread>
#include <vector>

using platform::MIM_DATA;
using platform::MIM_LONGDATA;
using platform::MIM_LONGERROR;
using platform::MOM_DONE;
using platform::WM_USER;

TMidiCallbackContext *CallbackContextAlloc() { return NewInOwnBlock<TMidiCallbackContext>(); }

void CallbackContextFree(TMidiCallbackContext *context) { DeleteInOwnBlock(context); }

void KeepForDriver(std::shared_ptr<void> memory)
{
    // Never destroyed: a driver thread may still be running at exit.
    static auto *const kept = new std::vector<std::shared_ptr<void>>;
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    kept->push_back(std::move(memory));
}

bool CircbufPutEvent(TCircularBuffer *ring, const TMidiBufferItem &item) noexcept
{
    // Acquire: the consumer has finished with the slot we are about to reuse.
    if (ring->Count.load(std::memory_order_acquire) >= ring->Capacity)
        return false;
    *ring->WriteSlot = item;
    if (++ring->WriteSlot == ring->EndSlot)
        ring->WriteSlot = ring->FirstSlot;
    // Release: publishes the slot written above.
    ring->Count.fetch_add(1, std::memory_order_release);
    return true;
}

namespace {
// Marks a callback as under way for the detaching side. Entering and the
// loads of Ring / NotifyWindow that follow are sequentially consistent, as
// are the detaching store and its look at Busy: either the callback sees
// the detached null, or the detaching side sees it under way and waits.
class TCallbackScope {
public:
    explicit TCallbackScope(TMidiCallbackContext &context) noexcept : context_(context)
    {
        context_.Busy.fetch_add(1, std::memory_order_seq_cst);
    }
    ~TCallbackScope() { context_.Busy.fetch_sub(1, std::memory_order_release); }
    TCallbackScope(const TCallbackScope &) = delete;
    TCallbackScope &operator=(const TCallbackScope &) = delete;

private:
    TMidiCallbackContext &context_;
};

// The callback never blocks, so this ends within a few instructions of it.
void WaitForCallbacks(const TMidiCallbackContext &context) noexcept
{
    while (context.Busy.load(std::memory_order_seq_cst) != 0)
        std::this_thread::yield();
}
} // namespace

void CallbackContextDetachRing(TMidiCallbackContext *context) noexcept
{
    if (!context)
        return;
    context->Ring.store(nullptr, std::memory_order_seq_cst);
    WaitForCallbacks(*context);
}

void CallbackContextDetachWindow(TMidiCallbackContext *context) noexcept
{
    if (!context)
        return;
    context->NotifyWindow.store(nullptr, std::memory_order_seq_cst);
    WaitForCallbacks(*context);
}

void midiHandler(void *, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t param1,
                 std::uintptr_t param2) noexcept
{
    auto *context = reinterpret_cast<TMidiCallbackContext *>(instance);
    if (!context)
        return;
    const TCallbackScope scope(*context);
    if (msg == MIM_DATA || msg == MIM_LONGDATA || msg == MIM_LONGERROR) {
        TCircularBuffer *ring = context->Ring.load(std::memory_order_seq_cst);
        if (!ring)
            return;
        if (param1 == MIDI_TIMINGCLOCK && context->DropClock.load(std::memory_order_acquire))
            return;
        if (param1 == MIDI_ACTIVESENSING && context->DropActiveSensing.load(std::memory_order_acquire))
            return;
        if (msg == MIM_DATA && context->SysexOnly.load(std::memory_order_acquire))
            return;
        TMidiBufferItem item;
        item.ItemTime = static_cast<std::uint32_t>(param2);
        if (msg == MIM_DATA)
            item.ShortMessage = static_cast<std::uint32_t>(param1);
        else
            item.LongHeader = reinterpret_cast<platform::MIDIHDR *>(param1);
        const platform::HWND window = context->NotifyWindow.load(std::memory_order_seq_cst);
        if (CircbufPutEvent(ring, item))
            platform::PostMessageA(window, MIM_DATA, 0, 0);
        else { // a lost sysex buffer travels along so that the port can queue it again
            context->Overflowed.fetch_add(1, std::memory_order_release);
            platform::PostMessageA(window, WM_USER, context->Generation.load(std::memory_order_acquire),
                                   reinterpret_cast<std::uintptr_t>(item.LongHeader));
        }
    } else if (msg == MOM_DONE) {
        platform::PostMessageA(context->NotifyWindow.load(std::memory_order_seq_cst), MOM_DONE, 0, param1);
    }
}
