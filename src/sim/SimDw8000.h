#pragma once
// A simulated Korg DW-8000, written from the synthesizer's own facts so that
// it can check the editor rather than repeat it.
//
// It holds 64 programs of 51 parameter values, an edit buffer (the current
// patch, loaded from a program when that program is selected), a current
// program and a MIDI channel 0-15. Over MIDI it understands, on its own
// channel only:
//   F0 42 3c 03 10 F7        data-dump request -> answered with the dump
//   F0 42 3c 03 41 pp vv F7  parameter change  -> applied to the edit buffer
//   F0 42 4c F7              device ID request -> F0 42 3c 03 F7
//   F0 42 3c 03 40 <51> F7   data load         -> replaces the edit buffer
//   F0 42 3c 03 11 pp F7     write request     -> the edit buffer stored as
//                            program pp, answered F0 42 3c 03 21 F7 (write
//                            completed), or F0 42 3c 03 22 F7 (write error,
//                            nothing stored) while the memory protect switch
//                            is on
//   Cc pp                    program change    -> selects program pp
// and ignores everything else (other channels, malformed or other messages).
// The dump is F0 42 3c 03 40 <51 values> F7, 57 bytes.
//
// Threads: every public function may be called from any thread; the state
// sits behind one mutex. The send callback is never called with that mutex
// held (so it may call straight back into Receive), and is called on the
// thread that caused the message, except for a late answer, which comes from
// a thread of the simulator's own. The destructor drops late answers still
// pending and waits for one being sent; the send callback must stay valid
// until the simulator is destroyed.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class SimDw8000 {
public:
    using Message = std::vector<std::uint8_t>;
    using SendFunction = std::function<void(Message)>;

    static constexpr int ProgramCount = 64;
    static constexpr int ParameterCount = 51;
    static constexpr std::size_t DumpSize = 57;
    using Patch = std::array<std::uint8_t, ParameterCount>;

    explicit SimDw8000(int channel = 0);
    ~SimDw8000();
    SimDw8000(const SimDw8000 &) = delete;
    SimDw8000 &operator=(const SimDw8000 &) = delete;

    void SetSend(SendFunction send);
    void Receive(Message message);

    int Channel() const;
    void SetChannel(int channel);  // 0-15

    int Program() const;
    // The front-panel program selection: loads the program into the edit
    // buffer and sends the program change Cc pp.
    void SelectProgram(int program);

    Patch CurrentPatch() const;
    int Parameter(int parameter) const;
    Patch ProgramPatch(int program) const;
    // Values must lie within each parameter's range (std::invalid_argument).
    void SetCurrentPatch(const Patch &patch);
    void SetProgramPatch(int program, const Patch &patch);

    // A bank is a series of dumps, each followed by a write request
    // F0 42 3x 03 11 pp F7 that stores it as program pp (any channel). The
    // edit buffer is reloaded from the current program. Returns the number of
    // programs stored; LoadBankFile returns -1 when the file cannot be read.
    int LoadBank(const std::vector<std::uint8_t> &bytes);
    int LoadBankFile(const std::string &path);

    // The dump the next request would get, without faults.
    Message DumpMessage() const;

    // Faults for the next request answered (they combine; each is used once).
    // The delay and dropping apply to any answer; truncation and channel to
    // dumps.
    void AnswerNextRequestLate(std::chrono::milliseconds delay);
    void AnswerNextRequestTruncated(std::size_t bytes);
    void AnswerNextRequestOnChannel(int channel);
    // The next answer of any kind (dump, write answer, device ID) is not sent.
    void DropNextAnswer();
    // Answers to write requests come this late (and so does the next message
    // taken: the unit is busy writing); likewise for dumps after a data save
    // request. Both 0 at first.
    void SetWriteTime(std::chrono::milliseconds time);
    void SetReplyTime(std::chrono::milliseconds time);
    // The rear-panel memory protect switch: on refuses every write.
    void SetWriteProtect(bool on);
    bool WriteProtect() const;
    // Write requests taken (stored or refused) since start.
    int WritesTaken() const;

    // Every message received, in order.
    std::vector<Message> Received() const;
    void ClearReceived();

    // The unit's own numbering, bank 1-8 then number 1-8: program 0 is 11,
    // program 63 is 88. ProgramOfNumber gives -1 for a number that is none.
    static int ProgramNumber(int program);
    static int ProgramOfNumber(int number);

    // The synthesizer's own range of a parameter: 0 to ParameterMax.
    static int ParameterMax(int parameter);
    // What the unit keeps of a value: the parameter's bits, at most its maximum.
    static std::uint8_t FitToParameter(int parameter, int value);

private:
    struct AnswerFaults {
        bool Drop = false;
        std::optional<std::chrono::milliseconds> Delay;
        std::optional<std::size_t> Truncate;
        std::optional<int> Channel;
    };

    Message DumpLocked(int channel) const;
    void SendLater(Message message, std::chrono::milliseconds delay);
    void Send(Message message) const;

    mutable std::mutex FMutex;
    std::condition_variable FStopping;
    bool FStopped = false;
    SendFunction FSend;
    int FChannel;
    int FProgram = 0;
    Patch FEditBuffer{};
    std::array<Patch, ProgramCount> FPrograms{};
    AnswerFaults FNextAnswer;
    std::vector<Message> FReceived;
    std::chrono::milliseconds FWriteTime{0};
    std::chrono::milliseconds FReplyTime{0};
    bool FWriteProtect = false;
    int FWritesTaken = 0;
    std::vector<std::thread> FLateSenders;
};
