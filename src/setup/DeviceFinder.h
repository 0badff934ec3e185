#pragma once
// TDeviceFinder: the setup dialog's "Find devices". It runs an
// engine::TDeviceSearch with a progress dialog and Cancel, then proposes what
// answered (asking the user to pick when several ports or channels did; the
// search's notes, such as an answer left out, come with the proposal) and,
// once the user agrees, tells what was chosen (chosen()); the setup dialog
// selects those ports and the channel as a click would, which saves them.
// Thread: the user-interface thread only.

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QProgressDialog;
class QWidget;

namespace engine {
class TDeviceSearch;
class TPortRoles;
}

class TDeviceFinder : public QObject {
    Q_OBJECT
public:
    // The search closes the roles of `ports` for its time. `parent` owns the
    // finder and parents its boxes and progress dialog.
    TDeviceFinder(engine::TPortRoles &ports, QWidget *parent);
    ~TDeviceFinder() override;

    // Starts a search; nothing while one goes.
    void Run();
    bool Busy() const;
    engine::TDeviceSearch &Search() const { return *FSearch; }

    // Picks one of several findings: the index chosen, or -1 for none. Tests
    // replace it; the default (an empty one) asks with a list.
    using TChooser = std::function<int(const QString &question, const QStringList &items)>;
    static void SetChooser(TChooser chooser);

signals:
    // What the user agreed to use; -1 for what was not found or not chosen.
    void chosen(int synthOut, int synthIn, int channel, int ctrlOut, int ctrlIn);
    void finished();

private:
    void Ended();
    void Apply(int synth, int controller);
    int Choose(const QString &question, const QStringList &items) const;

    QWidget *FParent;
    engine::TDeviceSearch *FSearch;
    QPointer<QProgressDialog> FProgress;
};
