#include "sim/SimDw8000.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <utility>

namespace {

constexpr std::uint8_t Korg = 0x42;
constexpr std::uint8_t Dw8000 = 0x03;
constexpr std::uint8_t DumpRequest = 0x10;
constexpr std::uint8_t WriteRequest = 0x11;
constexpr std::uint8_t DataDump = 0x40;
constexpr std::uint8_t ParameterChange = 0x41;
constexpr std::uint8_t WriteCompleted = 0x21;
constexpr std::uint8_t WriteError = 0x22;

// Highest value of each DW-8000 parameter, in the order of the data dump.
constexpr std::array<std::uint8_t, SimDw8000::ParameterCount> Maxima = {
    3,  15, 31,                 // osc 1 octave (3 = inhibit), waveform, level
    3,  1,  31, 31,             // auto bend select, mode, time, intensity
    3,  15, 31, 7, 6,           // osc 2 octave, waveform, level, interval, detune
    31, 3,  63,                 // noise level, assign mode, parameter-number memory
    63, 31, 3,  1,  31,         // cutoff, resonance, keyboard track, polarity, EG intensity
    31, 31, 31, 31, 31, 31, 7,  // VCF EG attack..release, velocity sensitivity
    31, 31, 31, 31, 31, 31, 7,  // VCA EG attack..release, velocity sensitivity
    3,  31, 31, 31, 31,         // MG wave, frequency, delay, to osc, to VCF
    12, 1,                      // bend osc (semitones), bend VCF
    7,  15, 15, 31, 31, 15,     // delay time, factor, feedback, mod freq, mod intensity, level
    31, 3,  3,  3,              // portamento, aftertouch MG to osc, to VCF, to VCA
};

void CheckRange(int value, int low, int high, const char *what)
{
    if (value < low || value > high)
        throw std::invalid_argument(what);
}

void CheckPatch(const SimDw8000::Patch &patch)
{
    for (int p = 0; p < SimDw8000::ParameterCount; ++p)
        CheckRange(patch[size_t(p)], 0, SimDw8000::ParameterMax(p), "DW-8000 value out of range");
}

bool IsSysexHeader(const SimDw8000::Message &m, int channel, std::uint8_t function)
{
    return m.size() >= 6 && m[0] == 0xF0 && m[1] == Korg && m[2] == 0x30 + channel && m[3] == Dw8000
        && m[4] == function && m.back() == 0xF7;
}

// Channel of a DW-8000 message in a bank file, which may be any channel.
std::optional<int> BankChannel(const SimDw8000::Message &m)
{
    if (m.size() < 6 || (m[2] & 0xF0) != 0x30)
        return std::nullopt;
    return m[2] & 0x0F;
}

} // namespace

SimDw8000::SimDw8000(int channel) : FChannel(channel)
{
    CheckRange(channel, 0, 15, "DW-8000 channel out of range");
}

SimDw8000::~SimDw8000()
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FStopped = true;
    }
    FStopping.notify_all();
    for (std::thread &t : FLateSenders)
        t.join();
}

void SimDw8000::SetSend(SendFunction send)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FSend = std::move(send);
}

