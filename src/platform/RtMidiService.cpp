#include "platform/RtMidiService.h"

#include "platform/RtMidiSink.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <chrono>
#include <functional>

#ifdef __linux__
#include <unistd.h> // access(), for the ALSA device check
#endif

namespace platform {

struct RtMidiService::System {
    RtMidi::Api api;
    // Declared before the probes, which report to them.
    RtMidiErrorLatch inputErrors;
    RtMidiErrorLatch outputErrors;
    std::unique_ptr<RtMidiIn> inputProbe;   // lists the sources
    std::unique_ptr<RtMidiOut> outputProbe; // lists the destinations
};

namespace {
class RtInputLink : public InputLink {
public:
    RtInputLink(std::unique_ptr<RtMidiErrorLatch> errors, std::unique_ptr<RtMidiIn> in)
        : errors_(std::move(errors)), in_(std::move(in))
    {
    }
    // A port whose system has gone away may fail to close; nobody is left to tell.
    ~RtInputLink() override { in_->closePort(); }

private:
    std::unique_ptr<RtMidiErrorLatch> errors_; // first: outlives the object that reports to it
    std::unique_ptr<RtMidiIn> in_;
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
#ifdef __linux__
        if (api == RtMidi::LINUX_ALSA && access("/dev/snd/seq", R_OK | W_OK) != 0)
            continue;
#endif
        try {
            auto system = std::make_unique<System>();
            system->api = api;
            system->inputProbe = std::make_unique<RtMidiIn>(api, clientName_ + " probe");
            system->outputProbe = std::make_unique<RtMidiOut>(api, clientName_ + " probe");
            system->inputProbe->setErrorCallback(&RtMidiErrorLatch::Report, &system->inputErrors);
            system->outputProbe->setErrorCallback(&RtMidiErrorLatch::Report, &system->outputErrors);
            systems_.push_back(std::move(system));
        } catch (const RtMidiError &) { // only the constructors throw
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
        System &system = *systems_[s];
        RtMidi &probe = inputs ? static_cast<RtMidi &>(*system.inputProbe) : static_cast<RtMidi &>(*system.outputProbe);
        RtMidiErrorLatch &errors = inputs ? system.inputErrors : system.outputErrors;
        errors.Take();
        const unsigned count = probe.getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            std::string name = probe.getPortName(i);
            // A port that went away while we listed is left out.
            if (errors.Take() != MMSYSERR_NOERROR || name.empty() || name.rfind(clientName_, 0) == 0)
                continue;
            ports.push_back(Port{s, i, std::move(name)});
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
    auto errors = std::make_unique<RtMidiErrorLatch>();
    std::unique_ptr<RtMidiIn> in;
    try {
        in = std::make_unique<RtMidiIn>(systems_[port.system]->api, clientName_);
    } catch (const RtMidiError &e) { // only the constructor throws
        return RtMidiErrorLatch::Code(e.getType());
    }
    in->setErrorCallback(&RtMidiErrorLatch::Report, errors.get());
    in->ignoreTypes(false, false, false); // the callback filters, not RtMidi
    in->setCallback(OnRtMessage, endpoint.get());
    in->openPort(port.index, "in");
    if (const MMRESULT failed = errors->Take())
        return failed;
    if (!in->isPortOpen())
        return MMSYSERR_ALLOCATED;
    link = std::make_unique<RtInputLink>(std::move(errors), std::move(in));
    return MMSYSERR_NOERROR;
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
    auto errors = std::make_unique<RtMidiErrorLatch>();
    std::unique_ptr<RtMidiOut> out;
    try {
        out = std::make_unique<RtMidiOut>(systems_[port.system]->api, clientName_);
    } catch (const RtMidiError &e) { // only the constructor throws
        return RtMidiErrorLatch::Code(e.getType());
    }
    out->setErrorCallback(&RtMidiErrorLatch::Report, errors.get());
    out->openPort(port.index, "out");
    if (const MMRESULT failed = errors->Take())
        return failed;
    if (!out->isPortOpen())
        return MMSYSERR_ALLOCATED;
    sink = std::make_unique<RtOutputSink<RtMidiOut>>(std::move(errors), std::move(out), [this, name = port.name] {
        const auto now = ListPorts(false);
        return std::any_of(now.begin(), now.end(), [&](const Port &p) { return p.name == name; });
    });
    return MMSYSERR_NOERROR;
}

} // namespace platform
