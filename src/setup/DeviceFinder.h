#pragma once
// TDeviceFinder: the setup dialog's "Find devices". It runs an
// engine::TDeviceSearch with a progress dialog and Cancel, then proposes what
// answered (asking the user to pick when several ports or channels did) and,
// once the user agrees, selects those ports and the channel in the dialog as
// a click would, which saves them.
// Thread: the user-interface thread only.

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QProgressDialog;
class TfMain;
class TfMidiSetup;

namespace engine {
class TDeviceSearch;
}

class TDeviceFinder : public QObject {
    Q_OBJECT
public:
    TDeviceFinder(TfMidiSetup &setup, TfMain &main);
    ~TDeviceFinder() override;

    // Starts a search; nothing while one goes.
    void Run();
    bool Busy() const;
    engine::TDeviceSearch &Search() const { return *FSearch; }

    // Picks one of several findings: the index chosen, or -1 for none. Tests
    // replace it; the default asks with a list.
    using TChooser = std::function<int(const QString &question, const QStringList &items)>;
    static void SetChooser(TChooser chooser);

signals:
    void finished();

private:
    void Ended();
    void Apply(int synth, int controller);

    TfMidiSetup &FSetup;
    TfMain &FMain;
    engine::TDeviceSearch *FSearch;
    QPointer<QProgressDialog> FProgress;
};
