#include "platform/RtMidiService.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include <unistd.h>

namespace platform {

struct RtMidiService::System {
    RtMidi::Api api;
    std::unique_ptr<RtMidiIn> inputProbe;   // lists the sources
    std::unique_ptr<RtMidiOut> outputProbe; // lists the destinations
};

namespace {
void IgnoreError(RtMidiError::Type, const std::string &, void *) {}

// For destructors: a port whose system has gone away may fail to close.
void ClosePortQuietly(RtMidi &port) noexcept
{
    try {
        port.closePort();
    } catch (const RtMidiError &) {
    }
}

class RtInputLink : public InputLink {
public:
    explicit RtInputLink(std::unique_ptr<RtMidiIn> in) : in_(std::move(in)) {}
    ~RtInputLink() override { ClosePortQuietly(*in_); }

private:
    std::unique_ptr<RtMidiIn> in_;
};

class RtOutputSink : public OutputSink {
public:
    RtOutputSink(std::unique_ptr<RtMidiOut> out, std::function<bool()> listed)
        : out_(std::move(out)), listed_(std::move(listed))
    {
    }
    ~RtOutputSink() override { ClosePortQuietly(*out_); }

    // The server drops our connection when the device's port closes; one that
    // comes back under the same name is a new port, reached only by opening
    // it again. Listing the ports costs a server round trip, so it is looked
    // at no more than every 100 ms.
    bool Present() override
    {
        const auto now = std::chrono::steady_clock::now();
        if (present_ && now >= nextCheck_) {
            present_ = listed_();
            nextCheck_ = now + std::chrono::milliseconds(100);
        }
        return present_;
    }
    void Transmit(const std::uint8_t *bytes, std::size_t count, bool) override
    {
        try {
            out_->sendMessage(bytes, count);
        } catch (const RtMidiError &) {
            // A device that went away loses the message, as a cable would.
        }
    }

private:
    std::unique_ptr<RtMidiOut> out_;
    std::function<bool()> listed_;
    bool present_ = true;
    std::chrono::steady_clock::time_point nextCheck_{};
};

// Runs on RtMidi's input thread.
void OnRtMessage(double, std::vector<unsigned char> *message, void *userData)
{
    if (!message || message->empty())
        return;
    auto *endpoint = static_cast<InputEndpoint *>(userData);
    const std::vector<unsigned char> &m = *message;
    if (m[0] == 0xF0 || m[0] < 0x80) { // a sysex, or the rest of one
        endpoint->DeliverSysex(m.data(), m.size());
        return;
    }
    endpoint->DeliverShort(m.data(), m.size());
}
} // namespace

RtMidiService::RtMidiService(std::string clientName) : clientName_(std::move(clientName))
{
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (const RtMidi::Api api : apis) {
        if (api == RtMidi::RTMIDI_DUMMY || api == RtMidi::UNSPECIFIED)
            continue;
        // Without a sequencer device ALSA would fail anyway, noisily on stderr.
        if (api == RtMidi::LINUX_ALSA && access("/dev/snd/seq", R_OK | W_OK) != 0)
            continue;
        try {
            auto system = std::make_unique<System>();
            system->api = api;
            system->inputProbe = std::make_unique<RtMidiIn>(api, clientName_ + " probe");
            system->outputProbe = std::make_unique<RtMidiOut>(api, clientName_ + " probe");
            system->inputProbe->setErrorCallback(IgnoreError, nullptr);
            system->outputProbe->setErrorCallback(IgnoreError, nullptr);
            systems_.push_back(std::move(system));
        } catch (const RtMidiError &) {
            // This system does not start here (no ALSA sequencer, say).
        }
    }
}

RtMidiService::~RtMidiService() { CloseAll(); }

std::vector<std::string> RtMidiService::Systems() const
{
    std::vector<std::string> names;
    for (const auto &system : systems_)
        names.push_back(RtMidi::getApiName(system->api));
    return names;
}

std::vector<RtMidiService::Port> RtMidiService::ListPorts(bool inputs) const
{
    std::vector<Port> ports;
    for (std::size_t s = 0; s < systems_.size(); ++s) {
        RtMidi &probe = inputs ? static_cast<RtMidi &>(*systems_[s]->inputProbe)
                               : static_cast<RtMidi &>(*systems_[s]->outputProbe);
        try {
            const unsigned count = probe.getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                std::string name = probe.getPortName(i);
                if (name.empty() || name.rfind(clientName_, 0) == 0)
                    continue;
                ports.push_back(Port{s, i, std::move(name)});
            }
        } catch (const RtMidiError &) {
        }
    }
    return ports;
}

