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
    FHeardAgain = {};
    FCancelled = false;
    FNext = 0;
    FAsking = -1;
    FQuiet = false;
    FConfirming = false;
    FToConfirm.clear();
    FConfirmNext = 0;
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
    OpenInputs();
    // Asked from the event loop, so that the caller has connected its signals.
    QTimer::singleShot(0, this, [this] { AskNext(); });
    return true;
}

void TDeviceSearch::OpenInputs()
{
    FInputs.clear();
    FInputs.resize(FResult.InputNames.size());
    for (int d = 0; d < int(FInputs.size()); ++d) {
        TListening &l = FInputs[std::size_t(d)];
        l.Port = std::make_unique<TMidiInput>(nullptr);
        l.Dispatcher = std::make_unique<TInputDispatcher>(*l.Port);
        l.Listener = l.Dispatcher->Subscribe([this, d](const TInputDispatcher::TEvents &events) { Listen(d, events); });
        try {
            l.Port->SetDeviceID(std::uint32_t(d));
            l.Port->Open();
            l.Port->Start();
        } catch (const std::exception &) {
            // Held by another program: not free to listen on. The
            // dispatcher goes before the port it holds.
            l.Listener.Reset();
            l.Dispatcher.reset();
            l.Port.reset();
        }
    }
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
        if (Ask(d))
            return;
    }
    emit progress(total, total, QString());
    StartConfirming();
}

bool TDeviceSearch::Ask(int d)
{
    const auto probes = ProbeMessages(d != FCtrlOut, d != FSynthOut);
    auto out = std::make_unique<TMidiOutput>(nullptr);
    FAsking = d;
    try {
        out->SetDeviceID(std::uint32_t(d));
        out->Open();
        if (out->State() == mosClosed) {
            FAsking = -1;
            return false; // not free to open
        }
        for (const auto &m : probes)
            out->PutLong(m.data(), std::uint16_t(m.size()));
    } catch (const std::exception &) {
        FOutput = std::move(out);
        CloseAsked();
        FAsking = -1;
        return false;
    }
    FOutput = std::move(out);
    FTimer.start(FWait);
    return true;
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
    if (FConfirming)
        ConfirmNext();
    else
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

void TDeviceSearch::Listen(int input, const TInputDispatcher::TEvents &events)
{
    for (const std::unique_ptr<TMyMidiEvent> &ev : events) {
        if (ev->StatusByte != 0xF0 || !ev->SysexBytes)
            continue;
        if (const auto answer = ClassifySearchAnswer(ev->SysexBytes.get(), ev->SysexSize))
            (FConfirming ? FHeardAgain : FResult).Record(FAsking, input, *answer);
    }
}

void TDeviceSearch::StartConfirming()
{
    FConfirming = true;
    auto add = [this](int output) {
        if (std::find(FToConfirm.begin(), FToConfirm.end(), output) == FToConfirm.end())
            FToConfirm.push_back(output);
    };
    for (const TSynthCandidate &c : FResult.Synths)
        add(c.Output);
    for (const TControllerCandidate &c : FResult.Controllers)
        add(c.Output);
    ConfirmNext();
}

void TDeviceSearch::ConfirmNext()
{
    if (!FBusy)
        return;
    while (FConfirmNext < FToConfirm.size()) {
        if (Ask(FToConfirm[FConfirmNext++]))
            return;
    }
    KeepConfirmed();
    Finish();
}

void TDeviceSearch::KeepConfirmed()
{
    auto name = [](const std::vector<std::string> &names, int i) {
        return i >= 0 && i < int(names.size()) ? names[std::size_t(i)] : std::to_string(i);
    };
    auto dropped = [&](const std::string &what, int output, int input) {
        FResult.Notes.push_back(what + " was heard on " + name(FResult.InputNames, input) + " after asking " +
                                name(FResult.OutputNames, output) +
                                ", but not again when that output was asked alone: left out, as it may have been "
                                "a late answer to another output.");
    };
    std::vector<TSynthCandidate> synths;
    for (const TSynthCandidate &c : FResult.Synths) {
        if (std::find(FHeardAgain.Synths.begin(), FHeardAgain.Synths.end(), c) != FHeardAgain.Synths.end())
            synths.push_back(c);
        else
            dropped("A DW-8000 answer (channel " + std::to_string(c.Channel + 1) + ")", c.Output, c.Input);
    }
    std::vector<TControllerCandidate> controllers;
    for (const TControllerCandidate &c : FResult.Controllers) {
        if (std::find(FHeardAgain.Controllers.begin(), FHeardAgain.Controllers.end(), c) !=
            FHeardAgain.Controllers.end())
            controllers.push_back(c);
        else
            dropped("A BCR2000 answer", c.Output, c.Input);
    }
    FResult.Synths = std::move(synths);
    FResult.Controllers = std::move(controllers);
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
    for (TListening &in : FInputs) {
        if (!in.Port)
            continue;
        try {
            in.Port->StopAndClose();
        } catch (const std::exception &) {
        }
    }
    FInputs.clear();
}

void TDeviceSearch::Finish()
{
    CloseOwn();
    FAsking = -1;
    FConfirming = false;
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
