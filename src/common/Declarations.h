#pragma once

#include "common/Channels.h"
#include "common/Folders.h"

#include <QString>
#include <QStringList>

#include <array>

namespace tarvek {

// The program's shared state (set-up, acquisition flags, poll results, last
// scan's readings and stamps): one object owned by the application for the
// whole run, passed by reference. Flags and counters are ints, 0 until set;
// texts are empty until set.
struct Declarations {
    static constexpr int TableSize = 41;                 // tables indexed 0..40
    static constexpr int FieldCount = ChannelFieldCount; // ChannelParam fields 0..9
    static constexpr int ChannelCount = tarvek::ChannelCount;
    using TextTable = std::array<QString, TableSize>;
    using ChannelRow = tarvek::ChannelRow;
    using RateNames = std::array<QString, 11>; // 0..9 filled at start-up, 10 stays empty
    using ChannelField = tarvek::ChannelField;
    using enum tarvek::ChannelField;

    // What the set-up files hold, as the program last read them. Load
    // replaces it only as a whole.
    struct SetUpState {
        TextTable GeneralLabel{}; // characters 1..21 of general record n
        TextTable GeneralValue{}; // characters 22..77 of general record n
        int SerialLine = 0;       // n of "COM n", 1..8 once read
        int StorageRate = 0;      // 0..9, index into StorageRateName
        // Row = channel, column = field (see ChannelField).
        std::array<ChannelRow, TableSize> ChannelParam{};
        // Values of settingfiles/instrumentparameters.txt, record n at index
        // n - 1, trimmed; none without the file (the instrument's own protocol).
        QStringList InstrumentValue;
    };

    // Folder holding the executable; settingfiles/ and datafiles/ live in it.
    QString AppFolder;

    // Clock and scan stamps.
    QString LastTickTime; // "hh:mm:ss" at which the clock tick last acted
    QString TodayStamp;   // "dd-mm-yyyy"
    QString ScanDate;     // TodayStamp at the start of the last scan
    QString ScanTime;     // "hh:mm:ss" at the start of the last scan

    SetUpState SetUp;
    RateNames StorageRateName{};

    // Acquisition state.
    QString AcquisitionFlag; // "1" while acquisition is active
    int StopRequested = 0;   // 1 from Stop until the next Start

    // Instrument poll.
    int SelectCode = 0;    // byte that opens an exchange
    QString CommandText;   // command sent after the acknowledgement
    int ReplyExpected = 0; // 1: collect an answer after the command
    QString ReplyText;     // answer of the last poll, without its carriage return
    int ReplyComplete = 0; // 1 when the last poll ran to its end

    // Per-channel data of the last scan.
    TextTable ChannelReading{};
    TextTable ChannelValue{};
    int StoreDue = 0;
};

} // namespace tarvek
