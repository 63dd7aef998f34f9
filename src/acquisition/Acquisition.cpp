#include "acquisition/Acquisition.h"

#include "acquisition/AcquisitionStatus.h"
#include "acquisition/Serial.h"
#include "app/MDIForm1.h"
#include "data/ElaborationData.h"
#include "data/StoringData.h"
#include "data/VisualizationData.h"
#include "ui/FormChannels.h"

#include <QPushButton>

namespace {

bool IsQuarterMinute(const QString& timeText) {
    const QString seconds = timeText.mid(6, 2);
    return seconds == u"00" || seconds == u"15" || seconds == u"30" || seconds == u"45";
}

} // namespace

Acquisition::Acquisition(Declarations& d, MDIForm1& window, SerialPortService& port, const WallClock& clock,
                         QObject* parent)
    : QObject(parent), d_(d), window_(window), port_(port), clock_(clock),
      poll_(d, port, *window.TimerTimeoutCom(), this) {
    connect(&poll_, &InstrumentPoll::Finished, this, &Acquisition::FinishScan);
    window_.SetActiveSecondHandler([this](const QString& timeText) { ActiveSecond(timeText); });
    FormChannels* form = window_.Form();
    connect(form->Command3(), &QPushButton::clicked, this, &Acquisition::Start);
    connect(form->Command4(), &QPushButton::clicked, this, &Acquisition::Stop);
}

Acquisition::~Acquisition() {
    // Leaving the program in the middle of a scan releases the port at once.
    poll_.Abort();
    CloseSerialLine(port_, &poll_);
}

void Acquisition::Start() {
    FormChannels& form = *window_.Form();
    form.Command3()->hide();
    form.Command4()->show();
    d_.AcquisitionFlag = QStringLiteral("1");
    d_.StopRequested = 0;
    window_.SetPanel(5, WaitingText);
    WriteAcquisitionStatus(d_);
    // A running poll holds the port and reopens it on its own; opening it here
    // would pull it away under the poll.
    if (!poll_.IsRunning())
        OpenSerialLine(d_, port_, &window_);
    form.SetLampColour(LampGreen);
}

void Acquisition::Stop() {
    FormChannels& form = *window_.Form();
    form.Command4()->hide();
    form.Command3()->show();
    d_.StopRequested = 1;
    window_.SetPanel(5, EndingText);
    form.SetLampColour(LampRed);
}

void Acquisition::ActiveSecond(const QString& timeText) {
    if (scanRunning_)
        return;
    if (!IsQuarterMinute(timeText)) {
        window_.SetPanel(5, WaitingText);
        StopPath();
        return;
    }
    window_.SetPanel(5, InProgressText);
    d_.ScanDate = d_.TodayStamp;
    d_.ScanTime = timeText.rightJustified(8, u' ');
    CheckStorageDue(d_, clock_);
    RunScan();
}

void Acquisition::RunScan() {
    scanRunning_ = true;
    FormChannels& form = *window_.Form();
    form.SetLampColour(LampYellow);
    form.repaint(); // the lamp shows yellow before the poll begins
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
    FormChannels& form = *window_.Form();
    ShowReadings(d_, form);
    if (d_.StoreDue == 1) {
        const FileOutcome stored = StoreDataRecord(d_);
        window_.SetPanel(1, stored ? QString() : DataNotStoredText);
    }
    form.SetLampColour(LampGreen);
    scanRunning_ = false;

    window_.SetPanel(5, WaitingText);
    StopPath();
    emit ScanEnded();
}

void Acquisition::StopPath() {
    if (d_.StopRequested != 1)
        return;
    d_.AcquisitionFlag = QStringLiteral("0");
    window_.SetPanel(5, StandByText);
    WriteAcquisitionStatus(d_);
    CloseSerialLine(port_, &poll_);
}
