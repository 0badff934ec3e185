#pragma once
// TPresetUpload: the setup dialog's upload of the controller preset file. It
// reads the file, cuts it into messages as the preset scan defines (messages
// over the buffer size are skipped and reported once at the end), and hands
// the rest to engine::TBcrUpload, which listens to the unit's answers. A
// progress dialog with Cancel shows the lines sent; the window and MIDI input
// go on meanwhile. At the end one message says how it went, and after an
// upload the unit confirmed line by line every current value is echoed to the
// controller, so that the freshly programmed rings show the patch.
// Thread: the user-interface thread only.

#include <QObject>
#include <QPointer>
#include <QString>

class QProgressDialog;
class QPushButton;
class QWidget;
class TfMain;

namespace engine {
class TBcrUpload;
}

class TPresetUpload : public QObject {
    Q_OBJECT
public:
    // `dialog` parents the boxes and the progress dialog; `button` is
    // disabled while an upload goes.
    TPresetUpload(TfMain &main, QWidget *dialog, QPushButton *button);
    ~TPresetUpload() override;

    // Uploads `file` (empty: not found, said in a box). Raises
    // std::runtime_error "Cannot open file %1" when it cannot be read.
    // Returns at once; finished() follows when the upload has ended.
    void Run(const QString &file);
    bool Busy() const;
    void Cancel();
    engine::TBcrUpload &Upload() const { return *FUpload; }

signals:
    void finished();

private:
    void Ended();

    TfMain &FMain;
    QWidget *FDialog;
    QPointer<QPushButton> FButton;
    engine::TBcrUpload *FUpload;
    QPointer<QProgressDialog> FProgress;
    int FSkipped = 0;
    int FFirstSkipped = 0;
};
