#pragma once
// Real MIDI devices through RtMidi. The devices of every MIDI system that
// starts on this machine (ALSA sequencer, JACK) are listed one system after
// the other, named as the system reports them; systems that fail to start
// are skipped. Our own ports (client names beginning "Tavrelk") are not
// listed. Input is delivered with the buffer semantics of BasicMidiService;
// time stamps are our own milliseconds since Start.
//
// A MIDI server that has stopped answering (a JACK server stopped or hung)
// blocks every call that asks it something: starting a system, opening and
// closing a port. Those calls run on a thread of their own and are waited
// for up to the driver wait limit; one that has not returned by then is left
// to its thread, which finishes it (and lets go of what it made) whenever
// the server answers again. Starting and opening wait longer than closing:
// a loaded server is slow to take a new client, and a false alarm there
// costs the user a device. A system that did not start in time is named by
// Unanswered; an input that did not close in time is counted.
//
// Threads: as BasicMidiService. RtMidi's input thread (or JACK's process
// thread) is the driver thread that runs the callback.

#include "platform/BasicMidiService.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

class RtMidiIn;
class RtMidiOut;

namespace platform {

class RtMidiService : public BasicMidiService {
public:
    static constexpr std::chrono::milliseconds kOpenWaitLimit{10000};

    // `clientName` names our ports in the MIDI system; `openLimit` is how
    // long starting a system and opening a port are waited for (closing
    // waits the driver wait limit).
    explicit RtMidiService(std::string clientName = "Tavrelk",
                           std::chrono::milliseconds openLimit = kOpenWaitLimit);
    ~RtMidiService() override;

    // Names of the systems that started, e.g. "alsa", "jack".
    std::vector<std::string> Systems() const;
    // Names of the systems that did not answer within the limit when asked
    // to start; their devices are not listed.
    std::vector<std::string> Unanswered() const { return unanswered_; }
    void SetOpenWaitLimit(std::chrono::milliseconds limit) { openLimit_ = limit; }
    // Inputs whose close did not return within the limit, left to finish.
    unsigned InputsLeftClosing() const { return leftClosing_->load(); }

protected:
    std::uint32_t InputDeviceCount() override;
    MMRESULT InputCaps(std::uint32_t deviceId, MIDIINCAPS &caps) override;
    MMRESULT ConnectInput(std::uint32_t deviceId, const std::shared_ptr<InputEndpoint> &endpoint,
                          std::unique_ptr<InputLink> &link) override;
    std::uint32_t OutputDeviceCount() override;
    MMRESULT OutputCaps(std::uint32_t deviceId, MIDIOUTCAPS &caps) override;
    MMRESULT ConnectOutput(std::uint32_t deviceId, std::unique_ptr<OutputSink> &sink) override;

private:
    struct System;
    struct Port {
        std::size_t system;
        unsigned index; // the system's port number
        std::string name;
    };
    std::vector<Port> ListPorts(bool inputs) const;

    std::string clientName_;
    std::vector<std::unique_ptr<System>> systems_;
    std::vector<std::string> unanswered_;
    std::chrono::milliseconds openLimit_;
    // Shared with the closing threads, which may outlive the service.
    std::shared_ptr<std::atomic<unsigned>> leftClosing_ = std::make_shared<std::atomic<unsigned>>(0);
};

} // namespace platform
