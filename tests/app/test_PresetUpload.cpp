#include "EditorFixture.h"

#include "engine/BcrUpload.h"
#include "setup/PresetUpload.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>

namespace {

class PresetUploadTest : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        oldCurrent = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(work.path()));
        TfMidiSetup::SetPresetFallbackDir(fallback.path());
        SaveDevices("None", "None", "None", Controller());
        Start();
        service->ClearSentMessages();
    }
    void TearDown() override
    {
        QDir::setCurrent(oldCurrent);
        TfMidiSetup::SetPresetFallbackDir({});
        EditorFixture::TearDown();
    }

    static void Write(const QString &path, const Bytes &bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    }

    std::vector<Bytes> Upload(const Bytes &file)
    {
        Write(QDir(work.path()).filePath("Tavrelk.SYX"), file);
        setup->bLoadBCRClick();
        WaitForTheEnd();
        std::vector<Bytes> sent;
        for (const platform::SentMessage &m : SentTo(Controller()))
            sent.push_back(m.bytes);
        return sent;
    }

    // The upload runs on; its summary box, shown as it ends, comes last and
    // is taken off the boxes, so that the tests see the others as before.
    void WaitForTheEnd()
    {
        ASSERT_TRUE(WaitFor([this] { return !setup->Upload->Busy(); }));
        if (!boxes.empty() && boxes.back().Text == engine::UploadSummary(setup->Upload->Upload().Report()))
            boxes.pop_back();
    }

    QString oldCurrent;
    QTemporaryDir work;
    QTemporaryDir fallback;
};

} // namespace

TEST_F(PresetUploadTest, MissingFileShowsThePlainMessageAndSendsNothing)
{
    setup->bLoadBCRClick();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "Can't Find BCR sysex file (Tavrelk.SYX) ");
    EXPECT_EQ(boxes[0].Caption, ApplicationTitle());
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::None);
    EXPECT_TRUE(setup->bLoadBCR->isEnabled());
}

TEST_F(PresetUploadTest, FileBesideTheInstalledProgramIsFoundToo)
{
    Write(QDir(fallback.path()).filePath("Tavrelk.SYX"), {0xF0, 0x01, 0xF7});
    setup->bLoadBCRClick();
    WaitForTheEnd();
    ASSERT_EQ(SentTo(Controller()).size(), 1u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PresetUploadTest, MessagesAreCutAsTheScanDefines)
{
    EXPECT_TRUE(Upload({}).empty());
    EXPECT_TRUE(boxes.empty());

    service->ClearSentMessages();
    // Bytes before the first F0, two F0, a stray F7, bytes between, an unterminated end.
    const auto sent =
        Upload({0x11, 0xF7, 0xF0, 0x01, 0xF7, 0x22, 0xF0, 0xF0, 0x02, 0xF7, 0x33, 0xF7, 0xF0, 0x04});
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0], (Bytes{0x11, 0xF7}));
    EXPECT_EQ(sent[1], (Bytes{0xF0, 0x01, 0xF7}));
    EXPECT_EQ(sent[2], (Bytes{0xF0, 0x02, 0xF7}));
    EXPECT_EQ(sent[3], (Bytes{0xF0, 0x02, 0xF7, 0x33, 0xF7}));
    EXPECT_TRUE(setup->bLoadBCR->isEnabled());
}

TEST_F(PresetUploadTest, OverLongMessageIsSkippedWithAWarningAndTheRestIsSent)
{
    const Bytes fits = {0xF0, 0x05, 0xF7};
    Bytes file = {0xF0};
    file.resize(1000, 0x10);
    file.push_back(0xF7); // 1001 bytes
    for (std::uint8_t b : fits)
        file.push_back(b);
    const auto sent = Upload(file);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], fits);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Caption, "Warning");
}

TEST_F(PresetUploadTest, ClosedControllerOutputWarnsAndSendsNothing)
{
    setup->lbCtrlOut->setCurrentRow(setup->lbCtrlOut->count() - 1); // "None"
    const auto sent = Upload({0xF0, 0x01, 0xF7});
    EXPECT_TRUE(sent.empty());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "No Midi output device selected for the BCR");
    EXPECT_EQ(boxes[0].Caption, "Warning");
    EXPECT_TRUE(setup->bLoadBCR->isEnabled());
}

TEST_F(PresetUploadTest, UnreadableFileRaisesCannotOpenAndEnablesTheButton)
{
    ASSERT_TRUE(QDir(work.path()).mkdir("Tavrelk.SYX"));
    try {
        setup->bLoadBCRClick();
        ADD_FAILURE() << "no error";
    } catch (const std::exception &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file Tavrelk.SYX");
    }
    EXPECT_TRUE(setup->bLoadBCR->isEnabled());
    EXPECT_TRUE(SentTo(Controller()).empty());
}

TEST_F(PresetUploadTest, RejectedSendEndsTheUploadAndEnablesTheButton)
{
    service->InjectFault(platform::MidiCall::OutLong, platform::MMSYSERR_NOMEM, 1, 1);
    Write(QDir(work.path()).filePath("Tavrelk.SYX"), {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7, 0xF0, 0x03, 0xF7});
    setup->bLoadBCRClick();
    ASSERT_TRUE(WaitFor([this] { return !setup->Upload->Busy(); }));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::Error);
    EXPECT_TRUE(boxes[0].Text.startsWith("The upload stopped after 1 of 3 lines")) << boxes[0].Text.toStdString();
    EXPECT_EQ(SentTo(Controller()).size(), 1u);
    EXPECT_TRUE(setup->bLoadBCR->isEnabled());
}
