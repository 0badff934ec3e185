#include "platform/RtMidiService.h"

#include "platform/RtMidiSink.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

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

// Several JACK periods, and room for a process thread the machine's load
// has held back.
constexpr std::chrono::milliseconds kJackCloseGrace(100);

// Runs `work` on a thread of its own and waits up to `limit` for its result.
// Empty when it has not returned by then: the thread is left to finish, and
// what it returns late is let go there.
template <typename Work>
auto RunBounded(std::chrono::milliseconds limit, Work work) -> std::optional<decltype(work())>
{
    using Result = decltype(work());
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
        bool abandoned = false;
    };
    const auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)]() mutable {
        const BasicMidiService::DriverThread running;
        Result result = work();
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->abandoned)
            return; // `result` goes after the lock is released
        shared->result = std::move(result);
        shared->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(shared->mutex);
    if (!shared->done.wait_for(lock, limit, [&shared] { return shared->result.has_value(); })) {
        shared->abandoned = true;
        return std::nullopt;
    }
    return std::move(shared->result);
}

class RtInputLink : public InputLink {
public:
    RtInputLink(std::unique_ptr<RtMidiErrorLatch> errors, std::unique_ptr<RtMidiIn> in,
                std::shared_ptr<InputEndpoint> endpoint, std::chrono::milliseconds limit,
                std::shared_ptr<std::atomic<unsigned>> leftClosing)
        : errors_(std::move(errors)), in_(std::move(in)), endpoint_(std::move(endpoint)), limit_(limit),
          leftClosing_(std::move(leftClosing))
    {
    }
    // A port whose system has gone away may fail to close; nobody is left to
    // tell. One whose server does not answer is left to close on its own
    // thread, with the endpoint its callback reports to.
    ~RtInputLink() override
    {
        const auto closed = RunBounded(limit_, [errors = std::move(errors_), in = std::move(in_),
                                                endpoint = std::move(endpoint_)]() mutable {
            in->closePort();
            in.reset(); // lets the client go: a server call too
            return true;
        });
        if (!closed)
            leftClosing_->fetch_add(1);
    }

private:
    std::unique_ptr<RtMidiErrorLatch> errors_; // first: outlives the object that reports to it
    std::unique_ptr<RtMidiIn> in_;
    std::shared_ptr<InputEndpoint> endpoint_;
    std::chrono::milliseconds limit_;
    std::shared_ptr<std::atomic<unsigned>> leftClosing_;
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
// A port of one direction opened on a thread of its own, so that a server
// that does not answer cannot hold the caller: the client, its error latch
// (which must outlive it) and the outcome. `prepare` runs before the open.
template <typename Client>
struct OpenedPort {
    MMRESULT code = MMSYSERR_NOERROR;
    std::unique_ptr<RtMidiErrorLatch> errors; // first: outlives the object that reports to it
    std::unique_ptr<Client> client;
};

template <typename Client, typename Prepare>
std::optional<OpenedPort<Client>> OpenBounded(std::chrono::milliseconds limit, RtMidi::Api api, unsigned index,
                                               std::string clientName, const char *portName, Prepare prepare)
{
    return RunBounded(limit, [=]() {
        OpenedPort<Client> o;
        o.errors = std::make_unique<RtMidiErrorLatch>();
        try {
            o.client = std::make_unique<Client>(api, clientName);
        } catch (const RtMidiError &e) { // only the constructor throws
            o.code = RtMidiErrorLatch::Code(e.getType());
            return o;
        }
        o.client->setErrorCallback(&RtMidiErrorLatch::Report, o.errors.get());
        prepare(*o.client);
        o.client->openPort(index, portName);
        o.code = o.errors->Take();
        if (o.code == MMSYSERR_NOERROR && !o.client->isPortOpen())
            o.code = MMSYSERR_ALLOCATED;
        return o;
    });
}

} // namespace

RtMidiService::RtMidiService(std::string clientName, std::chrono::milliseconds openLimit)
    : clientName_(std::move(clientName)), openLimit_(openLimit)
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
        auto started = RunBounded(openLimit_, [api, name = clientName_ + " probe"]() -> std::unique_ptr<System> {
            try {
                auto system = std::make_unique<System>();
                system->api = api;
                system->inputProbe = std::make_unique<RtMidiIn>(api, name);
                system->outputProbe = std::make_unique<RtMidiOut>(api, name);
                system->inputProbe->setErrorCallback(&RtMidiErrorLatch::Report, &system->inputErrors);
                system->outputProbe->setErrorCallback(&RtMidiErrorLatch::Report, &system->outputErrors);
                return system;
            } catch (const RtMidiError &) { // only the constructors throw
                return nullptr;              // this system does not start here (no ALSA sequencer, say)
            }
        });
        if (!started)
            unanswered_.push_back(RtMidi::getApiName(api));
        else if (*started)
            systems_.push_back(std::move(*started));
    }
}

RtMidiService::~RtMidiService()
{
    CloseAll();
    // Letting the probes go asks their servers too.
    RunBounded(DriverWaitLimit(), [systems = std::move(systems_)]() mutable {
        systems.clear();
        return true;
    });
}

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
    auto opened = OpenBounded<RtMidiIn>(openLimit_, systems_[port.system]->api, port.index, clientName_, "in",
                                        [endpoint](RtMidiIn &in) {
                                            in.ignoreTypes(false, false, false); // the callback filters, not RtMidi
                                            in.setCallback(OnRtMessage, endpoint.get());
                                        });
    if (!opened)
        return MIDIERR_NOTREADY; // the server did not answer
    if (opened->code != MMSYSERR_NOERROR)
        return opened->code;
    link = std::make_unique<RtInputLink>(std::move(opened->errors), std::move(opened->client), endpoint,
                                         DriverWaitLimit(), leftClosing_);
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
    auto opened = OpenBounded<RtMidiOut>(openLimit_, systems_[port.system]->api, port.index, clientName_, "out",
                                         [](RtMidiOut &) {});
    if (!opened)
        return MIDIERR_NOTREADY; // the server did not answer
    if (opened->code != MMSYSERR_NOERROR)
        return opened->code;
    sink = std::make_unique<RtOutputSink<RtMidiOut>>(std::move(opened->errors), std::move(opened->client),
                                                     [this, name = port.name] {
                                                         const auto now = ListPorts(false);
                                                         return std::any_of(now.begin(), now.end(),
                                                                            [&](const Port &p) { return p.name == name; });
                                                     },
                                                     systems_[port.system]->api == RtMidi::UNIX_JACK
                                                         ? kJackCloseGrace
                                                         : std::chrono::milliseconds(0));
    return MMSYSERR_NOERROR;
}

} // namespace platform
