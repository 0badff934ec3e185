#pragma once
// Real MIDI devices through RtMidi. The devices of every MIDI system that
// starts on this machine (ALSA sequencer, JACK) are listed one system after
// the other, named as the system reports them; systems that fail to start
// are skipped. Our own ports (client names beginning "Tavrelk") are not
// listed. Input is delivered with the buffer semantics of BasicMidiService;
// time stamps are our own milliseconds since Start.
//
// Threads: as BasicMidiService. RtMidi's input thread (or JACK's process
// thread) is the driver thread that runs the callback.

#include "platform/BasicMidiService.h"

#include <memory>
#include <string>
#include <vector>

class RtMidiIn;
class RtMidiOut;

namespace platform {

class RtMidiService : public BasicMidiService {
public:
    // `clientName` names our ports in the MIDI system.
    explicit RtMidiService(std::string clientName = "Tavrelk");
    ~RtMidiService() override;

    // Names of the systems that started, e.g. "alsa", "jack".
    std::vector<std::string> Systems() const;

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
};

} // namespace platform
