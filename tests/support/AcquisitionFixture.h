#pragma once

// The acquisition control on a recording view and a fake port: the test plays
// the instrument and the passing seconds; no window takes part.
#include "AcquisitionSupport.h"
#include "FakeSerialPort.h"
#include "TestSupport.h"
#include "acquisition/Acquisition.h"

#include <QTimer>

#include <memory>

// Eight 8-character fields: 1.000, 2.000 ... 8.000 with gain 1 and zero 0.
inline QByteArray GoodAnswer() {
    QByteArray answer;
    for (int i = 1; i <= 8; ++i)
        answer += "+000" + QByteArray::number(i) + "000";
    return answer;
}

inline const QStringList GoodReadings{"   +1.000", "   +2.000", "   +3.000", "   +4.000",
                                      "   +5.000", "   +6.000", "   +7.000", "   +8.000"};

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

// Line 1, a record every 30 seconds, gain 1 and zero 0 on every channel.
class AcquisitionTest : public AppFolderTest {
  protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        d.SerialLine = 1;
        d.StorageRate = 1;
        for (int c = 1; c <= 8; ++c) {
            d.ChannelParam[c][Declarations::Gain] = "1";
            d.ChannelParam[c][Declarations::Zero] = "0";
        }
        d.TodayStamp = "05-03-2008";
        // A short reply time-out keeps the silent-instrument cases quick.
        replyTimeout.setSingleShot(true);
        replyTimeout.setInterval(100);
        acquisition = std::make_unique<Acquisition>(d, view, port, replyTimeout);
    }

    // What the clock tick does at `time` ("hh:mm:ss").
    void TickAt(const QString& time) {
        if (d.AcquisitionFlag == "1")
            acquisition->ActiveSecond(time);
        else
            view.state = StandByText;
    }
    // Plays the instrument for the poll that is waiting: "!" to the select
    // byte, then the answer to the command.
    void Answer(const QByteArray& answer) {
        ASSERT_TRUE(WaitUntil([&] { return port.Written().endsWith('\x80'); }, 2000));
        port.InjectBytes("!");
        ASSERT_TRUE(port.Written().endsWith("K\r"));
        port.InjectBytes(answer + "\r");
        ASSERT_TRUE(WaitUntil([&] { return !acquisition->ScanRunning(); }, 2000));
    }
    void ScanAt(const QString& time, const QByteArray& answer = GoodAnswer()) {
        TickAt(time);
        Answer(answer);
    }
    QByteArray DataFile() const { return ReadBytes(DataPath("03-2008-Data.txt")); }
    char StatusFlag() const { return ReadBytes(SettingPath(AcquisitionStatusFile)).at(21); }

    RecordingView view;
    FakeSerialPort port;
    QTimer replyTimeout;
    std::unique_ptr<Acquisition> acquisition;
};

// Whole 160-byte records, and the header count naming the last of them.
inline void ExpectWholeDataFile(const QByteArray& file, int records) {
    ASSERT_EQ(file.size(), (records + 1) * 160);
    EXPECT_EQ(file.mid(14, 5).trimmed().toInt(), records);
    for (qsizetype r = 0; r < file.size(); r += 160)
        EXPECT_TRUE(file.mid(r, 160).endsWith(" *\r\n")) << "record " << r / 160 + 1;
}
