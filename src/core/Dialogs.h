#pragma once
// The library's questions: a file name to open or save, and a choice from a
// list (a program 11..88). Like the message boxes they go through here, so
// that tests can answer them without a person.
// Thread: the user-interface thread.

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

struct TFileDialogRequest {
    bool Save = false;
    QString Caption;
    QString Folder;
    QString Filter;
    bool ChooseFolder = false; // a folder rather than a file
};

// The chosen path, or empty when the person cancelled.
QString AskFileName(QWidget *parent, const TFileDialogRequest &request);
// Files to open, several at once; empty when the person cancelled. A test's
// responder answers with one.
QStringList AskFileNames(QWidget *parent, const TFileDialogRequest &request);

struct TChoiceRequest {
    QString Caption;
    QString Label;
    QStringList Items;
    int Current = 0;
};

// The index of the chosen item, or -1 when the person cancelled.
int AskChoice(QWidget *parent, const TChoiceRequest &request);

// Tests answer instead of a person; empty functions restore the dialogs.
using TFileDialogResponder = std::function<QString(const TFileDialogRequest &)>;
using TChoiceResponder = std::function<int(const TChoiceRequest &)>;
void SetFileDialogResponder(TFileDialogResponder responder);
void SetChoiceResponder(TChoiceResponder responder);
