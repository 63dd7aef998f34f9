#include "acquisition/Acquisition.h"

#include "acquisition/Serial.h"
#include "acquisition/VisualizationData.h"
#include "config/AcquisitionStatus.h"
#include "data/ElaborationData.h"
#include "data/StoringData.h"

#include <cstdio>

namespace tarvek {

namespace {

bool IsQuarterMinute(const QString& timeText) {
    const QString seconds = timeText.mid(6, 2);
    return seconds == u"00" || seconds == u"15" || seconds == u"30" || seconds == u"45";
}

} // namespace

Acquisition::Acquisition(Declarations& state, AcquisitionView& view, SerialPortService& port,
                         int replyTimeoutMs, QObject* parent)
    : QObject(parent), state_(state), view_(view), port_(port), poll_(port, replyTimeoutMs, this),
      modbus_(port, this) {
    connect(&poll_, &InstrumentPoll::Finished, this, &Acquisition::FinishScan);
    connect(&modbus_, &ModbusPoll::Finished, this, &Acquisition::FinishModbusScan);
    TakeInstrumentSetUp();
}

Acquisition::~Acquisition() {
    // Leaving the program in the middle of a scan releases the port at once.
    poll_.Abort();
    modbus_.Abort();
    CloseSerialLine(port_);
}

void Acquisition::Start() {
    view_.ShowAcquiring(true);
    state_.AcquisitionFlag = QStringLiteral("1");
    state_.StopRequested = 0;
    view_.ShowState(WaitingText);
    WriteAcquisitionStatus(state_.AppFolder, state_.AcquisitionFlag);
    if (alarms_)
        alarms_->AcquisitionStarted();
    // A running poll holds the port and reopens it on its own; opening it here
    // would pull it away under the poll.
    if (!PollRunning()) {
        port_.SelectLineSettings(instrument_.line);
        if (!OpenSerialLine(state_.SetUp.SerialLine, port_))
            view_.ShowSerialLineError(port_.ErrorText());
    }
    view_.ShowLamp(LampGreen);
}

void Acquisition::Stop() {
    view_.ShowAcquiring(false);
    state_.StopRequested = 1;
    view_.ShowState(EndingText);
    view_.ShowLamp(LampRed);
}

void Acquisition::ActiveSecond(const QString& timeText) {
    if (scanRunning_)
        return;
    if (!IsQuarterMinute(timeText)) {
        view_.ShowState(WaitingText);
        FinishStopIfRequested();
        return;
    }
    view_.ShowState(InProgressText);
    state_.ScanDate = state_.TodayStamp;
    state_.ScanTime = timeText.rightJustified(8, u' ');
    CheckStorageDue(state_);
    RunScan();
}

void Acquisition::RunScan() {
    scanRunning_ = true;
    view_.ShowLamp(LampYellow); // shows before the poll sends its first byte
    if (instrument_.protocol == Protocol::ModbusRtu) {
        const ModbusTiming timing{instrument_.line, instrument_.replyTimeoutMs,
                                  double(instrument_.silenceMs)};
        modbus_.Start({state_.SetUp.SerialLine, timing, instrument_.sources});
        return;
    }
    port_.SelectLineSettings(instrument_.line);
    state_.SelectCode = 128;
    state_.CommandText = QStringLiteral("K");
    state_.ReplyExpected = 1;
    state_.ReplyText.clear();
    state_.ReplyComplete = 0;
    poll_.Start({state_.SelectCode, state_.CommandText.toLatin1(), state_.ReplyExpected != 0,
                 state_.SetUp.SerialLine});
}

void Acquisition::FinishScan(const PollResult& result) {
    state_.ReplyText = result.replyText;
    state_.ReplyComplete = result.replyComplete ? 1 : 0;
    for (int i = 1; i <= Declarations::ChannelCount; ++i)
        state_.ChannelReading[i] =
            state_.ReplyComplete == 0 ? QStringLiteral("No Data") : state_.ReplyText.mid((i - 1) * 8, 8);
    CompleteScan(InstrumentReadingsPerUnit);
}

void Acquisition::FinishModbusScan(const ModbusPollResult& result) {
    state_.ReplyText.clear();
    state_.ReplyComplete = result.answered ? 1 : 0; // no device answering is the instrument silent
    for (int i = 1; i <= Declarations::ChannelCount; ++i)
        state_.ChannelReading[i] = result.readings[i - 1];
    CompleteScan(RegisterReadingsPerUnit);
}

// The scan's readings elaborated, shown, stored when due and watched, as for
// any instrument.
void Acquisition::CompleteScan(double readingsPerUnit) {
    ElaborateReadings(state_, readingsPerUnit);
    ShowReadings(state_, view_);
    std::optional<FileOutcome> store;
    if (state_.StoreDue == 1) {
        store = StoreDataRecord(state_);
        view_.ShowStoreFailure(!*store);
    }
    if (alarms_)
        alarms_->ScanEnded(store);
    view_.ShowLamp(LampGreen);
    scanRunning_ = false;

    view_.ShowState(WaitingText);
    FinishStopIfRequested();
    emit ScanEnded();
}

void Acquisition::FinishStopIfRequested() {
    if (state_.StopRequested != 1)
        return;
    state_.AcquisitionFlag = QStringLiteral("0");
    view_.ShowState(StandByText);
    WriteAcquisitionStatus(state_.AppFolder, state_.AcquisitionFlag);
    CloseSerialLine(port_, PollRunning());
    if (alarms_)
        alarms_->AcquisitionStopped();
}

void Acquisition::SetUpLoaded() {
    TakeInstrumentSetUp();
    if (alarms_)
        alarms_->SetUpLoaded();
}

// What of it cannot be used leaves channels unread (or takes a default),
// and is said each time a set-up is taken in use.
void Acquisition::TakeInstrumentSetUp() {
    instrument_ = DecodeInstrumentSetUp(state_.SetUp.InstrumentValue);
    for (const InstrumentProblem& problem : instrument_.problems)
        std::fprintf(stderr, "tarvek: %s\n", qPrintable(problem.text));
}

} // namespace tarvek