std::uint32_t RtMidiService::InputDeviceCount() { return static_cast<std::uint32_t>(ListPorts(true).size()); }

MMRESULT RtMidiService::InputCaps(std::uint32_t deviceId, MIDIINCAPS &caps)
{
    const auto ports = ListPorts(true);
    if (deviceId >= ports.size())
        return MMSYSERR_BADDEVICEID;
    caps = MIDIINCAPS{};
    caps.szPname = ports[deviceId].name;
    caps.vDriverVersion = 0x0100;
    return MMSYSERR_NOERROR;
}

MMRESULT RtMidiService::ConnectInput(std::uint32_t deviceId, const std::shared_ptr<InputEndpoint> &endpoint,
                                     std::unique_ptr<InputLink> &link)
{
    const auto ports = ListPorts(true);
    if (deviceId >= ports.size())
        return MMSYSERR_BADDEVICEID;
    const Port &port = ports[deviceId];
    try {
        auto in = std::make_unique<RtMidiIn>(systems_[port.system]->api, clientName_);
        in->setErrorCallback(IgnoreError, nullptr);
        in->ignoreTypes(false, false, false); // the callback filters, not RtMidi
        in->setCallback(OnRtMessage, endpoint.get());
        in->openPort(port.index, "in");
        if (!in->isPortOpen())
            return MMSYSERR_ALLOCATED;
        link = std::make_unique<RtInputLink>(std::move(in));
        return MMSYSERR_NOERROR;
    } catch (const RtMidiError &) {
        return MMSYSERR_ERROR;
    }
}

std::uint32_t RtMidiService::OutputDeviceCount() { return static_cast<std::uint32_t>(ListPorts(false).size()); }

MMRESULT RtMidiService::OutputCaps(std::uint32_t deviceId, MIDIOUTCAPS &caps)
{
    const auto ports = ListPorts(false);
    if (deviceId >= ports.size())
        return MMSYSERR_BADDEVICEID;
    caps = MIDIOUTCAPS{};
    caps.szPname = ports[deviceId].name;
    caps.vDriverVersion = 0x0100;
    caps.wTechnology = MOD_MIDIPORT;
    caps.wChannelMask = 0xFFFF;
    return MMSYSERR_NOERROR;
}

MMRESULT RtMidiService::ConnectOutput(std::uint32_t deviceId, std::unique_ptr<OutputSink> &sink)
{
    const auto ports = ListPorts(false);
    if (deviceId >= ports.size())
        return MMSYSERR_BADDEVICEID;
    const Port &port = ports[deviceId];
    try {
        auto out = std::make_unique<RtMidiOut>(systems_[port.system]->api, clientName_);
        out->setErrorCallback(IgnoreError, nullptr);
        out->openPort(port.index, "out");
        if (!out->isPortOpen())
            return MMSYSERR_ALLOCATED;
        sink = std::make_unique<RtOutputSink>(std::move(out), [this, name = port.name] {
            const auto now = ListPorts(false);
            return std::any_of(now.begin(), now.end(), [&](const Port &p) { return p.name == name; });
        });
        return MMSYSERR_NOERROR;
    } catch (const RtMidiError &) {
        return MMSYSERR_ERROR;
    }
}

} // namespace platform
