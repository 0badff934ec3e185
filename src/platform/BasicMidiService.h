#pragma once
// What both backends share: handles, header bookkeeping, the buffer semantics
// of input (sysex filling queued buffers in order, reset handing them back),
// ordered output with asynchronous done notices, the mapper, fault injection
// and wire-rate pacing. A backend supplies only its devices.
//
// Threads: the MidiService calls, InjectFault/ClearFaults, SetWirePacing and
// SetDriverWaitLimit are for the UI thread. InputEndpoint::Deliver* may be
// called from any thread (calls on one endpoint are serialised by its lock).
// Each open output runs one delivery thread: the MOM_DONE callback and the
// sink's destruction run there. OutputSink::Transmit runs on the thread of
// the message call when nothing waits before the message (the common case:
// no thread to wake on the way out), else on the delivery thread; never on
// both at once. DroppedShortMessages may be read from any thread.

#include "platform/MidiService.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace platform {

// The calls a fault can be injected into.
enum class MidiCall {
    InCaps, InOpen, InPrepare, InAddBuffer, InStart, InStop, InReset, InUnprepare, InClose,
    OutCaps, OutOpen, OutPrepare, OutUnprepare, OutClose, OutShort, OutLong,
};

// Bytes on the wire for a short message with this status (running status is
// not used by the service).
std::size_t ShortMessageLength(std::uint8_t status) noexcept;
// One MIDI byte at 31250 baud (10 bits).
constexpr std::chrono::microseconds kWireByteTime{320};
// How long closing an output waits for its driver to send what is queued and
// let the device go. A driver stuck longer (a stalled JACK server) leaves the
// port open, and the close fails with MIDIERR_NOTREADY, instead of hanging
// the UI thread.
constexpr std::chrono::milliseconds kDriverWaitLimit{3000};

// One open input device.
class InputEndpoint {
public:
    // `dropped`, if given, counts the short messages refused as malformed.
    InputEndpoint(HMIDIIN handle, MidiCallback callback, std::uintptr_t instance,
                  std::shared_ptr<std::atomic<std::uint64_t>> dropped = nullptr);

    // Driver side, any thread. Dropped unless started. Status in bits 0-7.
    // Only what a driver hands over as MIM_DATA passes: a status byte (not F0
    // or F7) with data bytes below 0x80; bytes past the message's length are
    // cleared. Anything else is dropped and counted.
    void DeliverShort(std::uint32_t packed);
    // The same for a message as the wire brings it, status first; one with
    // more or fewer bytes than its status takes is dropped and counted.
    void DeliverShort(const std::uint8_t *bytes, std::size_t count);
    // Bytes of sysex data as the wire brings them: they fill the queued
    // buffers in order; a buffer goes back when full or at F7; a message that
    // finds no buffer is lost from there to its F7. Real-time bytes inside
    // are delivered as short messages.
    void DeliverSysex(const std::uint8_t *bytes, std::size_t count);
    // Hands back the first queued buffer with what it holds so far (maybe
    // nothing), as a driver flushing a partial buffer does.
    void FlushBuffer();

    // Service side (UI thread).
    MMRESULT AddBuffer(MIDIHDR *header);
    bool IsQueued(const MIDIHDR *header);
    bool HasQueuedBuffers();
    void Start();
    void Stop();
    void Reset();
    void Close();

private:
    std::uint32_t Now() const;
    void ReturnFront(std::uint32_t code); // mutex held
    void Call(std::uint32_t msg, std::uintptr_t p1, std::uintptr_t p2) const;
    void DeliverShortChecked(std::uint32_t packed, bool wellFormed);

    const HMIDIIN handle_;
    const MidiCallback callback_;
    const std::uintptr_t instance_;
    const std::shared_ptr<std::atomic<std::uint64_t>> dropped_;
    std::mutex mutex_; // the driver's lock; the callback runs under it
    bool started_ = false;
    bool closed_ = false;
    bool dropping_ = false; // rest of a sysex that found no buffer
    std::chrono::steady_clock::time_point startTime_;
    std::deque<MIDIHDR *> queue_;
};

