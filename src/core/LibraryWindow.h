#pragma once
// TLibraryWindow: the patch library in a window of its own. A table of the
// patches (name, tags, favourite, rating, first seen, source, the two waves,
// cutoff and the two envelopes as sketches), a search field and filters,
// a sort by likeness to the patch being edited. Enter or a double click
// auditions a patch (the editor loads it: shown, echoed, heard). Names, tags,
// favourite and rating are edited in place. A bank of up to 64 programs is
// put together from the library and saved as a file or sent with the
// librarian's confirmed writes; a selection is exported as a bank or as
// single files. Imports run off the user-interface thread.
// Thread: the user-interface thread only.

#include "dw/SyxFile.h"
#include "engine/PatchImport.h"
#include "engine/PatchLibrary.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QWidget>

#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressDialog;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;

namespace engine {
class TEditor;
class TLibrarian;
struct TTransferResult;
} // namespace engine

// The rows of a search, editable where the user may change them.
class TLibraryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { Name, Tags, Favourite, Rating, FirstSeen, Source, Wave1, Wave2, Cutoff, VcfEnv, VcaEnv, ColumnCount };
    // The envelope columns give their six values (0..31) in this role.
    static constexpr int EnvelopeRole = Qt::UserRole + 1;

    explicit TLibraryModel(engine::TPatchLibrary &library, QObject *parent = nullptr);

    void SetRows(std::vector<engine::TLibraryPatch> rows);
    const engine::TLibraryPatch &Row(int row) const { return FRows[std::size_t(row)]; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    // A drag carries the patches' ids, one per row, in the order shown.
    static const QString PatchIdsMimeType;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;

signals:
    void editFailed(const QString &why);

private:
    QVariant Display(const engine::TLibraryPatch &p, int column) const;
    bool Store(engine::TLibraryPatch &p, int column, const QVariant &value);

    engine::TPatchLibrary &FLibrary;
    std::vector<engine::TLibraryPatch> FRows;
};

class TLibraryWindow : public QWidget {
    Q_OBJECT
public:
    // Rows shown when sorted by likeness: the nearest ones.
    static constexpr int LikeRows = 500;

    TLibraryWindow(engine::TPatchLibrary &library, engine::TEditor &editor, engine::TLibrarian &librarian,
                   QWidget *parent = nullptr);
    ~TLibraryWindow() override;

    // Runs the search again with the fields as they are.
    void Refresh();
    // Sends the patch of a table row to the edit buffer.
    void Audition(int row);
    // Imports in the background; importFinished() at the end.
    void Import(const QStringList &paths);
    void CancelImport();
    // The selected rows into the bank's next empty programs; how many fitted.
    int AddSelectionToBank();
    // Patches dropped on program `first` (0..63): placed there and in the
    // programs after it, replacing what was chosen; how many fitted.
    int DropOnBank(const QMimeData &data, int first);
    // Deletes the selected rows after one question; false when not asked or refused.
    bool DeleteSelection();
    bool SaveBank(const QString &path);
    bool SendBank();
    bool ExportSelectionAsBank(const QString &path);
    bool ExportSelectionAsFiles(const QString &folder);

    // The bank being put together: a patch or nothing for each program 0..63.
    const std::array<std::optional<engine::TLibraryPatch>, 64> &Bank() const { return FBank; }
    TLibraryModel &Model() { return *FModel; }

    QLineEdit *eSearch = nullptr;
    QCheckBox *cbFavourites = nullptr;
    QComboBox *cbWave1 = nullptr;
    QSpinBox *sCutoffBelow = nullptr;
    QCheckBox *cbLike = nullptr;
    QTableView *tvPatches = nullptr;
    QListWidget *lwBank = nullptr;
    QLabel *lStatus = nullptr;
    QLabel *lProblem = nullptr;
    QPushButton *bMoveAside = nullptr;

signals:
    void importFinished(const engine::TImportSummary &summary);

private:
    QWidget *MakeFilters();
    QWidget *MakeBankPanel();
    QWidget *MakeButtons();
    void ShowProblem();
    void MoveAside();
    void ChooseFilesToImport();
    void ChooseFolderToImport();
    void ImportDone(const engine::TImportSummary &summary);
    void ExportChosen();
    void SaveBankChosen();
    void SendFinished(const engine::TTransferResult &result);
    std::vector<int> SelectedRows() const;
    std::vector<dw::TFileProgram> BankPrograms() const;
    void ShowBank();
    void TellWhatDidNotFit(std::size_t chosen, int placed);
    bool eventFilter(QObject *watched, QEvent *event) override;
    void SetStatus(const QString &text);
    engine::TPatchQuery Query() const;

    engine::TPatchLibrary &FLibrary;
    engine::TEditor &FEditor;
    engine::TLibrarian &FLibrarian;
    TLibraryModel *FModel;
    QTimer *FSearchDelay;
    std::array<std::optional<engine::TLibraryPatch>, 64> FBank;
    QPointer<engine::TImportJob> FImport;
    QPointer<QProgressDialog> FImportProgress;
    bool FSending = false;
};
