#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

namespace tarvek {

// Every message box goes through here, so one place decides how the operator
// is told and tests can take the messages. Application-modal but only shown,
// never exec'd: the event loop (clock, acquisition) runs on meanwhile. A
// non-empty `detail` goes behind "Show Details...".
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
