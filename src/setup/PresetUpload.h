#pragma once
// TPresetUpload: the setup dialog's upload of the controller preset file. It
// reads the file, cuts it into messages as the preset scan defines (messages
// over the buffer size are skipped and reported once at the end), and hands
// the rest to engine::TBcrUpload, which listens to the unit's answers. A
// progress dialog with Cancel shows the lines sent; the window and MIDI input
// go on meanwhile. At the end one message says how it went (the engine's
// upload has echoed the patch to a unit that confirmed every line).
// Thread: the user-interface thread only.

#include <QObject>
#include <QPointer>
#include <QString>

class QProgressDialog;
class QPushButton;
class QWidget;

namespace engine {
class TBcrUpload;
class TEditor;
class TPortRoles;
}

class TPresetUpload : public QObject {
    Q_OBJECT
public:
    static constexpr const char *PresetFileName = "Tavrelk.SYX";

    // Sends to the controller roles of `ports`. `dialog` parents the boxes
    // and the progress dialog; `button` is disabled while an upload goes.
    // The ports and the editor must outlive the object.
    TPresetUpload(engine::TPortRoles &ports, engine::TEditor &editor, QWidget *dialog, QPushButton *button);
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

    engine::TPortRoles &FPorts;
    QWidget *FDialog;
    QPointer<QPushButton> FButton;
    engine::TBcrUpload *FUpload;
    QPointer<QProgressDialog> FProgress;
    int FSkipped = 0;
    int FFirstSkipped = 0;
};
