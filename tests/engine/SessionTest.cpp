#include "engine/Editor.h"
#include "engine/Session.h"
#include "platform/VirtualMidiService.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

using engine::TRole;
using engine::TSession;

namespace {

// A settings file in memory; it can refuse every write, as a read-only file does.
class TMemorySettings : public TSettings {
public:
    std::map<QString, QString> Values; // "Section/Key" -> text
    bool RefuseWrites = false;

    QString ReadString(const QString &s, const QString &k, const QString &d) const override
    {
        const auto it = Values.find(s + '/' + k);
        return it == Values.end() ? d : it->second;
    }
    void WriteString(const QString &s, const QString &k, const QString &v) override
    {
        if (RefuseWrites)
            throw std::runtime_error("Unable to write");
        Values[s + '/' + k] = v;
    }
    int ReadInteger(const QString &s, const QString &k, int d) const override
    {
        bool ok = false;
        const int v = ReadString(s, k, {}).toInt(&ok);
        return ok ? v : d;
    }
    void WriteInteger(const QString &s, const QString &k, int v) override { WriteString(s, k, QString::number(v)); }
    bool ReadBool(const QString &s, const QString &k, bool d) const override { return ReadInteger(s, k, d) != 0; }
    void WriteBool(const QString &s, const QString &k, bool v) override { WriteInteger(s, k, v); }
};

QString Key(TRole role) { return settingskeys::Devices + '/' + TSession::RoleKey(role); }
const QString kChannelKey = settingskeys::Synth + '/' + settingskeys::Channel;

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        service = std::make_shared<platform::VirtualMidiService>();
        platform::SetCurrentMidiService(service);
        service->CreateDevice("synth");
        service->CreateDevice("unit");
    }
    void TearDown() override
    {
        session.reset();
        QCoreApplication::removePostedEvents(nullptr); // a queued quit is for a real loop
        platform::SetCurrentMidiService(nullptr);
    }

    TMemorySettings &Make()
    {
        auto owned = std::make_unique<TMemorySettings>();
        TMemorySettings &settings = *owned;
        settings.Values = saved;
        session = std::make_unique<TSession>(std::move(owned));
        return settings;
    }

    void Start()
    {
        session->Start([this](const std::exception &e) { failures.push_back(e.what()); });
    }

    std::shared_ptr<platform::VirtualMidiService> service;
    std::map<QString, QString> saved;
    std::unique_ptr<TSession> session;
    std::vector<std::string> failures;
};

} // namespace

TEST_F(SessionTest, StartRestoresEachRoleAsSavedAndSaveAllKeepsHeldAndAwaitedDevices)
{
    saved = {{Key(TRole::SynthIn), "synth"}, {Key(TRole::SynthOut), "synth"},
             {Key(TRole::CtrlIn), "gone"},   {Key(TRole::CtrlOut), "none"},
             {kChannelKey, "4"}};
    TMemorySettings &settings = Make();
    Start();
    const engine::TPortRoles &ports = session->Ports();
    EXPECT_TRUE(failures.empty());
    EXPECT_TRUE(ports.IsOpen(TRole::SynthIn));
    EXPECT_EQ(ports.Device(TRole::SynthOut), 0);
    EXPECT_TRUE(ports.Waiting(TRole::CtrlIn)); // not plugged in: waited for under its name
    EXPECT_EQ(ports.DeviceName(TRole::CtrlIn), "gone");
    EXPECT_FALSE(ports.IsOpen(TRole::CtrlOut));
    EXPECT_EQ(session->Channel(), 4);
    EXPECT_FALSE(session->EndRequested());
    // Restoring writes what it applied, and leaves the awaited name alone.
    EXPECT_EQ(settings.Values[Key(TRole::CtrlOut)], "None");
    EXPECT_EQ(settings.Values[Key(TRole::CtrlIn)], "gone");
    // The start-up fetch went to the synthesizer on its channel.
    ASSERT_FALSE(service->SentMessages().empty());
    EXPECT_EQ(service->SentMessages().back().bytes, (std::vector<std::uint8_t>{0xF0, 0x42, 0x34, 0x03, 0x10, 0xF7}));

    settings.Values.clear();
    session->SaveAll();
    EXPECT_EQ(settings.Values, (std::map<QString, QString>{{Key(TRole::SynthIn), "synth"},
                                                           {Key(TRole::SynthOut), "synth"},
                                                           {Key(TRole::CtrlIn), "gone"},
                                                           {kChannelKey, "4"}})); // holding nothing: not written
}

TEST_F(SessionTest, SavedChannelIsBroughtIntoRangeAndAFailingWriteIsToldWhileStartUpGoesOn)
{
    const struct {
        const char *saved;
        int channel;
        bool refuseWrites;
    } cases[] = {{"99", 15, false}, {"-3", 0, false}, {"junk", 0, false}, {"15", 15, false}, {"2", 2, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.saved);
        saved = {{kChannelKey, c.saved}};
        failures.clear();
        TMemorySettings &settings = Make();
        settings.RefuseWrites = c.refuseWrites;
        Start();
        EXPECT_EQ(session->Channel(), c.channel); // applied even when not written
        EXPECT_EQ(settings.Values[kChannelKey], QString::number(c.channel));
        EXPECT_EQ(failures.size(), c.refuseWrites ? 5u : 0u); // four roles and the channel, each written
    }
}

TEST_F(SessionTest, ChoicesAreWrittenAndATakeOverOnlyWhenAgreed)
{
    TMemorySettings &settings = Make();
    Start();
    EXPECT_EQ(session->Choose(TRole::SynthOut, 1), TSession::TChoice::Taken);
    EXPECT_EQ(settings.Values[Key(TRole::SynthOut)], "unit");

    // The controller output wants the synthesizer's device: refused, nothing written.
    std::vector<TRole> asked;
    bool agree = false;
    session->SetTakeOver([&](TRole role) {
        asked.push_back(role);
        return agree;
    });
    EXPECT_EQ(session->Choose(TRole::CtrlOut, 1), TSession::TChoice::Declined);
    EXPECT_EQ(settings.Values[Key(TRole::CtrlOut)], "None");
    EXPECT_EQ(session->Ports().Device(TRole::SynthOut), 1);

    agree = true;
    EXPECT_EQ(session->Choose(TRole::CtrlOut, 1), TSession::TChoice::TookOver);
    EXPECT_EQ(settings.Values[Key(TRole::CtrlOut)], "unit");
    EXPECT_EQ(settings.Values[Key(TRole::SynthOut)], "None");
    EXPECT_EQ(session->Ports().Device(TRole::SynthOut), engine::TPortRoles::NoDevice);
    EXPECT_EQ(asked, (std::vector<TRole>{TRole::CtrlOut, TRole::CtrlOut}));

    session->SetChannel(9);
    EXPECT_EQ(settings.Values[kChannelKey], "9");
}

TEST(SessionWithoutDevices, NoInputDeviceEndsTheProgram)
{
    auto service = std::make_shared<platform::VirtualMidiService>();
    platform::SetCurrentMidiService(service);
    {
        TSession session(std::make_unique<TMemorySettings>());
        EXPECT_TRUE(session.NoInterface());
        session.Start({});
        EXPECT_TRUE(session.EndRequested());
    }
    QCoreApplication::removePostedEvents(nullptr);
    platform::SetCurrentMidiService(nullptr);
}
