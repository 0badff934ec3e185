#include "core/MessageBoxes.h"

#include "platform/AlreadyReported.h"

#include <QApplication>
#include <QMessageBox>

namespace {

TMessageBoxResponder &Responder()
{
    static TMessageBoxResponder responder;
    return responder;
}

QMessageBox::Icon ToQt(TMsgIcon icon)
{
    switch (icon) {
    case TMsgIcon::Error: return QMessageBox::Critical;
    case TMsgIcon::Warning: return QMessageBox::Warning;
    case TMsgIcon::Question: return QMessageBox::Question;
    case TMsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

TMsgResult ShowMessageBox(QWidget *parent, const TMessageBoxRequest &request)
{
    if (Responder())
        return Responder()(request);
    QMessageBox box(ToQt(request.Icon), request.Caption, request.Text, QMessageBox::NoButton, parent);
    if (request.Buttons == TMsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? TMsgResult::Yes : TMsgResult::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return TMsgResult::Ok;
}

QString ApplicationTitle()
{
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Tavrelk") : name;
}

void ShowErrorBox(QWidget *parent, const QString &text)
{
    ShowMessageBox(parent, {QStringLiteral("Error"), text, TMsgIcon::Error, TMsgButtons::Ok});
}

void ShowWarningBox(QWidget *parent, const QString &text)
{
    ShowMessageBox(parent, {QStringLiteral("Warning"), text, TMsgIcon::Warning, TMsgButtons::Ok});
}

void ShowPlainBox(QWidget *parent, const QString &text)
{
    ShowMessageBox(parent, {ApplicationTitle(), text, TMsgIcon::None, TMsgButtons::Ok});
}

void ShowAboutBox(QWidget *parent, const QString &caption, const QString &text)
{
    if (Responder()) {
        Responder()({caption, text, TMsgIcon::None, TMsgButtons::Ok});
        return;
    }
    QMessageBox::about(parent, caption, text);
}

void SetMessageBoxResponder(TMessageBoxResponder responder) { Responder() = std::move(responder); }

void ShowExceptionBox(QWidget *parent, const std::exception &error)
{
    if (dynamic_cast<const EAlreadyReported *>(&error) != nullptr)
        return;
    ShowMessageBox(parent, {ApplicationTitle(), QString::fromLocal8Bit(error.what()), TMsgIcon::Error,
                            TMsgButtons::Ok});
}
