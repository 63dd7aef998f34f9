#pragma once

// Helpers for the acquisition tests: a good answer, whole data files.
#include "acquisition/Acquisition.h"
#include "support/FakeSerialPort.h"
#include "support/TestSupport.h"

namespace tarvek {

// Keeps what the acquisition control shows.
struct RecordingView : AcquisitionView {
    void ShowState(const QString& text) override { state = text; }
    void ShowLamp(int colour) override { lamp = colour; }
    void ShowAcquiring(bool on) override { acquiring = on; }
    void ShowReadings(const Declarations::TextTable& values) override {
        readings = QStringList(values.begin() + 1, values.begin() + 9);
    }
    void ShowStoreFailure(bool failed) override { storeFailed = failed; }
    void ShowSerialLineError(const QString& reason) override { serialErrors << reason; }

    QString state;
    int lamp = 0;
    bool acquiring = false, storeFailed = false;
    QStringList readings, serialErrors;
};

// Eight 8-character fields: 1.000, 2.000 ... 8.000 with gain 1 and zero 0.
inline const QByteArray GoodAnswer = "+0001000+0002000+0003000+0004000+0005000+0006000+0007000+0008000";

// Plays the instrument for the poll that is waiting: "!" to the select byte, then `answer` to the command;
// returns when the scan has ended.
inline void AnswerThePoll(FakeSerialPort& port, const Acquisition& acquisition,
                          const QByteArray& answer = GoodAnswer) {
    ASSERT_TRUE(WaitUntil([&] { return port.Written().endsWith('\x80'); }, 2000));
    port.InjectBytes("!");
    ASSERT_TRUE(port.Written().endsWith("K\r"));
    port.InjectBytes(answer + "\r");
    ASSERT_TRUE(WaitUntil([&] { return !acquisition.ScanRunning(); }, 2000));
}

// Whole 160-byte records, and the header count naming the last of them.
inline void ExpectWholeDataFile(const QByteArray& file, int records) {
    ASSERT_EQ(file.size(), (records + 1) * 160);
    EXPECT_EQ(file.mid(14, 5).trimmed().toInt(), records);
    for (qsizetype r = 0; r < file.size(); r += 160)
        EXPECT_TRUE(file.mid(r, 160).endsWith(" *\r\n")) << "record " << r / 160 + 1;
}

} // namespace tarvek