// Where an output device's bytes go. Transmit and MayBlock are called one at
// a time, on the thread of a message call or on the output's delivery thread.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    // The driver's result. A failed message is lost; the code fails the call
    // that sent it, or, sent from the queue, the next message call.
    virtual MMRESULT Transmit(const std::uint8_t *bytes, std::size_t count, bool isLong) = 0;
    // True when a send now might wait (a driver known to be stalled): the
    // message then goes through the delivery thread, keeping the caller free.
    virtual bool MayBlock() { return false; }
    // False once the device has gone away (its port closed under us); short
    // and long messages then fail with MIDIERR_NODEVICE. UI thread.
    virtual bool Present() { return true; }
};

// Keeps an input device connected to its endpoint; destroying it disconnects.
class InputLink {
public:
    virtual ~InputLink() = default;
};

class BasicMidiService : public MidiService {
public:
    BasicMidiService();
    ~BasicMidiService() override;

    // The next `skip` calls of `call` run normally, the `times` after them
    // return `code` without doing anything.
    void InjectFault(MidiCall call, MMRESULT code, unsigned times = 1, unsigned skip = 0);
    void ClearFaults();
    // Output is sent, and (in the virtual backend) input delivered, at
    // 320 microseconds a byte.
    void SetWirePacing(bool on) { pacing_->store(on, std::memory_order_release); }
    bool WirePacing() const { return pacing_->load(std::memory_order_acquire); }
    // How long midiOutClose waits for the driver; kDriverWaitLimit unless set.
    void SetDriverWaitLimit(std::chrono::milliseconds limit) { driverWaitLimit_ = limit; }
    std::chrono::milliseconds DriverWaitLimit() const { return driverWaitLimit_; }
    // Threads of any service still at work on a device (delivery threads,
    // and calls left to finish when the driver answers again). A process
    // should not end while a driver may still wake one of them.
    static unsigned DriverThreadsRunning();
    // Held by such a thread for as long as it runs.
    class DriverThread {
    public:
        DriverThread();
        ~DriverThread();
        DriverThread(const DriverThread &) = delete;
        DriverThread &operator=(const DriverThread &) = delete;
    };
    // Short input messages dropped as malformed, over every input so far.
    std::uint64_t DroppedShortMessages() const { return droppedShort_->load(std::memory_order_acquire); }

    std::uint32_t midiInGetNumDevs() override;
    MMRESULT midiInGetDevCaps(std::uint32_t deviceId, MIDIINCAPS &caps) override;
    MMRESULT midiInOpen(HMIDIIN &handle, std::uint32_t deviceId, MidiCallback callback,
                        std::uintptr_t instance, std::uint32_t flags) override;
    MMRESULT midiInPrepareHeader(HMIDIIN handle, MIDIHDR *header, std::uint32_t size) override;
    MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR *header, std::uint32_t size) override;
    MMRESULT midiInAddBuffer(HMIDIIN handle, MIDIHDR *header, std::uint32_t size) override;
    MMRESULT midiInStart(HMIDIIN handle) override;
    MMRESULT midiInStop(HMIDIIN handle) override;
    MMRESULT midiInReset(HMIDIIN handle) override;
    MMRESULT midiInClose(HMIDIIN handle) override;
    MMRESULT midiInGetErrorText(MMRESULT code, char *text, std::uint32_t size) override;

    std::uint32_t midiOutGetNumDevs() override;
    MMRESULT midiOutGetDevCaps(std::uint32_t deviceId, MIDIOUTCAPS &caps) override;
    MMRESULT midiOutOpen(HMIDIOUT &handle, std::uint32_t deviceId, MidiCallback callback,
                         std::uintptr_t instance, std::uint32_t flags) override;
    MMRESULT midiOutShortMsg(HMIDIOUT handle, std::uint32_t message) override;
    MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR *header, std::uint32_t size) override;
    MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR *header, std::uint32_t size) override;
    MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR *header, std::uint32_t size) override;
    MMRESULT midiOutClose(HMIDIOUT handle) override;
    MMRESULT midiOutGetErrorText(MMRESULT code, char *text, std::uint32_t size) override;
    MMRESULT midiOutGetVolume(std::uint32_t deviceId, std::uint32_t &volume) override;
    MMRESULT midiOutSetVolume(std::uint32_t deviceId, std::uint32_t volume) override;
    MMRESULT midiOutMessage(std::uint32_t deviceId, std::uint32_t msg, std::uintptr_t param1,
                            std::uintptr_t param2) override;
    MMRESULT midiOutCachePatches(HMIDIOUT handle, std::uint32_t bank, std::uint16_t *patches,
                                 std::uint32_t flags) override;
    MMRESULT midiOutCacheDrumPatches(HMIDIOUT handle, std::uint32_t patch, std::uint16_t *keys,
                                     std::uint32_t flags) override;

