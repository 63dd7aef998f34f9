#pragma once

// The scans that tarvek-store-worker stores, one per sequence number, so that
// the crash test can tell which record belongs where and rebuild its bytes.
#include "app/Declarations.h"
#include "common/TextHelpers.h"
#include "data/ElaborationData.h"
#include "data/StoringData.h"

#include <QDate>
#include <QTime>

enum class WorkerMonths {
    One,   // every scan in March 2008
    Change // a new month every RecordsPerMonth scans
};

inline constexpr int RecordsPerMonth = 5;

// Stamps ScanDate, ScanTime and the eight values of scan `seq` (from 0). The
// sequence number stands in the first and the last value, so a record that
// mixes two scans shows.
inline void StampScan(Declarations& d, long long seq, WorkerMonths months) {
    QDate date;
    if (months == WorkerMonths::One) {
        date = QDate(2008, 3, 1 + int(seq / 86400 % 28));
    } else {
        const long long month = seq / RecordsPerMonth;
        date = QDate(2000 + int(month / 12), 1 + int(month % 12), 1 + int(seq % RecordsPerMonth));
    }
    d.ScanDate = DateStamp(date);
    d.ScanTime = TimeText(QTime(0, 0).addSecs(int(seq % 86400)));
    const QString stamp = QString::number(seq).rightJustified(ValueWidth, u' ');
    d.ChannelValue[1] = stamp;
    for (int k = 2; k < Declarations::ChannelCount; ++k)
        d.ChannelValue[k] = ValueText(double(seq % 1000) * (k - 4) / 7.0);
    d.ChannelValue[Declarations::ChannelCount] = stamp;
}

// The data file of scan `seq`, and the bytes of its data record.
inline QString ScanFileName(long long seq, WorkerMonths months) {
    Declarations d;
    StampScan(d, seq, months);
    return DataFileName(d.ScanDate);
}

inline QByteArray ScanRecord(long long seq, WorkerMonths months) {
    Declarations d;
    StampScan(d, seq, months);
    return BuildDataRecord(d).toLatin1();
}
