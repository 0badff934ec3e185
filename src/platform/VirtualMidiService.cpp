#include "platform/VirtualMidiService.h"

#include <algorithm>
#include <thread>

namespace platform {

namespace {
class VirtualInputLink : public InputLink {
public:
    explicit VirtualInputLink(std::shared_ptr<VirtualMidiDevice> device, std::function<void()> detach)
        : device_(std::move(device)), detach_(std::move(detach))
    {
    }
    ~VirtualInputLink() override { detach_(); }

private:
    std::shared_ptr<VirtualMidiDevice> device_;
    std::function<void()> detach_;
};

class VirtualOutputSink : public OutputSink {
public:
    VirtualOutputSink(std::function<void(const std::uint8_t *, std::size_t, bool)> transmit,
                      std::function<bool()> blocked, std::function<void()> detach)
        : transmit_(std::move(transmit)), blocked_(std::move(blocked)), detach_(std::move(detach))
    {
    }
    ~VirtualOutputSink() override { detach_(); }
    bool Present() override { return !present_ || present_(); }
    void SetPresent(std::function<bool()> present) { present_ = std::move(present); }
    MMRESULT Transmit(const std::uint8_t *bytes, std::size_t count, bool isLong) override
    {
        transmit_(bytes, count, isLong);
        return MMSYSERR_NOERROR;
    }
    bool MayBlock() override { return blocked_(); }

private:
    std::function<void(const std::uint8_t *, std::size_t, bool)> transmit_;
    std::function<bool()> blocked_;
    std::function<void()> detach_;
    std::function<bool()> present_;
};
} // namespace

// ---------------------------------------------------------------- device

VirtualMidiDevice::VirtualMidiDevice(VirtualDeviceInfo info, VirtualMidiService &service,
                                     std::shared_ptr<const std::atomic<bool>> pacing)
    : info_(std::move(info)), service_(service), pacing_(std::move(pacing))
{
}

void VirtualMidiDevice::Pace(std::size_t bytes)
{
    if (!pacing_->load(std::memory_order_acquire))
        return;
    std::lock_guard<std::mutex> wire(wireMutex_);
    const auto now = std::chrono::steady_clock::now();
    wireFree_ = std::max(wireFree_, now) + kWireByteTime * bytes;
    std::this_thread::sleep_until(wireFree_);
}

void VirtualMidiDevice::InjectShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    Pace(ShortMessageLength(status));
    std::shared_ptr<InputEndpoint> endpoint;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        endpoint = input_.lock();
    }
    if (endpoint)
        endpoint->DeliverShort(std::uint32_t(status) | (std::uint32_t(data1) << 8) | (std::uint32_t(data2) << 16));
}

void VirtualMidiDevice::InjectSysex(const std::uint8_t *bytes, std::size_t count)
{
    Pace(count);
    std::shared_ptr<InputEndpoint> endpoint;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        endpoint = input_.lock();
    }
    if (endpoint)
        endpoint->DeliverSysex(bytes, count);
}

void VirtualMidiDevice::InjectBufferFlush()
{
    std::shared_ptr<InputEndpoint> endpoint;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        endpoint = input_.lock();
    }
    if (endpoint)
        endpoint->FlushBuffer();
}

void VirtualMidiDevice::SetSendsBlocked(bool blocked)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sendsBlocked_ = blocked;
    if (!blocked)
        sendsUnblocked_.notify_all();
}

void VirtualMidiDevice::WaitWhileSendsBlocked()
{
    std::unique_lock<std::mutex> lock(mutex_);
    sendsUnblocked_.wait(lock, [this] { return !sendsBlocked_; });
}

void VirtualMidiDevice::SetReceiver(Receiver receiver)
{
    std::lock_guard<std::mutex> lock(mutex_);
    receiver_ = std::move(receiver);
}

bool VirtualMidiDevice::IsInputOpen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return !input_.expired();
}

bool VirtualMidiDevice::IsOutputOpen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return outputOpen_;
}

bool VirtualMidiDevice::IsPlugged() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return plugged_;
}

void VirtualMidiDevice::Receive(const SentMessage &message)
{
    service_.Record(message);
    Receiver receiver;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        receiver = receiver_;
    }
    if (receiver)
        receiver(message);
}

// ---------------------------------------------------------------- service

VirtualMidiService::VirtualMidiService() = default;

VirtualMidiService::~VirtualMidiService()
{
    {
        std::lock_guard<std::mutex> lock(devicesMutex_);
        for (const auto &device : outputs_)
            device->SetSendsBlocked(false);
    }
    CloseAll();
}

std::shared_ptr<VirtualMidiDevice> VirtualMidiService::CreateDevice(const std::string &name, bool asInput,
                                                                    bool asOutput)
{
    VirtualDeviceInfo info;
    info.name = name;
    info.isInput = asInput;
    info.isOutput = asOutput;
    return CreateDevice(info);
}

std::shared_ptr<VirtualMidiDevice> VirtualMidiService::CreateDevice(const VirtualDeviceInfo &info)
{
    std::shared_ptr<VirtualMidiDevice> device(new VirtualMidiDevice(info, *this, pacing_));
    std::lock_guard<std::mutex> lock(devicesMutex_);
    if (info.isInput)
        inputs_.push_back(device);
    if (info.isOutput)
        outputs_.push_back(device);
    return device;
}

std::shared_ptr<VirtualMidiDevice> VirtualMidiService::FindDevice(const std::string &name) const
{
    std::lock_guard<std::mutex> lock(devicesMutex_);
    for (const auto *list : {&inputs_, &outputs_})
        for (const auto &device : *list)
            if (device->Name() == name)
                return device;
    return nullptr;
}

