#pragma once

// The scans that tarvek-store-worker stores, one per sequence number, so that
// the crash test can tell which record belongs where and rebuild its bytes.
#include "common/TextHelpers.h"
#include "data/ElaborationData.h"
#include "data/StoringData.h"

enum class WorkerMonths {
    One,   // every scan in March 2008
    Change // a new month every five scans
};

// Stamps ScanDate, ScanTime and the eight values of scan `seq` (from 0). The
// sequence number stands in the first and the last value, so a record that
// mixes two scans shows.
inline void StampScan(Declarations& d, long long seq, WorkerMonths months) {
    const long long month = seq / 5;
    d.ScanDate = DateStamp(months == WorkerMonths::One
                               ? QDate(2008, 3, 1 + int(seq / 86400 % 28))
                               : QDate(2000 + int(month / 12), 1 + int(month % 12), 1 + int(seq % 5)));
    d.ScanTime = TimeText(QTime(0, 0).addSecs(int(seq % 86400)));
    for (int k = 2; k < Declarations::ChannelCount; ++k)
        d.ChannelValue[k] = ValueText(double(seq % 1000) * (k - 4) / 7.0);
    d.ChannelValue[1] = d.ChannelValue[Declarations::ChannelCount] =
        QString::number(seq).rightJustified(ValueWidth, u' ');
}

inline QByteArray ScanRecord(long long seq, WorkerMonths months) {
    Declarations d;
    StampScan(d, seq, months);
    return BuildDataRecord(d).toLatin1();
}

// The first scan stored into the data file of scan `seq`.
inline long long FirstScanOfFile(long long seq, WorkerMonths months) {
    return months == WorkerMonths::One ? 0 : seq / 5 * 5;
}

// The data file of scan `seq`: named after the date its record starts with.
inline QString ScanFileName(long long seq, WorkerMonths months) {
    return DataFileName(QString::fromLatin1(ScanRecord(seq, months).left(10)));
}
