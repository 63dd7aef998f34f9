#include "ui/Messages.h"

namespace tarvek {

namespace {

MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}

} // namespace

void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                 const QString& detail) {
    if (const MessageHook& hook = Hook()) {
        hook(icon, title, text, detail);
        return;
    }
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->setDetailedText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

MessageHook SetMessageHook(MessageHook hook) {
    MessageHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

} // namespace tarvek
