#include "engine/DeviceSearch.h"

#include "dw/BcrMessages.h"
#include "engine/PortRoles.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"

#include <QEventLoop>

#include <algorithm>
#include <exception>

namespace engine {

std::optional<TSearchAnswer> ClassifySearchAnswer(const std::uint8_t *data, std::size_t size)
{
    if (const std::optional<int> channel = dw::ParseDwIdentityAnswer(data, size))
        return TSearchAnswer{TSearchAnswer::TKind::Synth, *channel, {}};
    if (std::optional<std::string> identity = dw::ParseBcrIdentityReply(data, size))
        return TSearchAnswer{TSearchAnswer::TKind::Controller, 0, std::move(*identity)};
    return std::nullopt;
}

std::vector<std::vector<std::uint8_t>> ProbeMessages(bool askSynth, bool askController)
{
    std::vector<std::vector<std::uint8_t>> out;
    if (askSynth) {
        for (int channel = 0; channel < 16; ++channel) {
            const auto m = dw::BuildDwIdentityRequest(channel);
            out.emplace_back(m->begin(), m->end());
        }
    }
    if (askController) {
        const auto m = dw::BuildBcrIdentityRequest();
        out.emplace_back(m.begin(), m.end());
    }
    return out;
}

void TSearchResult::Record(int output, int input, const TSearchAnswer &answer)
{
    if (output < 0 || input < 0)
        return;
    if (answer.Kind == TSearchAnswer::TKind::Synth) {
        const TSynthCandidate c{output, input, answer.Channel};
        if (std::find(Synths.begin(), Synths.end(), c) == Synths.end())
            Synths.push_back(c);
    } else {
        const TControllerCandidate c{output, input, answer.Identity};
        if (std::find(Controllers.begin(), Controllers.end(), c) == Controllers.end())
            Controllers.push_back(c);
    }
}

std::vector<std::string> DetectLines(const TSearchResult &r)
{
    auto name = [](const std::vector<std::string> &names, int i) {
        return i >= 0 && i < int(names.size()) ? names[std::size_t(i)] : std::to_string(i);
    };
    std::vector<std::string> lines;
    if (!r.Synths.empty()) {
        const TSynthCandidate &s = r.Synths.front();
        lines.push_back("synth-output " + name(r.OutputNames, s.Output));
        lines.push_back("synth-input " + name(r.InputNames, s.Input));
        lines.push_back("synth-channel " + std::to_string(s.Channel + 1));
    }
    if (!r.Controllers.empty()) {
        const TControllerCandidate &c = r.Controllers.front();
        lines.push_back("controller-output " + name(r.OutputNames, c.Output));
        lines.push_back("controller-input " + name(r.InputNames, c.Input));
    }
    return lines;
}

TDeviceSearch::TDeviceSearch(QObject *parent) : QObject(parent)
{
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, [this] { WaitOver(); });
}

TDeviceSearch::~TDeviceSearch() { CloseOwn(); }

bool TDeviceSearch::Start()
{
    if (FBusy)
        return false;
    FResult = {};
    FCancelled = false;
    FNext = 0;
    FAsking = -1;
    FQuiet = false;
    try {
        FResult.InputNames = InputDeviceNames();
        FResult.OutputNames = OutputDeviceNames();
    } catch (const std::exception &e) {
        FResult.Error = e.what();
    }
    FBusy = true;
    FReopen.assign(AllRoles.size(), false);
    FSynthOut = FCtrlOut = -1;
    if (FRoles != nullptr) {
        FSynthOut = FRoles->Device(TRole::SynthOut);
        FCtrlOut = FRoles->Device(TRole::CtrlOut);
        for (TRole r : AllRoles) {
            if (!FRoles->IsOpen(r))
                continue;
            FReopen[std::size_t(r)] = true;
            try {
                FRoles->Close(r);
            } catch (const std::exception &e) {
                if (FResult.Error.empty())
                    FResult.Error = e.what();
            }
        }
    }
    FInputs.clear();
    for (int d = 0; d < int(FResult.InputNames.size()); ++d) {
        auto in = std::make_unique<TMidiInput>(nullptr);
        in->OnMidiInput = [this, d](QObject *) { Listen(d); };
        try {
            in->SetDeviceID(std::uint32_t(d));
            in->Open();
            in->Start();
        } catch (const std::exception &) {
            in.reset(); // held by another program: not free to listen on
        }
        FInputs.push_back(std::move(in));
    }
    // Asked from the event loop, so that the caller has connected its signals.
    QTimer::singleShot(0, this, [this] { AskNext(); });
    return true;
}

