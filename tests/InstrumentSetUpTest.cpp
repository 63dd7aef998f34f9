// The instrument set-up file: what its values give, what cannot be used, and the default file.
#include "config/DefaultSetup.h"
#include "config/InstrumentParameters.h"
#include "config/SettingFiles.h"

#include "support/TestSupport.h"

using namespace tarvek;

namespace {

// The default file's values, with "Label=value; ..." changed.
QStringList Values(const QString& changes = {}) {
    const QByteArray bytes = DefaultInstrumentRecords().join("").toLatin1();
    QStringList values;
    for (int r = 1; r <= InstrumentRecordCount; ++r)
        values << SettingValueOf(bytes, r);
    for (const QString& change : changes.split(u';', Qt::SkipEmptyParts))
        for (int r = 1; r <= InstrumentRecordCount; ++r)
            if (InstrumentLabel(r) == change.section(u'=', 0, 0).trimmed())
                values[r - 1] = change.section(u'=', 1);
    return values;
}

struct SetUpRow {
    const char* name;
    QStringList values;
    LineSettings line; // the instrument's own unless Modbus RTU
    std::optional<ModbusSource> ch1;
    QString problems = {}; // the labels of the records named
};

class InstrumentSetUps : public ::testing::TestWithParam<SetUpRow> {};

TEST_P(InstrumentSetUps, DecodeOrNameWhatCannotBeUsed) {
    const SetUpRow& row = GetParam();
    const InstrumentSetUp setUp = DecodeInstrumentSetUp(row.values);
    EXPECT_EQ(setUp.protocol, row.line == LineSettings{} ? Protocol::Instrument : Protocol::ModbusRtu);
    EXPECT_EQ(setUp.line, row.line);
    EXPECT_EQ(setUp.sources[0], row.ch1);
    QStringList named;
    for (const InstrumentProblem& p : setUp.problems)
        named << InstrumentLabel(p.record);
    EXPECT_EQ(named.join(", "), row.problems);
}

using Row = SetUpRow;
const LineSettings Default{9600, Parity::Even, 1};
const QString Modbus = "Protocol=modbus rtu;";
INSTANTIATE_TEST_SUITE_P(
    Files, InstrumentSetUps,
    ::testing::Values(
        Row{"NoFileIsTheInstrument", {}, {}, {}},
        Row{"UnknownProtocolIsNamed", Values("Protocol=Modbus ASCII"), {}, {}, "Protocol"},
        Row{"ModbusDefaults", Values(Modbus), Default, ModbusSource{1, 3, 0}},
        Row{"LineValuesUnusableGiveDefaults",
            Values(Modbus + "Bit rate=9601; Parity=mark; Stop bits=3; Reply time-out ms=5000; "
                            "Frame silence ms=x"),
            Default, ModbusSource{1, 3, 0},
            "Bit rate, Parity, Stop bits, Reply time-out ms, Frame silence ms"},
        Row{"AsGiven",
            Values(Modbus + "Bit rate=115200; Parity=None; Stop bits=2; Ch.1 address=7; "
                            "Ch.1 register=100; Ch.1 type=FLOAT32; Ch.1 word order=low first"),
            {115200, Parity::None, 2},
            ModbusSource{7, 3, 100, RegisterType::Float32, WordOrder::LowFirst}},
        Row{"LastPlainRegister", Values(Modbus + "Ch.1 register=65535"), Default, ModbusSource{1, 3, 65535}},
        Row{"SixDigitInputRegisterCountsFromOne", Values(Modbus + "Ch.1 function=; Ch.1 register=301001"),
            Default, ModbusSource{1, 4, 1000}},
        Row{"SixDigitHoldingRegisterUpToTheLast", Values(Modbus + "Ch.1 function=; Ch.1 register=465536"),
            Default, ModbusSource{1, 3, 65535}},
        // Each leaves its channel unread; a word order only counts for 32 bits; a blank address is fine.
        Row{"ChannelValuesThatCannotBeUsed",
            Values(Modbus + "Ch.1 address=248; Ch.2 function=06; Ch.3 type=int64; Ch.4 register=301001; "
                            "Ch.5 type=uint32; Ch.5 register=65535; Ch.6 word order=middle; Ch.7 address=; "
                            "Ch.8 register=100001"),
            Default, std::nullopt,
            "Ch.1 address, Ch.2 function, Ch.3 type, Ch.4 register, Ch.5 register, Ch.8 register"}),
    RowName);

// Missing, it changes nothing; the default set-up writes it, each record with its label (a planted file is
// refused as the other shared files are: SharedFolderReadersTest).
TEST_F(AppFolderTest, TheInstrumentFileIsOptionalAndWrittenByTheDefault) {
    state.SetUp.InstrumentValue = {"stale"};
    ASSERT_TRUE(ReadInstrumentParameters(state.AppFolder, state.SetUp));
    EXPECT_TRUE(state.SetUp.InstrumentValue.isEmpty());
    ASSERT_TRUE(InstallDefaultSetup(state.AppFolder) &&
                ReadInstrumentParameters(state.AppFolder, state.SetUp));
    EXPECT_EQ(state.SetUp.InstrumentValue, Values());
    const QStringList records = DefaultInstrumentRecords();
    for (int r = 1; r <= InstrumentRecordCount; ++r)
        EXPECT_EQ(GeneralLabelOf(records[r - 1]).trimmed(), InstrumentLabel(r)) << r;
    EXPECT_EQ((QStringList{InstrumentLabel(1), InstrumentLabel(7), InstrumentLabel(8), InstrumentLabel(47)}),
              (QStringList{"TARVEK instrument", "Frame silence ms", "Ch.1 address", "Ch.8 word order"}));
}

} // namespace
