#include "platform/BasicMidiService.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace platform {

std::size_t ShortMessageLength(std::uint8_t status) noexcept
{
    if (status < 0x80)
        return 1;
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return 2;
    case 0xF0:
        switch (status) {
        case 0xF1:
        case 0xF3:
            return 2;
        case 0xF2:
            return 3;
        default:
            return 1;
        }
    default:
        return 3;
    }
}

// ---------------------------------------------------------------- input

namespace {
// A status byte that opens a short message, and data bytes below 0x80 for
// as many as it takes. A byte of 0x80 or more inside would travel on as part
// of whatever the receiver builds from the message (a parameter change's
// sysex, say).
bool IsDriverShortMessage(std::uint32_t packed) noexcept
{
    const std::uint8_t status = std::uint8_t(packed);
    if (status < 0x80 || status == 0xF0 || status == 0xF7)
        return false;
    const std::size_t length = ShortMessageLength(status);
    for (std::size_t i = 1; i < length; ++i) {
        if ((packed >> (8 * i)) & 0x80)
            return false;
    }
    return true;
}
} // namespace

InputEndpoint::InputEndpoint(HMIDIIN handle, MidiCallback callback, std::uintptr_t instance,
                             std::shared_ptr<std::atomic<std::uint64_t>> dropped)
    : handle_(handle), callback_(callback), instance_(instance), dropped_(std::move(dropped))
{
}

std::uint32_t InputEndpoint::Now() const
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now() - startTime_).count());
}

void InputEndpoint::Call(std::uint32_t msg, std::uintptr_t p1, std::uintptr_t p2) const
{
    if (callback_)
        callback_(handle_, msg, instance_, p1, p2);
}

void InputEndpoint::ReturnFront(std::uint32_t code)
{
    MIDIHDR *header = queue_.front();
    queue_.pop_front();
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    Call(code, reinterpret_cast<std::uintptr_t>(header), Now());
}

void InputEndpoint::DeliverShort(std::uint32_t packed)
{
    const std::size_t length = ShortMessageLength(std::uint8_t(packed));
    const std::uint32_t own = packed & ((std::uint32_t(1) << (8 * length)) - 1);
    DeliverShortChecked(own, IsDriverShortMessage(packed));
}

void InputEndpoint::DeliverShort(const std::uint8_t *bytes, std::size_t count)
{
    if (!bytes || count == 0)
        return;
    std::uint32_t packed = 0;
    for (std::size_t i = 0; i < count && i < 3; ++i)
        packed |= std::uint32_t(bytes[i]) << (8 * i);
    DeliverShortChecked(packed, count == ShortMessageLength(bytes[0]) && IsDriverShortMessage(packed));
}

void InputEndpoint::DeliverShortChecked(std::uint32_t packed, bool wellFormed)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || !started_)
        return;
    if (!wellFormed) {
        if (dropped_)
            dropped_->fetch_add(1, std::memory_order_release);
        return;
    }
    Call(MIM_DATA, packed, Now());
}

void InputEndpoint::DeliverSysex(const std::uint8_t *bytes, std::size_t count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || !started_)
        return;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        if (b >= 0xF8) {
            Call(MIM_DATA, b, Now());
            continue;
        }
        if (b == 0xF0) {
            dropping_ = false;
            // A new message cuts off one that never ended.
            if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0)
                ReturnFront(MIM_LONGERROR);
        }
        if (dropping_) {
            dropping_ = b != 0xF7;
            continue;
        }
        if (queue_.empty()) {
            dropping_ = b != 0xF7;
            continue;
        }
        MIDIHDR *header = queue_.front();
        header->lpData[header->dwBytesRecorded++] = b;
        if (b == 0xF7 || header->dwBytesRecorded >= header->dwBufferLength)
            ReturnFront(MIM_LONGDATA);
    }
}

void InputEndpoint::FlushBuffer()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!closed_ && started_ && !queue_.empty()) {
        dropping_ = false;
        ReturnFront(MIM_LONGDATA);
    }
}

MMRESULT InputEndpoint::AddBuffer(MIDIHDR *header)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(queue_.begin(), queue_.end(), header) != queue_.end())
        return MIDIERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    queue_.push_back(header);
    return MMSYSERR_NOERROR;
}