void TDeviceSearch::Cancel()
{
    if (!FBusy)
        return;
    FCancelled = true;
    FTimer.stop();
    FQuiet = false;
    Finish();
}

void TDeviceSearch::AskNext()
{
    if (!FBusy)
        return;
    const int total = int(FResult.OutputNames.size());
    while (FNext < total) {
        const int d = FNext++;
        emit progress(d, total, QString::fromStdString(FResult.OutputNames[std::size_t(d)]));
        if (!FBusy)
            return; // cancelled from the progress handler
        const auto probes = ProbeMessages(d != FCtrlOut, d != FSynthOut);
        auto out = std::make_unique<TMidiOutput>(nullptr);
        FAsking = d;
        try {
            out->SetDeviceID(std::uint32_t(d));
            out->Open();
            if (out->State() == mosClosed) {
                FAsking = -1;
                continue; // not free to open
            }
            for (const auto &m : probes)
                out->PutLong(m.data(), std::uint16_t(m.size()));
        } catch (const std::exception &) {
            FOutput = std::move(out);
            CloseAsked();
            FAsking = -1;
            continue;
        }
        FOutput = std::move(out);
        FTimer.start(FWait);
        return;
    }
    emit progress(total, total, QString());
    Finish();
}

void TDeviceSearch::WaitOver()
{
    if (!FQuiet) {
        CloseAsked();
        FQuiet = true;
        FTimer.start(FWait);
        return;
    }
    FQuiet = false;
    FAsking = -1;
    AskNext();
}

void TDeviceSearch::CloseAsked()
{
    if (!FOutput)
        return;
    // A close that fails (a driver at its limit) costs this output, not the search.
    try {
        FOutput->Close();
    } catch (const std::exception &e) {
        const int d = FAsking;
        const std::string name =
            d >= 0 && d < int(FResult.OutputNames.size()) ? FResult.OutputNames[std::size_t(d)] : std::to_string(d);
        FResult.Notes.push_back(name + " did not close: " + e.what());
    }
    FOutput.reset();
}

void TDeviceSearch::Listen(int input)
{
    TMidiInput *in = FInputs[std::size_t(input)].get();
    if (in == nullptr)
        return;
    for (std::uint16_t n = in->GetEventCount(); n > 0; --n) {
        std::unique_ptr<TMyMidiEvent> ev;
        try {
            ev = in->GetMidiEvent();
        } catch (const std::exception &) {
            continue;
        }
        if (!ev || ev->StatusByte != 0xF0 || !ev->SysexBytes)
            continue;
        if (const auto answer = ClassifySearchAnswer(ev->SysexBytes.get(), ev->SysexSize))
            FResult.Record(FAsking, input, *answer);
    }
}

void TDeviceSearch::CloseOwn()
{
    if (FOutput) {
        try {
            FOutput->Close();
        } catch (const std::exception &) {
        }
        FOutput.reset();
    }
    for (auto &in : FInputs) {
        if (!in)
            continue;
        try {
            in->StopAndClose();
        } catch (const std::exception &) {
        }
    }
    FInputs.clear();
}

void TDeviceSearch::Finish()
{
    CloseOwn();
    FAsking = -1;
    if (FRoles != nullptr) {
        for (TRole r : AllRoles) {
            if (!FReopen[std::size_t(r)])
                continue;
            try {
                FRoles->Assign(r, FRoles->Device(r), FRoles->DeviceName(r));
            } catch (const std::exception &e) {
                if (FResult.Error.empty())
                    FResult.Error = e.what();
            }
        }
    }
    FResult.Cancelled = FCancelled;
    FBusy = false;
    emit finished();
}

TSearchResult FindDevices(std::chrono::milliseconds wait)
{
    TDeviceSearch search;
    search.SetWait(wait);
    QEventLoop loop;
    QObject::connect(&search, &TDeviceSearch::finished, &loop, &QEventLoop::quit);
    search.Start();
    if (search.Busy())
        loop.exec();
    return search.Result();
}

} // namespace engine
