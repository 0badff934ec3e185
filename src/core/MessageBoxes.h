#pragma once
// Every message box of the program goes through here, so that tests can
// answer them without a person and see what was asked.
// Thread: the user-interface thread.

#include <QString>

#include <exception>
#include <functional>

class QWidget;

enum class TMsgIcon { None, Error, Warning, Question };
enum class TMsgButtons { Ok, YesNo };
enum class TMsgResult { Ok, Yes, No };

struct TMessageBoxRequest {
    QString Caption;
    QString Text;
    TMsgIcon Icon = TMsgIcon::None;
    TMsgButtons Buttons = TMsgButtons::Ok;
};

// Shows a modal box (the event loop keeps running meanwhile) and returns the
// button pressed. With YesNo, Yes is the default button and closing the box
// counts as No.
TMsgResult ShowMessageBox(QWidget *parent, const TMessageBoxRequest &request);

// The application's title, the caption of plain boxes and of the error box.
QString ApplicationTitle();

// Convenience forms with the program's captions.
void ShowErrorBox(QWidget *parent, const QString &text);    // "Error", OK
void ShowWarningBox(QWidget *parent, const QString &text);  // "Warning", OK
void ShowPlainBox(QWidget *parent, const QString &text);    // application title, OK
// The about box: the application's icon, `caption`, OK.
void ShowAboutBox(QWidget *parent, const QString &caption, const QString &text);

// Tests install a responder that answers instead of a person; an empty
// function restores the real boxes. The responder sees every request.
using TMessageBoxResponder = std::function<TMsgResult(const TMessageBoxRequest &)>;
void SetMessageBoxResponder(TMessageBoxResponder responder);

// The application's error box for an exception that left a handler:
// caption the application's title, text the exception's message. Nothing
// for an EAlreadyReported.
void ShowExceptionBox(QWidget *parent, const std::exception &error);
