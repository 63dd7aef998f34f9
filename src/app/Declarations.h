#pragma once

#include <QString>

#include <array>

// The program's shared state: the set-up read from the parameter files, the
// acquisition flags, the parameters and results of the instrument poll, the
// readings and value texts of the last scan, the stamps of the running scan
// and the record buffers of the fixed-record files. One object, owned by the
// application, lives for the whole run; procedures take it by reference.
//
// Loose values are typed here: texts are QStrings (empty at start), numbers
// are ints (0 at start), as an empty loose value reads as 0.
struct Declarations {
    static constexpr int TableSize = 41;  // tables indexed 0..40
    static constexpr int FieldCount = 10; // ChannelParam fields 0..9
    static constexpr int ChannelCount = 8;
    using TextTable = std::array<QString, TableSize>;

    // Folder holding the executable; settingfiles/ and datafiles/ live in it.
    QString AppFolder;

    // Clock and scan stamps.
    QString LastTickTime; // "hh:mm:ss" at which the clock tick last acted
    QString TodayStamp;   // "dd-mm-yyyy"
    QString ScanDate;     // TodayStamp at the start of the last scan
    QString ScanTime;     // "hh:mm:ss" at the start of the last scan

    // General set-up.
    std::array<QString, TableSize> GeneralLabel{}; // characters 1..21 of record n
    std::array<QString, TableSize> GeneralValue{}; // characters 22..77 of record n
    int SerialLine = 0;                            // n of "COM n", 1..8 once read
    int StorageRate = 0;                           // 0..9, index into StorageRateName
    std::array<QString, 11> StorageRateName{};     // 0..9 filled at start-up, 10 stays empty

    // Channel set-up: row = channel, column = field (see the Field* indices).
    std::array<std::array<QString, FieldCount>, TableSize> ChannelParam{};
    enum ChannelField { Description = 1, SensorType, Decimals, Unit, Gain, Zero, Active, AlarmMin, AlarmMax };

    // Acquisition state.
    QString AcquisitionFlag; // "1" while acquisition is active
    int StopRequested = 0;   // 1 from Stop until the next Start
    int ReplyTimedOut = 0;   // 1 once the reply time-out fired since last restarted

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

    // File work.
    QString FilePath;
    QString RecordBuffer = QString(80, u' ');
    QString DataRecord = QString(160, u' ');
};

// Full paths of the program's files.
QString SettingFilePath(const Declarations& d, const QString& fileName);
QString DataFolderPath(const Declarations& d);
QString SettingFolderPath(const Declarations& d);

inline const QString GeneralParametersFile = QStringLiteral("generalparameters.txt");
inline const QString ChannelParametersFile = QStringLiteral("channelsparameters.txt");
inline const QString AcquisitionStatusFile = QStringLiteral("acquisitionstatus.txt");
