#pragma once

// The real window and acquisition control on a fake clock and a fake port:
// the test plays the instrument and the passing seconds.
#include "AcquisitionSupport.h"
#include "FakeSerialPort.h"
#include "WindowTestSupport.h"
#include "acquisition/Acquisition.h"
#include "config/DefaultSetup.h"

inline const QDate Today(2008, 3, 5);

// Eight 8-character fields: 1.000, 2.000 ... 8.000 with gain 1 and zero 0.
inline QByteArray GoodAnswer() {
    QByteArray answer;
    for (int i = 1; i <= 8; ++i)
        answer += "+000" + QByteArray::number(i) + "000";
    return answer;
}

class AcquisitionTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(InstallDefaultSetup(d.AppFolder)); // line 1, every 30 seconds, gain 1, zero 0
        clock.Set(QDateTime(Today, QTime(10, 14, 50)));
        Start();
        window->Timer1()->stop(); // the test moves the clock
        // A short reply time-out keeps the silent-instrument cases quick.
        window->TimerTimeoutCom()->setInterval(100);
        acquisition = std::make_unique<Acquisition>(d, *window, port, clock);
        TickAt(QTime(10, 14, 50));
    }
    void TearDown() override {
        acquisition.reset();
        WindowTest::TearDown();
    }

    void TickAt(const QTime& time) {
        clock.Set(QDateTime(Today, time));
        window->ClockTick();
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
    QByteArray DataFile() const { return ReadBytes(DataPath("03-2008-Data.txt")); }
    QByteArray StatusRecord() const { return ReadBytes(SettingPath(AcquisitionStatusFile)).left(80); }
    QStringList Readings() const {
        QStringList texts;
        for (int n = 1; n <= 8; ++n)
            texts << form->Label2(n)->text();
        return texts;
    }

    FakeSerialPort port;
    std::unique_ptr<Acquisition> acquisition;
};
