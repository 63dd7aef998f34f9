#pragma once

#include <QString>
#include <QStringList>

namespace tarvek {

// The logger keeps one data file per month, "mm-yyyy-Data.txt", in its data
// folder. Every program that reads that folder names, orders and lists the
// files with what is here.

// "mm-yyyy-Data.txt" for a scan stamped "dd-mm-yyyy".
QString DataFileName(const QString& scanDate);
// "mm-yyyy-Events.txt", the month's event log beside its data file.
QString EventFileName(const QString& scanDate);

// What a month file holds: the stored records, the month's event log, or
// the sealer's signed lines of the month ("mm-yyyy-Seal.txt" in seals/).
enum class MonthFileKind { Data, Events, Seals };

// Year * 12 + month - 1 of a month file's name (the file name of `path`), or
// -1 for any other name (a twin with a line end after ".txt" included):
// calendar order is the order of the keys.
int MonthKey(const QString& path, MonthFileKind kind = MonthFileKind::Data);

// The names of `folder`'s entries that are month files of `kind`, in calendar order:
// every entry that is not a folder (files, links and any other kind, whose
// readers refuse what is no regular file), hidden or not, readable or not.
// Only month names are examined further: a folder may hold tens of
// thousands of other entries.
QStringList ListMonthFiles(const QString& folder, MonthFileKind kind = MonthFileKind::Data);

} // namespace tarvek
