#pragma once

#include "data/MonthFiles.h"
#include "seal/SealCrypto.h"

#include <QByteArray>

#include <optional>

namespace tarvek {

// The hash chain of one month's seals (seals/mm-yyyy-Seal.txt): it starts at
// the genesis of the key that opens the month and takes in, line by line,
// every record first seen since the line before (the data file's, then the
// event log's, each in its order) and then the signed part of the line itself:
//   genesis  = SHA-256("TARVEK-SEAL-1 genesis" | "mm-yyyy" | public key)
//   record   = SHA-256(head | "D" or "E" | "mm-yyyy" | number, 8 bytes big-endian | 160 bytes)
//   line     = SHA-256(head | "L" | the line's signed bytes)
// A line's head field holds the chain after its records, before the line. So
// every head commits to every record and every earlier line of the month.
Digest Genesis(int month, const PublicKey& key);
Digest RecordStep(const Digest& head, MonthFileKind kind, int month, qint64 number, QByteArrayView record);
Digest LineStep(const Digest& head, QByteArrayView signedPart);

// "mm-yyyy" of a month key (data/MonthFiles.h), and back (-1 for any other text).
QByteArray MonthText(int month);
int MonthOfText(QByteArrayView text);

// The record length of a month file, and the names of the files of a month:
// the logger's, and the sealer's copy of it and its seals.
int RecordLength(MonthFileKind kind);
QString MonthFileOf(MonthFileKind kind, int month);
QString SealedCopyOf(MonthFileKind kind, int month);
QString SealFileOf(int month);

// `n` (from 0) in `width` digits with leading zeros, cut to its last digits.
QByteArray ZeroPadded(qint64 n, int width);

// A record's date and time as the wall clock stamped it (StoredTime), or
// nothing for a record that holds none (a filler, a foreign line).
std::optional<qint64> RecordStampMs(MonthFileKind kind, QByteArrayView record);

} // namespace tarvek
