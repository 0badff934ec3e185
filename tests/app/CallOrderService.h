#pragma once
// A MIDI service that passes every call on to another one and notes, in the
// order the editor makes them, the short and long messages it sends. The
// backends deliver each device on its own thread, so only this shows the
// order of calls across two devices.

#include "platform/MidiService.h"

#include <memory>
#include <mutex>
#include <vector>

class CallOrderService : public platform::MidiService {
public:
    struct Call {
        bool isLong;
        std::vector<std::uint8_t> bytes;
    };

    explicit CallOrderService(std::shared_ptr<platform::MidiService> inner) : inner_(std::move(inner)) {}

    std::vector<Call> Calls() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    void ClearCalls()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.clear();
    }

    using MMRESULT = platform::MMRESULT;
    using HMIDIIN = platform::HMIDIIN;
    using HMIDIOUT = platform::HMIDIOUT;
    using MIDIHDR = platform::MIDIHDR;

    MMRESULT midiOutShortMsg(HMIDIOUT h, std::uint32_t m) override
    {
        Note(false, {std::uint8_t(m), std::uint8_t(m >> 8), std::uint8_t(m >> 16)});
        return inner_->midiOutShortMsg(h, m);
    }
    MMRESULT midiOutLongMsg(HMIDIOUT h, MIDIHDR *hdr, std::uint32_t s) override
    {
        Note(true, std::vector<std::uint8_t>(hdr->lpData, hdr->lpData + hdr->dwBufferLength));
        return inner_->midiOutLongMsg(h, hdr, s);
    }

    std::uint32_t midiInGetNumDevs() override { return inner_->midiInGetNumDevs(); }
    MMRESULT midiInGetDevCaps(std::uint32_t id, platform::MIDIINCAPS &c) override { return inner_->midiInGetDevCaps(id, c); }
    MMRESULT midiInOpen(HMIDIIN &h, std::uint32_t id, platform::MidiCallback cb, std::uintptr_t inst,
                        std::uint32_t f) override
    {
        return inner_->midiInOpen(h, id, cb, inst, f);
    }
    MMRESULT midiInPrepareHeader(HMIDIIN h, MIDIHDR *hdr, std::uint32_t s) override { return inner_->midiInPrepareHeader(h, hdr, s); }
    MMRESULT midiInUnprepareHeader(HMIDIIN h, MIDIHDR *hdr, std::uint32_t s) override { return inner_->midiInUnprepareHeader(h, hdr, s); }
    MMRESULT midiInAddBuffer(HMIDIIN h, MIDIHDR *hdr, std::uint32_t s) override { return inner_->midiInAddBuffer(h, hdr, s); }
    MMRESULT midiInStart(HMIDIIN h) override { return inner_->midiInStart(h); }
    MMRESULT midiInStop(HMIDIIN h) override { return inner_->midiInStop(h); }
    MMRESULT midiInReset(HMIDIIN h) override { return inner_->midiInReset(h); }
    MMRESULT midiInClose(HMIDIIN h) override { return inner_->midiInClose(h); }
    MMRESULT midiInGetErrorText(MMRESULT c, char *t, std::uint32_t s) override { return inner_->midiInGetErrorText(c, t, s); }
    std::uint32_t midiOutGetNumDevs() override { return inner_->midiOutGetNumDevs(); }
    MMRESULT midiOutGetDevCaps(std::uint32_t id, platform::MIDIOUTCAPS &c) override { return inner_->midiOutGetDevCaps(id, c); }
    MMRESULT midiOutOpen(HMIDIOUT &h, std::uint32_t id, platform::MidiCallback cb, std::uintptr_t inst,
                         std::uint32_t f) override
    {
        return inner_->midiOutOpen(h, id, cb, inst, f);
    }
    MMRESULT midiOutPrepareHeader(HMIDIOUT h, MIDIHDR *hdr, std::uint32_t s) override { return inner_->midiOutPrepareHeader(h, hdr, s); }
    MMRESULT midiOutUnprepareHeader(HMIDIOUT h, MIDIHDR *hdr, std::uint32_t s) override { return inner_->midiOutUnprepareHeader(h, hdr, s); }
    MMRESULT midiOutClose(HMIDIOUT h) override { return inner_->midiOutClose(h); }
    MMRESULT midiOutGetErrorText(MMRESULT c, char *t, std::uint32_t s) override { return inner_->midiOutGetErrorText(c, t, s); }
    MMRESULT midiOutGetVolume(std::uint32_t id, std::uint32_t &v) override { return inner_->midiOutGetVolume(id, v); }
    MMRESULT midiOutSetVolume(std::uint32_t id, std::uint32_t v) override { return inner_->midiOutSetVolume(id, v); }
    MMRESULT midiOutMessage(std::uint32_t id, std::uint32_t m, std::uintptr_t p1, std::uintptr_t p2) override
    {
        return inner_->midiOutMessage(id, m, p1, p2);
    }
    MMRESULT midiOutCachePatches(HMIDIOUT h, std::uint32_t b, std::uint16_t *p, std::uint32_t f) override
    {
        return inner_->midiOutCachePatches(h, b, p, f);
    }
    MMRESULT midiOutCacheDrumPatches(HMIDIOUT h, std::uint32_t p, std::uint16_t *k, std::uint32_t f) override
    {
        return inner_->midiOutCacheDrumPatches(h, p, k, f);
    }

private:
    void Note(bool isLong, std::vector<std::uint8_t> bytes)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back({isLong, std::move(bytes)});
    }

    std::shared_ptr<platform::MidiService> inner_;
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};
