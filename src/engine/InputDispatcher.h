#pragma once
// TInputDispatcher: one input port's events, fanned out. It sets the port's
// OnMidiInput once, for its whole life, and nobody else sets it: on each
// notice it takes the events already waiting (what arrives meanwhile has its
// own notice) and hands the same batch to every listener, in the order they
// subscribed. The editor, an upload, a search or a transfer subscribes while
// it listens; its TSubscription unsubscribes when it goes, so no owner saves
// or restores another's handler.
//
// A listener may subscribe or unsubscribe anyone, itself included, while it
// is called: one unsubscribed then is not called again, one subscribed then
// hears from the next batch. A listener that raises does not keep the batch
// from the others; the first error is raised once all have had it, as is an
// error in taking the events (after the events taken before it went out).
// Thread: the user-interface thread only, like the port.

#include "midi/MidiType.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TMidiInput;

namespace engine {

class TInputDispatcher {
public:
    using TEvents = std::vector<std::unique_ptr<TMyMidiEvent>>;
    using TListener = std::function<void(const TEvents &)>;

    // Unsubscribes on destruction (or on Reset). Move-only; harmless when it
    // outlives the dispatcher.
    class TSubscription {
    public:
        TSubscription() = default;
        TSubscription(TSubscription &&other) noexcept { *this = std::move(other); }
        TSubscription &operator=(TSubscription &&other) noexcept;
        TSubscription(const TSubscription &) = delete;
        TSubscription &operator=(const TSubscription &) = delete;
        ~TSubscription() { Reset(); }

        void Reset();
        bool Active() const { return FId != 0 && !FOwner.expired(); }

    private:
        friend class TInputDispatcher;
        TSubscription(std::weak_ptr<TInputDispatcher *> owner, std::uint64_t id) : FOwner(std::move(owner)), FId(id) {}
        std::weak_ptr<TInputDispatcher *> FOwner;
        std::uint64_t FId = 0;
    };

    // Takes the port's OnMidiInput; the port must outlive the dispatcher.
    explicit TInputDispatcher(TMidiInput &port);
    ~TInputDispatcher();
    TInputDispatcher(const TInputDispatcher &) = delete;
    TInputDispatcher &operator=(const TInputDispatcher &) = delete;

    [[nodiscard]] TSubscription Subscribe(TListener listener);
    std::size_t Listeners() const { return FListeners.size(); }

    // Takes what waits on the port and hands it to every listener (what the
    // port's notice does; callers may also ask for it directly).
    void Dispatch();

private:
    void Unsubscribe(std::uint64_t id);

    struct TEntry {
        std::uint64_t Id;
        TListener Listener;
    };
    TMidiInput &FPort;
    std::vector<TEntry> FListeners;
    std::uint64_t FNextId = 1;
    std::shared_ptr<TInputDispatcher *> FSelf;
};

} // namespace engine
