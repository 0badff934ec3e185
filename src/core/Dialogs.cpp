#include "core/Dialogs.h"

#include <QFileDialog>
#include <QInputDialog>

namespace {

TFileDialogResponder &FileResponder()
{
    static TFileDialogResponder responder;
    return responder;
}

TChoiceResponder &ChoiceResponder()
{
    static TChoiceResponder responder;
    return responder;
}

} // namespace

void SetFileDialogResponder(TFileDialogResponder responder) { FileResponder() = std::move(responder); }

void SetChoiceResponder(TChoiceResponder responder) { ChoiceResponder() = std::move(responder); }

QString AskFileName(QWidget *parent, const TFileDialogRequest &request)
{
    if (FileResponder())
        return FileResponder()(request);
    if (request.ChooseFolder)
        return QFileDialog::getExistingDirectory(parent, request.Caption, request.Folder);
    return request.Save ? QFileDialog::getSaveFileName(parent, request.Caption, request.Folder, request.Filter)
                        : QFileDialog::getOpenFileName(parent, request.Caption, request.Folder, request.Filter);
}

QStringList AskFileNames(QWidget *parent, const TFileDialogRequest &request)
{
    if (FileResponder()) {
        const QString one = FileResponder()(request);
        return one.isEmpty() ? QStringList() : QStringList{one};
    }
    return QFileDialog::getOpenFileNames(parent, request.Caption, request.Folder, request.Filter);
}

int AskChoice(QWidget *parent, const TChoiceRequest &request)
{
    if (ChoiceResponder())
        return ChoiceResponder()(request);
    bool ok = false;
    const QString item =
        QInputDialog::getItem(parent, request.Caption, request.Label, request.Items, request.Current, false, &ok);
    return ok ? int(request.Items.indexOf(item)) : -1;
}
