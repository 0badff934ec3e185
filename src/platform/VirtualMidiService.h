#pragma once
// In-process MIDI devices for tests and simulators. A device, created by
// name, appears as an input device, an output device, or both, numbered in
// order of creation within each direction. Opening is exclusive per device
// and direction (a second open answers MMSYSERR_ALLOCATED).
//
// Threads: CreateDevice, Unplug, Plug, the MidiService calls and fault injection are for the
// UI thread. VirtualMidiDevice::Inject* may be called from any thread; bytes
// reach the open input port exactly as a driver delivers them (nothing if no
// port has the device open and started). A device's receiver runs on the
// thread that sends (the caller of the message call, or the output's delivery
// thread for a message that waited), one message at a time in sending order;
// it must not call back into the service or wait for the sending thread. A
// device may outlive its service; its injections then go nowhere. The sent
// log may be read from any thread.

#include "platform/BasicMidiService.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

struct SentMessage {
    std::string device;
    std::chrono::steady_clock::time_point time; // when it left for the device
    std::vector<std::uint8_t> bytes;
    bool isLong = false;
};

struct VirtualDeviceInfo {
    std::string name;
    bool isInput = true;
    bool isOutput = true;
    std::uint16_t manufacturerId = 0;
    std::uint16_t productId = 0;
    std::uint32_t driverVersion = 0x0100;
    std::uint16_t technology = MOD_MIDIPORT;
    std::uint16_t voices = 0;
    std::uint16_t notes = 0;
    std::uint16_t channelMask = 0xFFFF;
    std::uint32_t support = 0;
};

class VirtualMidiService;

class VirtualMidiDevice {
public:
    using Receiver = std::function<void(const SentMessage &)>;

    const VirtualDeviceInfo &Info() const { return info_; }
    const std::string &Name() const { return info_.name; }

    void InjectShort(std::uint8_t status, std::uint8_t data1 = 0, std::uint8_t data2 = 0);
    void InjectSysex(const std::uint8_t *bytes, std::size_t count);
    void InjectSysex(const std::vector<std::uint8_t> &bytes) { InjectSysex(bytes.data(), bytes.size()); }
    // Returns the first queued buffer as it is (possibly empty).
    void InjectBufferFlush();

    void SetReceiver(Receiver receiver);
    // While on, a message sent to the device does not leave its send (a
    // driver whose server has stalled); the send goes on once this is off.
    // Sends made while it is on wait on the delivery thread, not the caller's.
    // The service turns it off before it closes its ports at the end.
    void SetSendsBlocked(bool blocked);
    bool IsInputOpen() const;
    bool IsOutputOpen() const;
    // False while unplugged (see VirtualMidiService::Unplug).
    bool IsPlugged() const;

private:
    friend class VirtualMidiService;
    VirtualMidiDevice(VirtualDeviceInfo info, VirtualMidiService &service,
                      std::shared_ptr<const std::atomic<bool>> pacing);
    void Pace(std::size_t bytes);
    void WaitWhileSendsBlocked();
    void Receive(const SentMessage &message);

    const VirtualDeviceInfo info_;
    VirtualMidiService &service_; // used only while an output is open
    const std::shared_ptr<const std::atomic<bool>> pacing_;
    mutable std::mutex mutex_;
    std::weak_ptr<InputEndpoint> input_;
    bool outputOpen_ = false;
    bool sendsBlocked_ = false;
    std::condition_variable sendsUnblocked_;
    bool plugged_ = true;
    unsigned outputGeneration_ = 0; // an unplug ends the open output's sink
    Receiver receiver_;
    std::mutex wireMutex_; // serialises paced injections, like one cable
    std::chrono::steady_clock::time_point wireFree_;
};

class VirtualMidiService : public BasicMidiService {
public:
    VirtualMidiService();
    ~VirtualMidiService() override;

    std::shared_ptr<VirtualMidiDevice> CreateDevice(const std::string &name, bool asInput = true,
                                                    bool asOutput = true);
    std::shared_ptr<VirtualMidiDevice> CreateDevice(const VirtualDeviceInfo &info);
    std::shared_ptr<VirtualMidiDevice> FindDevice(const std::string &name) const;

    // The device leaves the lists, as a cable pulled out: the devices after
    // it move up a number, an open input receives nothing more, and sends to
    // an open output fail with MIDIERR_NODEVICE. Its ports stay to be closed.
    void Unplug(const std::shared_ptr<VirtualMidiDevice> &device);
    // The device comes back at the end of its lists, free to be opened.
    void Plug(const std::shared_ptr<VirtualMidiDevice> &device);

    // Every message sent to any device, in order.
    std::vector<SentMessage> SentMessages() const;
    void ClearSentMessages();
    // True once at least `count` messages have been sent.
    bool WaitForSent(std::size_t count, std::chrono::milliseconds timeout) const;

protected:
    std::uint32_t InputDeviceCount() override;
    MMRESULT InputCaps(std::uint32_t deviceId, MIDIINCAPS &caps) override;
    MMRESULT ConnectInput(std::uint32_t deviceId, const std::shared_ptr<InputEndpoint> &endpoint,
                          std::unique_ptr<InputLink> &link) override;
    std::uint32_t OutputDeviceCount() override;
    MMRESULT OutputCaps(std::uint32_t deviceId, MIDIOUTCAPS &caps) override;
    MMRESULT ConnectOutput(std::uint32_t deviceId, std::unique_ptr<OutputSink> &sink) override;

private:
    friend class VirtualMidiDevice;
    void Record(const SentMessage &message);

    mutable std::mutex devicesMutex_;
    std::vector<std::shared_ptr<VirtualMidiDevice>> inputs_;
    std::vector<std::shared_ptr<VirtualMidiDevice>> outputs_;
    mutable std::mutex sentMutex_;
    mutable std::condition_variable sentChanged_;
    std::vector<SentMessage> sent_;
};

} // namespace platform