void SimDw8000::Receive(Message message)
{
    std::optional<Message> answer;
    AnswerFaults faults;
    std::chrono::milliseconds busy{0};
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FReceived.push_back(message);
        const std::uint8_t ch = std::uint8_t(FChannel);
        if (message.size() == 6 && IsSysexHeader(message, FChannel, DumpRequest)) {
            faults = std::exchange(FNextAnswer, AnswerFaults{});
            answer = DumpLocked(faults.Channel.value_or(FChannel));
            if (faults.Truncate && *faults.Truncate < answer->size())
                answer->resize(*faults.Truncate);
            busy = FReplyTime;
        } else if (message.size() == 8 && IsSysexHeader(message, FChannel, ParameterChange)
                   && message[5] < ParameterCount && message[6] < 0x80) {
            FEditBuffer[message[5]] = FitToParameter(message[5], message[6]);
        } else if (message == Message{0xF0, Korg, std::uint8_t(0x40 + ch), 0xF7}) {
            faults = std::exchange(FNextAnswer, AnswerFaults{});
            answer = Message{0xF0, Korg, std::uint8_t(0x30 + ch), Dw8000, 0xF7};
        } else if (message.size() == DumpSize && IsSysexHeader(message, FChannel, DataDump)
                   && std::all_of(message.begin() + 5, message.end() - 1, [](std::uint8_t b) { return b < 0x80; })) {
            for (int p = 0; p < ParameterCount; ++p)
                FEditBuffer[size_t(p)] = FitToParameter(p, message[size_t(p) + 5]);
        } else if (message.size() == 7 && IsSysexHeader(message, FChannel, WriteRequest) && message[5] < ProgramCount) {
            faults = std::exchange(FNextAnswer, AnswerFaults{});
            ++FWritesTaken;
            if (!FWriteProtect)
                FPrograms[message[5]] = FEditBuffer;
            answer = Message{0xF0, Korg, std::uint8_t(0x30 + ch), Dw8000,
                             FWriteProtect ? WriteError : WriteCompleted, 0xF7};
            busy = FWriteTime;
        } else if (message.size() == 2 && message[0] == 0xC0 + ch && message[1] < ProgramCount) {
            FProgram = message[1];
            FEditBuffer = FPrograms[message[1]];
        }
    }
    if (!answer || answer->empty() || faults.Drop)
        return;
    // The unit is busy meanwhile: the next message waits, as on the wire.
    if (busy.count() > 0)
        std::this_thread::sleep_for(busy);
    if (faults.Delay)
        SendLater(std::move(*answer), *faults.Delay);
    else
        Send(std::move(*answer));
}

void SimDw8000::DropNextAnswer()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FNextAnswer.Drop = true;
}

void SimDw8000::SetWriteTime(std::chrono::milliseconds time)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FWriteTime = time;
}

void SimDw8000::SetReplyTime(std::chrono::milliseconds time)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FReplyTime = time;
}

void SimDw8000::SetWriteProtect(bool on)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FWriteProtect = on;
}

bool SimDw8000::WriteProtect() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FWriteProtect;
}

int SimDw8000::WritesTaken() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FWritesTaken;
}

int SimDw8000::Channel() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FChannel;
}

void SimDw8000::SetChannel(int channel)
{
    CheckRange(channel, 0, 15, "DW-8000 channel out of range");
    std::lock_guard<std::mutex> lock(FMutex);
    FChannel = channel;
}

int SimDw8000::Program() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FProgram;
}

int SimDw8000::ProgramNumber(int program) { return (program / 8 + 1) * 10 + program % 8 + 1; }

int SimDw8000::ProgramOfNumber(int number)
{
    const int bank = number / 10, place = number % 10;
    if (bank < 1 || bank > 8 || place < 1 || place > 8)
        return -1;
    return (bank - 1) * 8 + place - 1;
}

void SimDw8000::SelectProgram(int program)
{
    CheckRange(program, 0, ProgramCount - 1, "DW-8000 program out of range");
    Message change;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FProgram = program;
        FEditBuffer = FPrograms[size_t(program)];
        change = {std::uint8_t(0xC0 + FChannel), std::uint8_t(program)};
    }
    Send(std::move(change));
}

SimDw8000::Patch SimDw8000::CurrentPatch() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FEditBuffer;
}

int SimDw8000::Parameter(int parameter) const
{
    CheckRange(parameter, 0, ParameterCount - 1, "DW-8000 parameter out of range");
    std::lock_guard<std::mutex> lock(FMutex);
    return FEditBuffer[size_t(parameter)];
}

SimDw8000::Patch SimDw8000::ProgramPatch(int program) const
{
    CheckRange(program, 0, ProgramCount - 1, "DW-8000 program out of range");
    std::lock_guard<std::mutex> lock(FMutex);
    return FPrograms[size_t(program)];
}

void SimDw8000::SetCurrentPatch(const Patch &patch)
{
    CheckPatch(patch);
    std::lock_guard<std::mutex> lock(FMutex);
    FEditBuffer = patch;
}