bool InputEndpoint::IsQueued(const MIDIHDR *header)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::find(queue_.begin(), queue_.end(), header) != queue_.end();
}

bool InputEndpoint::HasQueuedBuffers()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return !queue_.empty();
}

void InputEndpoint::Start()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_) {
        started_ = true;
        startTime_ = std::chrono::steady_clock::now();
    }
}

void InputEndpoint::Stop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    started_ = false;
}

void InputEndpoint::Reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    started_ = false;
    dropping_ = false;
    while (!queue_.empty()) {
        queue_.front()->dwBytesRecorded = 0;
        ReturnFront(MIM_LONGDATA);
    }
}

void InputEndpoint::Close()
{
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    started_ = false;
}

// ---------------------------------------------------------------- output

namespace {
std::atomic<unsigned> g_driverThreads{0};
}

BasicMidiService::DriverThread::DriverThread() { g_driverThreads.fetch_add(1, std::memory_order_acq_rel); }
BasicMidiService::DriverThread::~DriverThread() { g_driverThreads.fetch_sub(1, std::memory_order_acq_rel); }
unsigned BasicMidiService::DriverThreadsRunning() { return g_driverThreads.load(std::memory_order_acquire); }

class BasicMidiService::OutputEndpoint : public std::enable_shared_from_this<OutputEndpoint> {
public:
    OutputEndpoint(HMIDIOUT handle, std::uint32_t deviceId, MidiCallback callback,
                   std::uintptr_t instance, std::unique_ptr<OutputSink> sink,
                   std::shared_ptr<const std::atomic<bool>> pacing)
        : handle_(handle), deviceId_(deviceId), callback_(callback), instance_(instance),
          sink_(std::move(sink)), pacing_(std::move(pacing))
    {
    }
    ~OutputEndpoint()
    {
        if (!worker_.joinable())
            return;
        // The last hold may be the delivery thread's own (see Start); any
        // other holder has closed the endpoint or seen the thread end.
        if (worker_.get_id() == std::this_thread::get_id())
            worker_.detach();
        else
            worker_.join();
    }

    // Starts the delivery thread. It holds the endpoint until it ends, which
    // may be after the service has given up waiting for it.
    void Start()
    {
        worker_ = std::thread([self = shared_from_this()] { self->Run(); });
    }

    std::uint32_t DeviceId() const { return deviceId_; }

    bool Present()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                return false; // being let go: the delivery thread may be releasing the sink
        }
        return !sink_ || sink_->Present();
    }

    // A message goes to the driver within the call when nothing waits before
    // it, unless pacing or a driver that may block needs the delivery thread.
    // A failure of such a send is this call's result.
    MMRESULT SendShort(std::uint32_t message)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!CanSendNow()) {
            items_.push_back(Item{message, nullptr});
            wake_.notify_one();
            return MMSYSERR_NOERROR;
        }
        const std::uint8_t raw[3] = {std::uint8_t(message), std::uint8_t(message >> 8), std::uint8_t(message >> 16)};
        return Transmit(raw, ShortMessageLength(raw[0]), false);
    }

    // A long message sent within the call still has its MOM_DONE come from
    // the delivery thread; one whose send fails within the call has none.
    MMRESULT SendLong(MIDIHDR *header)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (header->dwFlags & MHDR_INQUEUE)
                return MIDIERR_STILLPLAYING;
            if (!CanSendNow()) {
                header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
                items_.push_back(Item{0, header});
                wake_.notify_one();
                return MMSYSERR_NOERROR;
            }
            if (const MMRESULT failed = Transmit(header->lpData, header->dwBufferLength, true))
                return failed;
            header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
            notices_.push_back(header);
        }
        wake_.notify_one();
        return MMSYSERR_NOERROR;
    }

    bool InQueue(const MIDIHDR *header)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return header->dwFlags & MHDR_INQUEUE;
    }

    // The error of a send that failed since the last call, or success.
    MMRESULT TakeSendFailure()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(sendFailure_, MMSYSERR_NOERROR);
    }

    void SetPrepared(MIDIHDR *header, bool prepared)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        header->dwFlags = prepared ? (header->dwFlags | MHDR_PREPARED) : (header->dwFlags & ~MHDR_PREPARED);
    }

    // Sends what is queued, lets the device go and ends the delivery thread.
    // False when that has not happened within `limit` (a send that does not
    // return); it may be called again.
    bool Close(std::chrono::milliseconds limit)
    {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            stopping_ = true;
            wake_.notify_one();
            if (!finishedChanged_.wait_for(lock, limit, [this] { return finished_; }))
                return false;
        }
        if (worker_.joinable())
            worker_.join();
        return true;
    }

