#include "platform/NotifyWindow.h"

#include <chrono>

namespace platform {

namespace {
std::size_t RoundUpToPowerOfTwo(std::size_t n)
{
    std::size_t p = 2;
    while (p < n)
        p <<= 1;
    return p;
}
} // namespace

TNotifyWindow::TNotifyWindow(Procedure procedure, std::size_t capacity, QObject *parent)
    : QObject(parent), procedure_(std::move(procedure)), mask_(RoundUpToPowerOfTwo(capacity) - 1),
      cells_(new Cell[mask_ + 1]), alive_(std::make_shared<bool>(true)), wake_([this] { Drain(); })
{
    for (std::size_t i = 0; i <= mask_; ++i)
        cells_[i].sequence.store(i, std::memory_order_relaxed);
}

TNotifyWindow::~TNotifyWindow() { *alive_ = false; }

// Bounded multi-producer queue (sequence number per cell): a producer claims
// a position with one CAS and publishes the cell with a release store of its
// sequence; the consumer reads a cell only after an acquire load shows it
// published.
bool TNotifyWindow::Post(std::uint32_t msg, std::uintptr_t wParam, std::uintptr_t lParam) noexcept
{
    std::size_t pos = enqueuePos_.load(std::memory_order_relaxed);
    Cell *cell;
    for (;;) {
        cell = &cells_[pos & mask_];
        const std::size_t seq = cell->sequence.load(std::memory_order_acquire);
        const auto diff = static_cast<std::intptr_t>(seq) - static_cast<std::intptr_t>(pos);
        if (diff == 0) {
            if (enqueuePos_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed))
                break;
        } else if (diff < 0) {
            refused_.fetch_add(1, std::memory_order_relaxed);
            return false;
        } else {
            pos = enqueuePos_.load(std::memory_order_relaxed);
        }
    }
    cell->message = TMessage{msg, wParam, lParam, 0};
    cell->sequence.store(pos + 1, std::memory_order_release);
    Wake();
    return true;
}

bool TNotifyWindow::Pop(TMessage &out) noexcept
{
    Cell &cell = cells_[dequeuePos_ & mask_];
    const std::size_t seq = cell.sequence.load(std::memory_order_acquire);
    if (seq != dequeuePos_ + 1)
        return false;
    out = cell.message;
    cell.sequence.store(dequeuePos_ + mask_ + 1, std::memory_order_release);
    ++dequeuePos_;
    return true;
}

void TNotifyWindow::Drain()
{
    wake_.Clear();
    // Cleared before draining, with an exchange, not a store: the two
    // exchanges (here and in Wake) are ordered on the one flag. A post whose
    // Wake comes later sees false and signals again; one whose Wake came
    // earlier wrote the true that this exchange reads, and so its message
    // is visible to the Pop below. A plain store could let the Pop read an
    // empty cell while that post still saw true: a message left waiting.
    wakePending_.exchange(false, std::memory_order_acq_rel);

    // The procedure may throw (the application's error box catches it) or,
    // against the rules, destroy this window; either way nothing of a
    // destroyed window is touched, and messages left over wake us again.
    const std::shared_ptr<bool> alive = alive_;
    struct Rearm {
        TNotifyWindow *window;
        const std::shared_ptr<bool> &alive;
        ~Rearm()
        {
            if (*alive && window->HasQueued())
                window->Wake();
        }
    } rearm{this, alive};

    // A steady stream of notices (a flood of input) must not keep the rest
    // of the loop, painting and timers, waiting: after a slice of time the
    // remaining messages wait for the wake-up that Rearm sends.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(10);
    TMessage message;
    while (*alive && Pop(message)) {
        procedure_(message);
        if (std::chrono::steady_clock::now() >= until)
            break;
    }
}

bool TNotifyWindow::HasQueued() const noexcept
{
    return cells_[dequeuePos_ & mask_].sequence.load(std::memory_order_acquire) == dequeuePos_ + 1;
}

void TNotifyWindow::Wake() noexcept
{
    if (!wakePending_.exchange(true, std::memory_order_acq_rel))
        wake_.Signal();
}

std::intptr_t TNotifyWindow::Dispatch(std::uint32_t msg, std::uintptr_t wParam, std::uintptr_t lParam)
{
    TMessage message{msg, wParam, lParam, 0};
    procedure_(message);
    return message.Result;
}

bool PostMessageA(HWND hWnd, std::uint32_t msg, std::uintptr_t wParam, std::uintptr_t lParam) noexcept
{
    return hWnd && hWnd->Post(msg, wParam, lParam);
}

} // namespace platform