void SimDw8000::SetProgramPatch(int program, const Patch &patch)
{
    CheckRange(program, 0, ProgramCount - 1, "DW-8000 program out of range");
    CheckPatch(patch);
    std::lock_guard<std::mutex> lock(FMutex);
    FPrograms[size_t(program)] = patch;
}

int SimDw8000::LoadBank(const std::vector<std::uint8_t> &bytes)
{
    std::optional<Patch> staged;
    int stored = 0;
    std::lock_guard<std::mutex> lock(FMutex);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != 0xF0)
            continue;
        std::size_t end = i + 1;
        while (end < bytes.size() && bytes[end] != 0xF7 && bytes[end] != 0xF0)
            ++end;
        if (end == bytes.size() || bytes[end] != 0xF7)
            continue;  // unterminated: the next F0 starts afresh
        const Message m(bytes.begin() + std::ptrdiff_t(i), bytes.begin() + std::ptrdiff_t(end) + 1);
        i = end;
        const auto channel = BankChannel(m);
        if (!channel)
            continue;
        if (m.size() == DumpSize && IsSysexHeader(m, *channel, DataDump)) {
            Patch patch{};
            for (int p = 0; p < ParameterCount; ++p)
                patch[size_t(p)] = FitToParameter(p, m[size_t(p) + 5] & 0x7F);
            staged = patch;
        } else if (m.size() == 7 && IsSysexHeader(m, *channel, WriteRequest) && m[5] < ProgramCount
                   && staged) {
            FPrograms[m[5]] = *staged;
            ++stored;
        }
    }
    FEditBuffer = FPrograms[size_t(FProgram)];
    return stored;
}

int SimDw8000::LoadBankFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return -1;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
    if (file.bad())
        return -1;
    return LoadBank(bytes);
}

SimDw8000::Message SimDw8000::DumpMessage() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return DumpLocked(FChannel);
}

void SimDw8000::AnswerNextRequestLate(std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FNextAnswer.Delay = delay;
}

void SimDw8000::AnswerNextRequestTruncated(std::size_t bytes)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FNextAnswer.Truncate = bytes;
}

void SimDw8000::AnswerNextRequestOnChannel(int channel)
{
    CheckRange(channel, 0, 15, "DW-8000 channel out of range");
    std::lock_guard<std::mutex> lock(FMutex);
    FNextAnswer.Channel = channel;
}

std::vector<SimDw8000::Message> SimDw8000::Received() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FReceived;
}

void SimDw8000::ClearReceived()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FReceived.clear();
}

int SimDw8000::ParameterMax(int parameter)
{
    CheckRange(parameter, 0, ParameterCount - 1, "DW-8000 parameter out of range");
    return Maxima[size_t(parameter)];
}

std::uint8_t SimDw8000::FitToParameter(int parameter, int value)
{
    const int max = ParameterMax(parameter);
    int bits = 1;
    while (bits < max)
        bits = bits * 2 + 1;
    const int kept = value & bits;
    return std::uint8_t(kept > max ? max : kept);
}

SimDw8000::Message SimDw8000::DumpLocked(int channel) const
{
    Message dump(DumpSize);
    dump[0] = 0xF0;
    dump[1] = Korg;
    dump[2] = std::uint8_t(0x30 + channel);
    dump[3] = Dw8000;
    dump[4] = DataDump;
    std::copy(FEditBuffer.begin(), FEditBuffer.end(), dump.begin() + 5);
    dump[DumpSize - 1] = 0xF7;
    return dump;
}

void SimDw8000::SendLater(Message message, std::chrono::milliseconds delay)
{
    const auto due = std::chrono::steady_clock::now() + delay;
    std::lock_guard<std::mutex> lock(FMutex);
    if (FStopped)
        return;
    FLateSenders.emplace_back([this, due, message = std::move(message)]() mutable {
        {
            std::unique_lock<std::mutex> wait(FMutex);
            if (FStopping.wait_until(wait, due, [this] { return FStopped; }))
                return;
        }
        Send(std::move(message));
    });
}

void SimDw8000::Send(Message message) const
{
    SendFunction send;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        send = FSend;
    }
    if (send)
        send(std::move(message));
}