private:
    struct Item {
        std::uint32_t shortMessage;
        MIDIHDR *header; // null for a short message
    };

    // Nothing queued or under way on the delivery thread, so a send now
    // keeps the order. Mutex held.
    bool CanSendNow() const
    {
        return items_.empty() && !sending_ && !stopping_ && !pacing_->load(std::memory_order_acquire) &&
               !(sink_ && sink_->MayBlock());
    }

    MMRESULT Transmit(const std::uint8_t *bytes, std::size_t count, bool isLong)
    {
        return sink_ ? sink_->Transmit(bytes, count, isLong) : MMSYSERR_NOERROR;
    }

    void Run()
    {
        const DriverThread running;
        std::vector<std::uint8_t> bytes;
        while (TakeNext(bytes)) {
        }
        // Letting the device go may wait on the driver too, so it happens
        // here, within the time that Close waits.
        sink_.reset();
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        finishedChanged_.notify_all();
    }

    // Hands over the next done notice, or else sends the next queued
    // message; false once stopping with neither left. Notices go first: every
    // one of them is for a message sent before anything still queued.
    bool TakeNext(std::vector<std::uint8_t> &bytes)
    {
        Item item;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !items_.empty() || !notices_.empty(); });
            if (!notices_.empty()) {
                MIDIHDR *header = notices_.front();
                notices_.pop_front();
                header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
                lock.unlock();
                if (callback_)
                    callback_(handle_, MOM_DONE, instance_, reinterpret_cast<std::uintptr_t>(header), 0);
                return true;
            }
            if (items_.empty())
                return false;
            item = items_.front();
            items_.pop_front();
            sending_ = true;
            if (item.header)
                bytes.assign(item.header->lpData, item.header->lpData + item.header->dwBufferLength);
        }
        if (!item.header) {
            const std::uint32_t m = item.shortMessage;
            const std::uint8_t raw[3] = {std::uint8_t(m), std::uint8_t(m >> 8), std::uint8_t(m >> 16)};
            bytes.assign(raw, raw + ShortMessageLength(raw[0]));
        }
        if (pacing_->load(std::memory_order_acquire))
            std::this_thread::sleep_for(kWireByteTime * bytes.size());
        const MMRESULT sent = Transmit(bytes.data(), bytes.size(), item.header != nullptr);
        std::lock_guard<std::mutex> lock(mutex_);
        sending_ = false;
        if (sendFailure_ == MMSYSERR_NOERROR)
            sendFailure_ = sent;
        if (item.header) // lost or not, the header goes back
            notices_.push_back(item.header);
        return true;
    }

    const HMIDIOUT handle_;
    const std::uint32_t deviceId_;
    const MidiCallback callback_;
    const std::uintptr_t instance_;
    std::unique_ptr<OutputSink> sink_; // released by the delivery thread as it ends
    const std::shared_ptr<const std::atomic<bool>> pacing_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finishedChanged_;
    std::deque<Item> items_;        // waiting to be sent
    std::deque<MIDIHDR *> notices_; // sent, waiting for their MOM_DONE
    bool sending_ = false;          // the delivery thread has a message in hand
    MMRESULT sendFailure_ = MMSYSERR_NOERROR; // the first since the last call took it
    bool stopping_ = false;
    bool finished_ = false;
    std::thread worker_;
};

// ---------------------------------------------------------------- service

BasicMidiService::BasicMidiService() = default;

BasicMidiService::~BasicMidiService() { CloseAll(); }

void BasicMidiService::CloseAll()
{
    std::map<std::uintptr_t, InputRecord> inputs;
    std::map<std::uintptr_t, std::shared_ptr<OutputEndpoint>> outputs;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        inputs.swap(inputs_);
        outputs.swap(outputs_);
    }
    for (auto &entry : inputs) {
        entry.second.endpoint->Close();
        entry.second.link.reset();
    }
    // One whose driver does not let go in time is left to its delivery
    // thread, which ends it whenever the driver returns.
    for (auto &entry : outputs)
        entry.second->Close(driverWaitLimit_);
}

