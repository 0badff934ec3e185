// Controller preset files that are empty, huge, unterminated, too long or
// unreadable: the upload reports what it must, sends only whole messages
// that fit, and the editor goes on.

#include "EditorFixture.h"

#include "engine/BcrUpload.h"
#include "setup/PresetUpload.h"

#include <QDir>
#include <QFile>
#include <QPushButton>

class PresetFileFaultTest : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        previousDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        SaveSimDevices();
        Start();
        ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
        service->ClearSentMessages();
    }

    void TearDown() override
    {
        QDir::setCurrent(previousDir);
        EditorFixture::TearDown();
    }

    void WritePreset(const Bytes &bytes)
    {
        QFile f(dir.filePath(QLatin1String(TfMidiSetup::PresetFileName)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())), qint64(bytes.size()));
    }

    // As the application runs a handler: an error leaving it is shown.
    void Upload()
    {
        try {
            setup->bLoadBCRClick();
        } catch (const std::exception &e) {
            ShowExceptionBox(nullptr, e);
        }
        // The upload runs on; its summary box, shown as it ends, comes last
        // and is taken off the boxes.
        ASSERT_TRUE(WaitFor([this] { return !setup->Upload->Busy(); }));
        if (!boxes.empty() && boxes.back().Text == engine::UploadSummary(setup->Upload->Upload().Report()))
            boxes.pop_back();
        EXPECT_TRUE(setup->bLoadBCR->isEnabled());
        EXPECT_EQ(main->MidiPCtoBC->State(), mosOpen);
    }

    static Bytes Message(std::size_t length)
    {
        Bytes m(length, 0x11);
        m.front() = 0xF0;
        m.back() = 0xF7;
        return m;
    }

    static QString TooLongText(int number)
    {
        return QStringLiteral("Message %1 of Tavrelk.SYX is longer than 1000 bytes and was not sent").arg(number);
    }

    QString previousDir;
};

TEST_F(PresetFileFaultTest, EmptyFile)
{
    WritePreset({});
    Upload();
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(SentTo(Controller()).empty());
}

TEST_F(PresetFileFaultTest, NoEndOfMessageAtAll)
{
    Bytes bytes = Message(600);
    bytes.pop_back();
    bytes.insert(bytes.end(), 5000, 0x22);
    WritePreset(bytes);
    Upload();
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(SentTo(Controller()).empty());
}

TEST_F(PresetFileFaultTest, MessageOf1001BytesIsSkippedWithAWarning)
{
    Bytes bytes = Message(1001);
    const Bytes fits = Message(1000);
    bytes.insert(bytes.end(), fits.begin(), fits.end());
    WritePreset(bytes);
    Upload();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, TooLongText(1));
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::Warning);
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() == 1; }));
    EXPECT_EQ(SentTo(Controller())[0].bytes, fits);
}

TEST_F(PresetFileFaultTest, TenMegabyteFile)
{
    // One message of ten megabytes, then an ordinary one.
    Bytes bytes = Message(10 * 1024 * 1024);
    const Bytes small = {0xF0, 0x00, 0x20, 0x32, 0x7F, 0x15, 0x20, 0xF7};
    bytes.insert(bytes.end(), small.begin(), small.end());
    WritePreset(bytes);
    Upload();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, TooLongText(1));
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() == 1; }));
    EXPECT_EQ(SentTo(Controller())[0].bytes, small);
}

TEST_F(PresetFileFaultTest, UnreadableFile)
{
    // Root reads any plain file; a folder of that name cannot be read as one.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QLatin1String(TfMidiSetup::PresetFileName)));
    Upload();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, QStringLiteral("Cannot open file Tavrelk.SYX"));
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::Error);
    EXPECT_TRUE(SentTo(Controller()).empty());
}

TEST_F(PresetFileFaultTest, ManySkippedMessagesAreReportedOnceWithTheirCount)
{
    // Stray F7s after an over-long message: each ends another over-long message.
    Bytes bytes = Message(1001);
    bytes.insert(bytes.end(), 20, 0xF7);
    const Bytes fits = Message(10);
    bytes.insert(bytes.end(), fits.begin(), fits.end());
    WritePreset(bytes);
    Upload();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, QStringLiteral("21 messages of Tavrelk.SYX are longer than 1000 bytes and were not "
                                            "sent (the first is message 1)"));
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::Warning);
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() == 1; }));
    EXPECT_EQ(SentTo(Controller())[0].bytes, fits);
}