protected:
    // The backend's devices. Output ids here are real devices, never the mapper.
    virtual std::uint32_t InputDeviceCount() = 0;
    virtual MMRESULT InputCaps(std::uint32_t deviceId, MIDIINCAPS &caps) = 0;
    virtual MMRESULT ConnectInput(std::uint32_t deviceId, const std::shared_ptr<InputEndpoint> &endpoint,
                                  std::unique_ptr<InputLink> &link) = 0;
    virtual std::uint32_t OutputDeviceCount() = 0;
    virtual MMRESULT OutputCaps(std::uint32_t deviceId, MIDIOUTCAPS &caps) = 0;
    virtual MMRESULT ConnectOutput(std::uint32_t deviceId, std::unique_ptr<OutputSink> &sink) = 0;

    // Closes every handle still open; a backend's destructor calls it before
    // its devices go away.
    void CloseAll();

private:
    class OutputEndpoint;
    struct InputRecord {
        std::shared_ptr<InputEndpoint> endpoint;
        std::unique_ptr<InputLink> link;
    };
    struct Fault {
        unsigned skip = 0;
        unsigned times = 0;
        MMRESULT code = 0;
    };

    MMRESULT TakeFault(MidiCall call);
    std::shared_ptr<InputEndpoint> Find(HMIDIIN handle);
    std::shared_ptr<OutputEndpoint> Find(HMIDIOUT handle);
    MMRESULT CheckHeader(const MIDIHDR *header, std::uint32_t size) const;
    // A call on an open port: its injected fault first, then the handle, then
    // `action(endpoint)`. The header form checks the header before the action.
    template <typename Handle, typename Action>
    MMRESULT OnPort(MidiCall call, Handle handle, Action &&action);
    template <typename Handle, typename Action>
    MMRESULT OnHeader(MidiCall call, Handle handle, const MIDIHDR *header, std::uint32_t size,
                      Action &&action);

    std::mutex mutex_; // guards the maps and the fault table
    std::uintptr_t nextHandle_ = 1;
    std::map<std::uintptr_t, InputRecord> inputs_;
    std::map<std::uintptr_t, std::shared_ptr<OutputEndpoint>> outputs_;
    std::map<MidiCall, Fault> faults_;
    std::map<std::uint32_t, std::uint32_t> volumes_;
    std::chrono::milliseconds driverWaitLimit_ = kDriverWaitLimit;
    // Shared with the endpoints, which a driver thread may still hold.
    const std::shared_ptr<std::atomic<std::uint64_t>> droppedShort_ =
        std::make_shared<std::atomic<std::uint64_t>>(0);

protected:
    // Shared with devices that may outlive the service.
    const std::shared_ptr<std::atomic<bool>> pacing_ = std::make_shared<std::atomic<bool>>(false);
};

} // namespace platform