void BasicMidiService::InjectFault(MidiCall call, MMRESULT code, unsigned times, unsigned skip)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[call] = Fault{skip, times, code};
}

void BasicMidiService::ClearFaults()
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

MMRESULT BasicMidiService::TakeFault(MidiCall call)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = faults_.find(call);
    if (it == faults_.end() || it->second.times == 0)
        return MMSYSERR_NOERROR;
    if (it->second.skip > 0) {
        --it->second.skip;
        return MMSYSERR_NOERROR;
    }
    --it->second.times;
    return it->second.code;
}

std::shared_ptr<InputEndpoint> BasicMidiService::Find(HMIDIIN handle)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = inputs_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == inputs_.end() ? nullptr : it->second.endpoint;
}

std::shared_ptr<BasicMidiService::OutputEndpoint> BasicMidiService::Find(HMIDIOUT handle)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = outputs_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == outputs_.end() ? nullptr : it->second;
}

MMRESULT BasicMidiService::CheckHeader(const MIDIHDR *header, std::uint32_t size) const
{
    if (!header || size < sizeof(MIDIHDR) || !header->lpData || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

template <typename Handle, typename Action>
MMRESULT BasicMidiService::OnPort(MidiCall call, Handle handle, Action &&action)
{
    if (const MMRESULT fault = TakeFault(call))
        return fault;
    const auto endpoint = Find(handle);
    if (!endpoint)
        return MMSYSERR_INVALHANDLE;
    return action(*endpoint);
}

template <typename Handle, typename Action>
MMRESULT BasicMidiService::OnHeader(MidiCall call, Handle handle, const MIDIHDR *header, std::uint32_t size,
                                    Action &&action)
{
    return OnPort(call, handle, [&](auto &endpoint) -> MMRESULT {
        if (const MMRESULT bad = CheckHeader(header, size))
            return bad;
        return action(endpoint);
    });
}

std::uint32_t BasicMidiService::midiInGetNumDevs() { return InputDeviceCount(); }

MMRESULT BasicMidiService::midiInGetDevCaps(std::uint32_t deviceId, MIDIINCAPS &caps)
{
    if (const MMRESULT fault = TakeFault(MidiCall::InCaps))
        return fault;
    if (deviceId >= InputDeviceCount())
        return MMSYSERR_BADDEVICEID;
    return InputCaps(deviceId, caps);
}

MMRESULT BasicMidiService::midiInOpen(HMIDIIN &handle, std::uint32_t deviceId, MidiCallback callback,
                                      std::uintptr_t instance, std::uint32_t flags)
{
    handle = nullptr;
    if (const MMRESULT fault = TakeFault(MidiCall::InOpen))
        return fault;
    if (flags != CALLBACK_FUNCTION && flags != 0)
        return MMSYSERR_INVALFLAG;
    if (deviceId >= InputDeviceCount())
        return MMSYSERR_BADDEVICEID;
    std::uintptr_t id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id = nextHandle_++;
    }
    auto endpoint = std::make_shared<InputEndpoint>(reinterpret_cast<HMIDIIN>(id), callback, instance, droppedShort_);
    std::unique_ptr<InputLink> link;
    if (const MMRESULT result = ConnectInput(deviceId, endpoint, link))
        return result;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        inputs_[id] = InputRecord{endpoint, std::move(link)};
    }
    handle = reinterpret_cast<HMIDIIN>(id);
    return MMSYSERR_NOERROR;
}

