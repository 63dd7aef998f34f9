#include "acquisition/Acquisition.h"

#include "acquisition/AcquisitionStatus.h"
#include "acquisition/Serial.h"
#include "data/ElaborationData.h"
#include "data/StoringData.h"
#include "data/VisualizationData.h"

namespace {

bool IsQuarterMinute(const QString& timeText) {
    const QString seconds = timeText.mid(6, 2);
    return seconds == u"00" || seconds == u"15" || seconds == u"30" || seconds == u"45";
}

} // namespace

Acquisition::Acquisition(Declarations& d, AcquisitionView& view, SerialPortService& port,
                         QTimer& replyTimeout, QObject* parent)
    : QObject(parent), d_(d), view_(view), port_(port), poll_(d, port, replyTimeout, this) {
    connect(&poll_, &InstrumentPoll::Finished, this, &Acquisition::FinishScan);
}

Acquisition::~Acquisition() {
    // Leaving the program in the middle of a scan releases the port at once.
    poll_.Abort();
    CloseSerialLine(port_, poll_.IsRunning());
}

void Acquisition::Start() {
    view_.ShowAcquiring(true);
    d_.AcquisitionFlag = QStringLiteral("1");
    d_.StopRequested = 0;
    view_.ShowState(WaitingText);
    WriteAcquisitionStatus(d_.AppFolder, d_.AcquisitionFlag);
    // A running poll holds the port and reopens it on its own; opening it here
    // would pull it away under the poll.
    if (!poll_.IsRunning() && !OpenSerialLine(d_.SetUp.SerialLine, port_))
        view_.ShowSerialLineError(port_.ErrorText());
    view_.ShowLamp(LampGreen);
}

void Acquisition::Stop() {
    view_.ShowAcquiring(false);
    d_.StopRequested = 1;
    view_.ShowState(EndingText);
    view_.ShowLamp(LampRed);
}

void Acquisition::ActiveSecond(const QString& timeText) {
    if (scanRunning_)
        return;
    if (!IsQuarterMinute(timeText)) {
        view_.ShowState(WaitingText);
        StopPath();
        return;
    }
    view_.ShowState(InProgressText);
    d_.ScanDate = d_.TodayStamp;
    d_.ScanTime = timeText.rightJustified(8, u' ');
    CheckStorageDue(d_);
    RunScan();
}

void Acquisition::RunScan() {
    scanRunning_ = true;
    view_.ShowLamp(LampYellow); // shows before the poll sends its first byte
    d_.SelectCode = 128;
    d_.CommandText = QStringLiteral("K");
    d_.ReplyExpected = 1;
    poll_.Start();
}

void Acquisition::FinishScan() {
    for (int i = 1; i <= Declarations::ChannelCount; ++i)
        d_.ChannelReading[i] =
            d_.ReplyComplete == 0 ? QStringLiteral("No Data") : d_.ReplyText.mid((i - 1) * 8, 8);
    ElaborateReadings(d_);
    ShowReadings(d_, view_);
    if (d_.StoreDue == 1)
        view_.ShowStoreFailure(!StoreDataRecord(d_));
    view_.ShowLamp(LampGreen);
    scanRunning_ = false;

    view_.ShowState(WaitingText);
    StopPath();
    emit ScanEnded();
}

void Acquisition::StopPath() {
    if (d_.StopRequested != 1)
        return;
    d_.AcquisitionFlag = QStringLiteral("0");
    view_.ShowState(StandByText);
    WriteAcquisitionStatus(d_.AppFolder, d_.AcquisitionFlag);
    CloseSerialLine(port_, poll_.IsRunning());
}
