#include "engine/InputDispatcher.h"

#include "midi/MidiIn.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace engine {

TInputDispatcher::TSubscription &TInputDispatcher::TSubscription::operator=(TSubscription &&other) noexcept
{
    if (this != &other) {
        Reset();
        FOwner = std::move(other.FOwner);
        FId = std::exchange(other.FId, 0);
    }
    return *this;
}

void TInputDispatcher::TSubscription::Reset()
{
    if (const std::shared_ptr<TInputDispatcher *> owner = FOwner.lock(); owner && FId != 0)
        (*owner)->Unsubscribe(FId);
    FOwner.reset();
    FId = 0;
}

TInputDispatcher::TInputDispatcher(TMidiInput &port) : FPort(port), FSelf(std::make_shared<TInputDispatcher *>(this))
{
    FPort.OnMidiInput = [this](QObject *) { Dispatch(); };
}

TInputDispatcher::~TInputDispatcher() { FPort.OnMidiInput = nullptr; }

TInputDispatcher::TSubscription TInputDispatcher::Subscribe(TListener listener)
{
    const std::uint64_t id = FNextId++;
    FListeners.push_back({id, std::move(listener)});
    return TSubscription(FSelf, id);
}

void TInputDispatcher::Unsubscribe(std::uint64_t id)
{
    FListeners.erase(std::remove_if(FListeners.begin(), FListeners.end(), [id](const TEntry &e) { return e.Id == id; }),
                     FListeners.end());
}

void TInputDispatcher::Dispatch()
{
    TEvents events;
    std::exception_ptr failure;
    try {
        for (std::uint16_t n = FPort.GetEventCount(); n > 0; --n) {
            if (std::unique_ptr<TMyMidiEvent> ev = FPort.GetMidiEvent())
                events.push_back(std::move(ev));
        }
    } catch (...) {
        failure = std::current_exception(); // hand out what was taken, then report
    }
    // By id, not by position: a listener may change the list while it runs.
    std::vector<std::uint64_t> ids;
    ids.reserve(FListeners.size());
    for (const TEntry &e : FListeners)
        ids.push_back(e.Id);
    for (const std::uint64_t id : ids) {
        const auto it = std::find_if(FListeners.begin(), FListeners.end(), [id](const TEntry &e) { return e.Id == id; });
        if (it == FListeners.end())
            continue;
        const TListener listener = it->Listener; // a copy: it may unsubscribe itself
        try {
            listener(events);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace engine
