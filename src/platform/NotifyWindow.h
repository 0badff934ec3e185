#pragma once
// The stand-in for a port's hidden message window: a bounded, pre-allocated
// queue of window messages that any thread may post to, and a wake-up
// (platform/WakeSignal.h) that makes the thread owning the window run its
// procedure on each message, in posting order. A long run of
// messages is handled in slices of about 10 ms, with the rest of the event
// loop (painting, timers) running between them.
//
// Threads: construct, destroy and Dispatch on the UI thread (the thread whose
// Qt event loop runs the procedure). Post / PostMessageA may be called from
// any thread at any time while the window exists; they never allocate and
// never block. Messages still queued when the window is destroyed are
// discarded, and the procedure is never called after destruction begins.

#include "platform/WakeSignal.h"

#include <QObject>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

struct TMessage {
    std::uint32_t Msg = 0;
    std::uintptr_t WParam = 0;
    std::uintptr_t LParam = 0;
    std::intptr_t Result = 0;
};

// Window messages the MIDI layer uses (the platform's values).
constexpr std::uint32_t WM_QUERYENDSESSION = 0x0011;
constexpr std::uint32_t WM_USER = 0x0400;

class TNotifyWindow : public QObject {
    Q_OBJECT
public:
    using Procedure = std::function<void(TMessage &)>;

    explicit TNotifyWindow(Procedure procedure, std::size_t capacity = 4096,
                           QObject *parent = nullptr);
    ~TNotifyWindow() override;

    // Queues a message; false when the queue is full (the message is lost).
    bool Post(std::uint32_t msg, std::uintptr_t wParam, std::uintptr_t lParam) noexcept;
    // Runs the procedure now, on the calling (UI) thread; returns its Result.
    std::intptr_t Dispatch(std::uint32_t msg, std::uintptr_t wParam = 0, std::uintptr_t lParam = 0);
    // Messages refused because the queue was full, since construction.
    std::uint64_t Refused() const noexcept { return refused_.load(std::memory_order_relaxed); }

private:
    void Drain();
    bool Pop(TMessage &out) noexcept;
    bool HasQueued() const noexcept;
    void Wake() noexcept;

    struct Cell {
        std::atomic<std::size_t> sequence;
        TMessage message;
    };

    Procedure procedure_;
    std::size_t mask_;
    std::unique_ptr<Cell[]> cells_;
    alignas(64) std::atomic<std::size_t> enqueuePos_{0};
    alignas(64) std::size_t dequeuePos_ = 0; // UI thread only
    std::atomic<bool> wakePending_{false};
    std::atomic<std::uint64_t> refused_{0};
    std::shared_ptr<bool> alive_; // false once destruction begins
    TWakeSignal wake_;
};

using HWND = TNotifyWindow *;

// The callback's one outside call. False when hWnd is null or its queue is full.
bool PostMessageA(HWND hWnd, std::uint32_t msg, std::uintptr_t wParam, std::uintptr_t lParam) noexcept;

} // namespace platform