void VirtualMidiService::Unplug(const std::shared_ptr<VirtualMidiDevice> &device)
{
    {
        std::lock_guard<std::mutex> lock(devicesMutex_);
        for (auto *list : {&inputs_, &outputs_})
            list->erase(std::remove(list->begin(), list->end(), device), list->end());
    }
    std::lock_guard<std::mutex> lock(device->mutex_);
    device->plugged_ = false;
    device->input_.reset();
    device->outputOpen_ = false;
    ++device->outputGeneration_;
}

void VirtualMidiService::Plug(const std::shared_ptr<VirtualMidiDevice> &device)
{
    {
        std::lock_guard<std::mutex> lock(device->mutex_);
        if (device->plugged_)
            return;
        device->plugged_ = true;
    }
    std::lock_guard<std::mutex> lock(devicesMutex_);
    if (device->Info().isInput)
        inputs_.push_back(device);
    if (device->Info().isOutput)
        outputs_.push_back(device);
}

std::vector<SentMessage> VirtualMidiService::SentMessages() const
{
    std::lock_guard<std::mutex> lock(sentMutex_);
    return sent_;
}

void VirtualMidiService::ClearSentMessages()
{
    std::lock_guard<std::mutex> lock(sentMutex_);
    sent_.clear();
}

bool VirtualMidiService::WaitForSent(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(sentMutex_);
    return sentChanged_.wait_for(lock, timeout, [&] { return sent_.size() >= count; });
}

void VirtualMidiService::Record(const SentMessage &message)
{
    std::lock_guard<std::mutex> lock(sentMutex_);
    sent_.push_back(message);
    sentChanged_.notify_all();
}

std::uint32_t VirtualMidiService::InputDeviceCount()
{
    std::lock_guard<std::mutex> lock(devicesMutex_);
    return static_cast<std::uint32_t>(inputs_.size());
}

MMRESULT VirtualMidiService::InputCaps(std::uint32_t deviceId, MIDIINCAPS &caps)
{
    std::lock_guard<std::mutex> lock(devicesMutex_);
    if (deviceId >= inputs_.size())
        return MMSYSERR_BADDEVICEID;
    const VirtualDeviceInfo &info = inputs_[deviceId]->Info();
    caps = MIDIINCAPS{info.manufacturerId, info.productId, info.driverVersion, info.name, 0};
    return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiService::ConnectInput(std::uint32_t deviceId, const std::shared_ptr<InputEndpoint> &endpoint,
                                          std::unique_ptr<InputLink> &link)
{
    std::shared_ptr<VirtualMidiDevice> device;
    {
        std::lock_guard<std::mutex> lock(devicesMutex_);
        if (deviceId >= inputs_.size())
            return MMSYSERR_BADDEVICEID;
        device = inputs_[deviceId];
    }
    std::lock_guard<std::mutex> lock(device->mutex_);
    if (!device->input_.expired())
        return MMSYSERR_ALLOCATED;
    device->input_ = endpoint;
    VirtualMidiDevice *raw = device.get();
    const InputEndpoint *own = endpoint.get();
    link = std::make_unique<VirtualInputLink>(device, [raw, own] {
        std::lock_guard<std::mutex> lock(raw->mutex_);
        if (raw->input_.lock().get() == own) // not a later open after an unplug
            raw->input_.reset();
    });
    return MMSYSERR_NOERROR;
}

std::uint32_t VirtualMidiService::OutputDeviceCount()
{
    std::lock_guard<std::mutex> lock(devicesMutex_);
    return static_cast<std::uint32_t>(outputs_.size());
}

MMRESULT VirtualMidiService::OutputCaps(std::uint32_t deviceId, MIDIOUTCAPS &caps)
{
    std::lock_guard<std::mutex> lock(devicesMutex_);
    if (deviceId >= outputs_.size())
        return MMSYSERR_BADDEVICEID;
    const VirtualDeviceInfo &i = outputs_[deviceId]->Info();
    caps = MIDIOUTCAPS{i.manufacturerId, i.productId, i.driverVersion, i.name, i.technology,
                       i.voices,         i.notes,     i.channelMask,   i.support};
    return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiService::ConnectOutput(std::uint32_t deviceId, std::unique_ptr<OutputSink> &sink)
{
    std::shared_ptr<VirtualMidiDevice> device;
    {
        std::lock_guard<std::mutex> lock(devicesMutex_);
        if (deviceId >= outputs_.size())
            return MMSYSERR_BADDEVICEID;
        device = outputs_[deviceId];
    }
    unsigned generation = 0;
    {
        std::lock_guard<std::mutex> lock(device->mutex_);
        if (device->outputOpen_)
            return MMSYSERR_ALLOCATED;
        device->outputOpen_ = true;
        generation = device->outputGeneration_;
    }
    auto current = [device, generation] {
        std::lock_guard<std::mutex> lock(device->mutex_);
        return device->outputGeneration_ == generation;
    };
    auto virtualSink = std::make_unique<VirtualOutputSink>(
        [device, current](const std::uint8_t *bytes, std::size_t count, bool isLong) {
            device->WaitWhileSendsBlocked();
            if (!current())
                return; // pulled out while the message was queued: lost, as on a cable
            device->Receive(SentMessage{device->Name(), std::chrono::steady_clock::now(),
                                        std::vector<std::uint8_t>(bytes, bytes + count), isLong});
        },
        [device, generation] {
            std::lock_guard<std::mutex> lock(device->mutex_);
            return device->sendsBlocked_;
        },
        [device, generation] {
            std::lock_guard<std::mutex> lock(device->mutex_);
            if (device->outputGeneration_ == generation)
                device->outputOpen_ = false;
        });
    virtualSink->SetPresent(current);
    sink = std::move(virtualSink);
    return MMSYSERR_NOERROR;
}

} // namespace platform
