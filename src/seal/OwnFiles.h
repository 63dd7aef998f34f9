#pragma once

#include <QByteArrayView>
#include <QString>

#include <cerrno>
#include <optional>

namespace tarvek {

// The sealer's writes into its own folders (seals/ and the key folder).

// "<path>: <what> (<the reason of `error`>)".
QString FailureText(const QString& path, const QString& what, int error = errno);

// Writes all of `bytes` at `offset` (or at the descriptor's place when
// negative), going on after a signal: an error's text, or nothing.
std::optional<QString> WriteFully(int fd, QByteArrayView bytes, const QString& path, qint64 offset = -1);

// The whole records of `length` bytes of the open file after its first
// `skip` bytes, read in one go into their buffer (a month is 14 MB, looked at
// every time it changes); empty when there are none or they cannot be read.
QByteArray WholeRecords(int fd, qint64 skip, int length);

} // namespace tarvek
