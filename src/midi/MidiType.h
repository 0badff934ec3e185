#pragma once
// Vocabulary shared by the two port classes: the received event, the owner of
// one long-message header, the driver-visible memory blocks, the enumerations
// and sets of the ports' properties, and MidiMessageToStr.
//
// Threads: everything here may be used from any thread, but a given object
// (event, header owner, port) belongs to one thread at a time; the ports
// themselves are UI-thread objects (see MidiIn.h, MidiOut.h).

#include "midi/Mididefs.h"
#include "platform/FixedBlock.h"
#include "platform/MidiService.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <utility>

// A small set over an enumeration or integer range: bit n = value n.
template <typename T, typename Bits>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<T> values)
    {
        for (const T v : values)
            bits_ = Bits(bits_ | Bit(v));
    }
    static constexpr TSet FromBits(Bits bits)
    {
        TSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr bool Contains(T v) const { return (bits_ & Bit(v)) != 0; }
    constexpr TSet &Include(T v)
    {
        bits_ = Bits(bits_ | Bit(v));
        return *this;
    }
    constexpr TSet &Exclude(T v)
    {
        bits_ = Bits(bits_ & ~Bit(v));
        return *this;
    }
    constexpr Bits ToBits() const { return bits_; }
    constexpr bool Empty() const { return bits_ == 0; }
    friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }
    friend constexpr bool operator!=(TSet a, TSet b) { return a.bits_ != b.bits_; }

private:
    static constexpr Bits Bit(T v) { return Bits(Bits(1) << static_cast<unsigned>(v)); }
    Bits bits_ = 0;
};

enum TMidiMsg : std::uint8_t { msgActiveSensing, msgMidiTimeCode };
using TMidiMsgFilter = TSet<TMidiMsg, std::uint8_t>;

enum TMIDIErrorContext : std::uint8_t { ecGeneric, ecCaching, ecPutShort, ecPutLong, ecOutPrepareHeader };

enum TFeature : std::uint8_t { ftCaching, ftStreaming, ftVolume, ftStereoVolume };
using TFeatureSet = TSet<TFeature, std::uint8_t>;

using TMidiChannels = TSet<TMidiChannel, std::uint16_t>;

// Event handler with the sender (the port).
using TNotifyEvent = std::function<void(QObject *Sender)>;

// One received MIDI event; whoever takes it from the input port owns it.
// SysexBytes is null exactly when SysexSize is 0.
struct TMyMidiEvent {
    std::uint8_t StatusByte = 0;
    std::uint8_t FirstDataByte = 0;
    std::uint8_t SecondDataByte = 0;
    std::uint32_t ReceivedTime = 0; // ms since the input port was started
    std::uint16_t SysexSize = 0;
    std::unique_ptr<std::uint8_t[]> SysexBytes;
};

// Driver-visible memory: zero-filled, fixed address. The handle owns the
// block; GlobalSharedLockedFree releases it early, and the handle's
// destructor releases it otherwise, so a block is freed exactly once.
using THandle = platform::FixedBlock;
// Null (and `handle` empty) when the block cannot be had. Sizes are 32-bit
// so that a ring of any 16-bit capacity fits in one block.
void *GlobalSharedLockedAlloc(std::uint32_t size, THandle &handle);
// An empty handle does nothing.
void GlobalSharedLockedFree(THandle &handle, void *address);

// A record that lives in driver-visible memory of its own, kept by its
// `OwnBlock` field. Null when the block cannot be had.
template <typename Record>
Record *NewInOwnBlock()
{
    THandle own;
    void *address = GlobalSharedLockedAlloc(sizeof(Record), own);
    if (!address)
        return nullptr;
    auto *record = new (address) Record;
    record->OwnBlock = std::move(own);
    return record;
}

// Destroys a record made by NewInOwnBlock; a null record does nothing.
template <typename Record>
void DeleteInOwnBlock(Record *record)
{
    if (!record)
        return;
    THandle own = std::move(record->OwnBlock); // the record lives in it: free it last
    record->~Record();
}

// Owner of one long-message header and its data buffer. Size 0 allocates
// nothing (Header stays null). Throws std::bad_alloc when a block cannot be
// allocated; the ports turn that into their own error.
class TMyMidiHdr {
public:
    explicit TMyMidiHdr(std::uint16_t size);
    TMyMidiHdr(const TMyMidiHdr &) = delete;
    TMyMidiHdr &operator=(const TMyMidiHdr &) = delete;

    THandle HeaderBlock;
    platform::MIDIHDR *Header = nullptr;
    THandle BufferBlock;
    std::uint8_t *Buffer = nullptr;
};

// Base of the two port classes; the owner is the Qt parent.
class TMidiIO : public QObject {
public:
    explicit TMidiIO(QObject *AOwner);
    // Number of devices of the port's kind.
    virtual std::uint32_t DeviceCount() = 0;

protected:
    // The service current when the port was made; the port keeps it alive.
    const std::shared_ptr<platform::MidiService> Service;
};

std::string MidiMessageToStr(std::uint8_t status);
