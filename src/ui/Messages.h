#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

namespace tarvek {

// Every message box of the program goes through ShowMessage, so that one
// place decides how the operator is told and tests can take the messages.
//
// The box is application-modal with one OK button, but it is only shown: the
// handler that raised it returns at once and the event loop (clock tick,
// acquisition) goes on while the box waits for the operator. A non-empty
// `detail` is offered behind the box's "Show Details..." button.
void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                 const QString& detail = {});

// A replacement for the box; it receives what the box would have shown.
using MessageHook = std::function<void(QMessageBox::Icon icon, const QString& title, const QString& text,
                                       const QString& detail)>;

// Installs `hook` in place of the box (an empty hook brings the box back) and
// returns the hook that was installed before.
MessageHook SetMessageHook(MessageHook hook);

// Title of the program's message boxes.
inline const QString MessageTitle = QStringLiteral("TARVEK");

} // namespace tarvek
