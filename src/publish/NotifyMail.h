#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarvek {

// What the notification command reads on its standard input: a mail message
// that a mail submission program such as msmtp takes as it stands. Headers
// (the subject, a plain UTF-8 text), an empty line, then the summary lines as
// its text. A subject that is not plain ASCII, or too long for one header
// line, goes as encoded words. Control characters become blanks, so no text
// of the logs can add a header or break a summary line in two.
QByteArray MailMessage(const QString& subject, const QStringList& lines);

} // namespace tarvek