MMRESULT BasicMidiService::midiInPrepareHeader(HMIDIIN handle, MIDIHDR *header, std::uint32_t size)
{
    return OnHeader(MidiCall::InPrepare, handle, header, size, [&](InputEndpoint &) {
        header->dwFlags |= MHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT BasicMidiService::midiInUnprepareHeader(HMIDIIN handle, MIDIHDR *header, std::uint32_t size)
{
    return OnHeader(MidiCall::InUnprepare, handle, header, size, [&](InputEndpoint &endpoint) {
        if (endpoint.IsQueued(header))
            return MIDIERR_STILLPLAYING;
        header->dwFlags &= ~MHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT BasicMidiService::midiInAddBuffer(HMIDIIN handle, MIDIHDR *header, std::uint32_t size)
{
    return OnHeader(MidiCall::InAddBuffer, handle, header, size, [&](InputEndpoint &endpoint) {
        if (!(header->dwFlags & MHDR_PREPARED))
            return MIDIERR_UNPREPARED;
        return endpoint.AddBuffer(header);
    });
}

MMRESULT BasicMidiService::midiInStart(HMIDIIN handle)
{
    return OnPort(MidiCall::InStart, handle, [](InputEndpoint &endpoint) {
        endpoint.Start();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT BasicMidiService::midiInStop(HMIDIIN handle)
{
    return OnPort(MidiCall::InStop, handle, [](InputEndpoint &endpoint) {
        endpoint.Stop();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT BasicMidiService::midiInReset(HMIDIIN handle)
{
    return OnPort(MidiCall::InReset, handle, [](InputEndpoint &endpoint) {
        endpoint.Reset();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT BasicMidiService::midiInClose(HMIDIIN handle)
{
    return OnPort(MidiCall::InClose, handle, [&](InputEndpoint &endpoint) {
        if (endpoint.HasQueuedBuffers())
            return MIDIERR_STILLPLAYING;
        endpoint.Close(); // no callback runs after this
        InputRecord record;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto it = inputs_.find(reinterpret_cast<std::uintptr_t>(handle));
            record = std::move(it->second);
            inputs_.erase(it);
        }
        record.link.reset(); // outside our lock: a driver thread may be waiting on the endpoint
        return MMSYSERR_NOERROR;
    });
}

MMRESULT BasicMidiService::midiInGetErrorText(MMRESULT code, char *text, std::uint32_t size)
{
    return CopyMidiResultText(code, text, size);
}

std::uint32_t BasicMidiService::midiOutGetNumDevs() { return OutputDeviceCount(); }

MMRESULT BasicMidiService::midiOutGetDevCaps(std::uint32_t deviceId, MIDIOUTCAPS &caps)
{
    if (const MMRESULT fault = TakeFault(MidiCall::OutCaps))
        return fault;
    if (deviceId == MIDI_MAPPER) { // listed even without devices; opening it then fails
        caps = MIDIOUTCAPS{};
        caps.szPname = "MIDI Mapper";
        caps.wTechnology = MOD_MAPPER;
        caps.wChannelMask = 0xFFFF;
        caps.vDriverVersion = 0x0100;
        return MMSYSERR_NOERROR;
    }
    if (deviceId >= OutputDeviceCount())
        return MMSYSERR_BADDEVICEID;
    return OutputCaps(deviceId, caps);
}

MMRESULT BasicMidiService::midiOutOpen(HMIDIOUT &handle, std::uint32_t deviceId, MidiCallback callback,
                                       std::uintptr_t instance, std::uint32_t flags)
{
    handle = nullptr;
    if (const MMRESULT fault = TakeFault(MidiCall::OutOpen))
        return fault;
    if (flags != CALLBACK_FUNCTION && flags != 0)
        return MMSYSERR_INVALFLAG;
    const std::uint32_t count = OutputDeviceCount();
    if (deviceId == MIDI_MAPPER) {
        if (count == 0)
            return MIDIERR_NODEVICE;
        deviceId = 0; // the mapper plays on the first device
    } else if (deviceId >= count) {
        return MMSYSERR_BADDEVICEID;
    }
    std::unique_ptr<OutputSink> sink;
    if (const MMRESULT result = ConnectOutput(deviceId, sink))
        return result;
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uintptr_t id = nextHandle_++;
    auto endpoint = std::make_shared<OutputEndpoint>(reinterpret_cast<HMIDIOUT>(id), deviceId, callback, instance,
                                                     std::move(sink), pacing_);
    endpoint->Start();
    outputs_[id] = std::move(endpoint);
    handle = reinterpret_cast<HMIDIOUT>(id);
    return MMSYSERR_NOERROR;
}

MMRESULT BasicMidiService::midiOutShortMsg(HMIDIOUT handle, std::uint32_t message)
{
    return OnPort(MidiCall::OutShort, handle, [&](OutputEndpoint &endpoint) {
        if ((message & 0x80) == 0)
            return MIDIERR_BADOPENMODE; // no status byte
        if (!endpoint.Present())
            return MIDIERR_NODEVICE;
        if (const MMRESULT failed = endpoint.TakeSendFailure())
            return failed;
        return endpoint.SendShort(message);
    });
}

MMRESULT BasicMidiService::midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR *header, std::uint32_t size)
{
    return OnHeader(MidiCall::OutPrepare, handle, header, size, [&](OutputEndpoint &endpoint) {
        endpoint.SetPrepared(header, true);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT BasicMidiService::midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR *header, std::uint32_t size)
{
    return OnHeader(MidiCall::OutUnprepare, handle, header, size, [&](OutputEndpoint &endpoint) {
        if (endpoint.InQueue(header))
            return MIDIERR_STILLPLAYING;
        endpoint.SetPrepared(header, false);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT BasicMidiService::midiOutLongMsg(HMIDIOUT handle, MIDIHDR *header, std::uint32_t size)
{
    return OnHeader(MidiCall::OutLong, handle, header, size, [&](OutputEndpoint &endpoint) {
        if (!(header->dwFlags & MHDR_PREPARED))
            return MIDIERR_UNPREPARED;
        if (!endpoint.Present())
            return MIDIERR_NODEVICE;
        if (const MMRESULT failed = endpoint.TakeSendFailure())
            return failed;
        return endpoint.SendLong(header);
    });
}

MMRESULT BasicMidiService::midiOutClose(HMIDIOUT handle)
{
    if (const MMRESULT fault = TakeFault(MidiCall::OutClose))
        return fault;
    std::shared_ptr<OutputEndpoint> endpoint = Find(handle);
    if (!endpoint)
        return MMSYSERR_INVALHANDLE;
    // A driver that does not let go in time keeps the handle open for another
    // try rather than hang the caller.
    if (!endpoint->Close(driverWaitLimit_))
        return MIDIERR_NOTREADY;
    // No callback runs after this.
    std::lock_guard<std::mutex> lock(mutex_);
    outputs_.erase(reinterpret_cast<std::uintptr_t>(handle));
    return MMSYSERR_NOERROR;
}

MMRESULT BasicMidiService::midiOutGetErrorText(MMRESULT code, char *text, std::uint32_t size)
{
    return CopyMidiResultText(code, text, size);
}

MMRESULT BasicMidiService::midiOutGetVolume(std::uint32_t deviceId, std::uint32_t &volume)
{
    MIDIOUTCAPS caps;
    if (const MMRESULT result = midiOutGetDevCaps(deviceId, caps))
        return result;
    if (!(caps.dwSupport & MIDICAPS_VOLUME))
        return MMSYSERR_NOTSUPPORTED;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = volumes_.find(deviceId);
    volume = it == volumes_.end() ? 0xFFFFFFFFu : it->second;
    return MMSYSERR_NOERROR;
}

MMRESULT BasicMidiService::midiOutSetVolume(std::uint32_t deviceId, std::uint32_t volume)
{
    MIDIOUTCAPS caps;
    if (const MMRESULT result = midiOutGetDevCaps(deviceId, caps))
        return result;
    if (!(caps.dwSupport & MIDICAPS_VOLUME))
        return MMSYSERR_NOTSUPPORTED;
    std::lock_guard<std::mutex> lock(mutex_);
    volumes_[deviceId] = volume;
    return MMSYSERR_NOERROR;
}

MMRESULT BasicMidiService::midiOutMessage(std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t)
{
    return MMSYSERR_NOTSUPPORTED;
}

MMRESULT BasicMidiService::midiOutCachePatches(HMIDIOUT handle, std::uint32_t, std::uint16_t *patches,
                                               std::uint32_t)
{
    const auto endpoint = Find(handle);
    if (!endpoint)
        return MMSYSERR_INVALHANDLE;
    if (!patches)
        return MMSYSERR_INVALPARAM;
    MIDIOUTCAPS caps;
    if (const MMRESULT result = OutputCaps(endpoint->DeviceId(), caps))
        return result;
    return (caps.dwSupport & MIDICAPS_CACHE) ? MMSYSERR_NOERROR : MMSYSERR_NOTSUPPORTED;
}

MMRESULT BasicMidiService::midiOutCacheDrumPatches(HMIDIOUT handle, std::uint32_t, std::uint16_t *keys,
                                                   std::uint32_t flags)
{
    return midiOutCachePatches(handle, 0, keys, flags);
}

} // namespace platform
