// The instrument set-up file: what its values give, what cannot be used and
// what follows from it, and the file among the other set-up files.
#include "config/DefaultSetup.h"
#include "config/InstrumentParameters.h"
#include "config/SetUpEntries.h"
#include "config/SettingFiles.h"

#include "support/TestSupport.h"

#include <sys/stat.h>

using namespace tarvek;

namespace {

// The default file's values with some records changed.
QStringList Values(std::initializer_list<std::pair<int, QString>> changes) {
    const QByteArray bytes = DefaultInstrumentRecords().join("").toLatin1();
    QStringList values;
    for (int r = 1; r <= InstrumentRecordCount; ++r)
        values << SettingValueOf(bytes, r);
    for (const auto& [record, value] : changes)
        values[record - 1] = value;
    return values;
}

const std::pair<int, QString> Modbus{ProtocolRecord, "modbus rtu"};
int Record(int c, SourceField field) {
    return SourceRecord(c, field);
}
// Channels 2..8 without a device.
std::initializer_list<std::pair<int, QString>> const OnlyCh1 = {Modbus,
                                                                {Record(2, AddressField), ""},
                                                                {Record(3, AddressField), ""},
                                                                {Record(4, AddressField), ""},
                                                                {Record(5, AddressField), ""},
                                                                {Record(6, AddressField), ""},
                                                                {Record(7, AddressField), ""},
                                                                {Record(8, AddressField), ""}};

struct SetUpRow {
    const char* name;
    QStringList values;
    Protocol protocol;
    LineSettings line;
    std::optional<ModbusSource> ch1;
    std::vector<int> problemRecords = {};
};

class InstrumentSetUps : public ::testing::TestWithParam<SetUpRow> {};

TEST_P(InstrumentSetUps, DecodeOrNameWhatCannotBeUsed) {
    const SetUpRow& row = GetParam();
    const InstrumentSetUp setUp = DecodeInstrumentSetUp(row.values);
    EXPECT_EQ(setUp.protocol, row.protocol);
    EXPECT_EQ(setUp.line, row.line);
    EXPECT_EQ(setUp.sources[0], row.ch1);
    std::vector<int> records;
    for (const InstrumentProblem& p : setUp.problems)
        records.push_back(p.record);
    EXPECT_EQ(records, row.problemRecords);
}

using H = RegisterType;
const LineSettings Instrument{}, Modbus9600{9600, Parity::Even, 1};
using Row = SetUpRow;
INSTANTIATE_TEST_SUITE_P(
    Files, InstrumentSetUps,
    ::testing::Values(
        Row{"NoFileIsTheInstrument", {}, Protocol::Instrument, Instrument, {}},
        Row{"TheDefaultIsTheInstrumentAt2400",
            Values({{BitRateRecord, "19200"}}),
            Protocol::Instrument,
            Instrument,
            {}},
        Row{"ModbusDefaults", Values({Modbus}), Protocol::ModbusRtu, Modbus9600, ModbusSource{1, 3, 0}},
        Row{"UnknownProtocolIsNamed",
            Values({{ProtocolRecord, "Modbus ASCII"}}),
            Protocol::Instrument,
            Instrument,
            {},
            {2}},
        Row{"LineAsGiven",
            Values({Modbus, {BitRateRecord, "115200"}, {ParityRecord, "None"}, {StopBitsRecord, "2"}}),
            Protocol::ModbusRtu,
            {115200, Parity::None, 2},
            ModbusSource{1, 3, 0}},
        Row{"LineValuesUnusableGiveDefaults",
            Values({Modbus,
                    {BitRateRecord, "9601"},
                    {ParityRecord, "mark"},
                    {StopBitsRecord, "3"},
                    {ReplyTimeoutRecord, "5000"},
                    {SilenceRecord, "x"}}),
            Protocol::ModbusRtu,
            Modbus9600,
            ModbusSource{1, 3, 0},
            {3, 4, 5, 6, 7}},
        Row{"Float32LowFirst",
            Values({Modbus,
                    {Record(1, AddressField), "7"},
                    {Record(1, RegisterField), "100"},
                    {Record(1, TypeField), "FLOAT32"},
                    {Record(1, WordOrderField), "low first"}}),
            Protocol::ModbusRtu, Modbus9600, ModbusSource{7, 3, 100, H::Float32, WordOrder::LowFirst}},
        Row{"SixDigitInputRegisterCountsFromOne",
            Values({Modbus, {Record(1, FunctionField), ""}, {Record(1, RegisterField), "301001"}}),
            Protocol::ModbusRtu, Modbus9600, ModbusSource{1, 4, 1000}},
        Row{"SixDigitFormAgainstItsFunction",
            Values({Modbus, {Record(1, RegisterField), "301001"}}),
            Protocol::ModbusRtu,
            Modbus9600,
            {},
            {Record(1, RegisterField)}},
        Row{"RegisterBeyondTheLast",
            Values({Modbus, {Record(1, TypeField), "uint32"}, {Record(1, RegisterField), "65535"}}),
            Protocol::ModbusRtu,
            Modbus9600,
            {},
            {Record(1, RegisterField)}},
        Row{"AddressOutOfRange",
            Values({Modbus, {Record(1, AddressField), "248"}}),
            Protocol::ModbusRtu,
            Modbus9600,
            {},
            {Record(1, AddressField)}},
        Row{"FunctionNotARead",
            Values({Modbus, {Record(1, FunctionField), "06"}}),
            Protocol::ModbusRtu,
            Modbus9600,
            {},
            {Record(1, FunctionField)}},
        Row{"UnknownType",
            Values({Modbus, {Record(1, TypeField), "int64"}}),
            Protocol::ModbusRtu,
            Modbus9600,
            {},
            {Record(1, TypeField)}},
        Row{"WordOrderOnlyCountsFor32Bits", Values({Modbus, {Record(1, WordOrderField), "middle"}}),
            Protocol::ModbusRtu, Modbus9600, ModbusSource{1, 3, 0}}),
    RowName);

TEST(InstrumentSetUp, AProblemNamesTheFileTheRecordTheValueAndTheChannelLeftUnread) {
    const InstrumentSetUp setUp = DecodeInstrumentSetUp(Values(OnlyCh1));
    EXPECT_TRUE(setUp.problems.empty()) << "a blank address leaves a channel unread, unnamed";
    EXPECT_EQ(std::count(setUp.sources.begin(), setUp.sources.end(), std::nullopt), 7);
    const InstrumentSetUp bad = DecodeInstrumentSetUp(Values({Modbus, {Record(3, RegisterField), "-1"}}));
    ASSERT_EQ(bad.problems.size(), 1u);
    EXPECT_EQ(bad.problems[0].text, "settingfiles/instrumentparameters.txt: record 20 (Ch.3 register): "
                                    "\"-1\" cannot be used; Ch.3 reads No Data");
    EXPECT_EQ(bad.problems[0].channel, 3);
}

// Missing, it changes nothing; the default set-up writes it; planted, it is
// refused, never waited on, and a Load keeps the set-up in use.
TEST_F(AppFolderTest, TheInstrumentFileIsOptionalWrittenByTheDefaultAndNeverFollowed) {
    state.SetUp.InstrumentValue = {"stale"};
    ASSERT_TRUE(ReadInstrumentParameters(state.AppFolder, state.SetUp));
    EXPECT_TRUE(state.SetUp.InstrumentValue.isEmpty());
    ASSERT_TRUE(InstallDefaultSetup(state.AppFolder));
    ASSERT_TRUE(ReadInstrumentParameters(state.AppFolder, state.SetUp));
    EXPECT_EQ(state.SetUp.InstrumentValue, Values({}));
    EXPECT_EQ(ReadBytes(SettingPath(InstrumentParametersFile)).mid((BitRateRecord - 1) * 80, 80),
              "Bit rate             9600                                                    *\r\n");

    ASSERT_TRUE(QFile::remove(SettingPath(InstrumentParametersFile)));
    ASSERT_EQ(::mkfifo(QFile::encodeName(SettingPath(InstrumentParametersFile)).constData(), 0664), 0);
    const LoadedSetUp loaded = LoadSetUp(state.AppFolder, state.SetUp);
    EXPECT_FALSE(loaded.setUp);
    EXPECT_EQ(loaded.failures,
              QStringList{SettingPath(InstrumentParametersFile) + ": cannot open (is not a regular file)"});
}

} // namespace
