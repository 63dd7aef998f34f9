// The logger against Modbus RTU devices nobody here wrote: pymodbus (tests/modbus_devices.py) on a
// pseudo-terminal pair, polled through the real port service and acquisition control. Every type and word
// order is stored byte for byte; a device switched off, an exception and a wrong CRC leave their channels "
// No Data " and are said on stderr.
#include "acquisition/DeviceSerialPortService.h"
#include "config/InstrumentParameters.h"

#include "support/AcquisitionSupport.h"

using namespace tarvek;

namespace {

// Two channels on each of four devices, every type and both word orders: the set-up's address, function,
// register, type and order, the device's value, the channel's gain, the value text stored.
struct Channel {
    QStringList source;
    double value;
    const char *gain, *stored;
};
const Channel Channels[ChannelCount] = {
    {{"1", "04", "100", "int16", "high first"}, -1234, "1", "-1234.000"},
    {{"1", "04", "101", "uint16", "high first"}, 40000, "0.1", "+4000.000"},
    {{"2", "03", "0", "int32", "high first"}, 123456, "0.01", "+1234.560"},
    {{"2", "03", "2", "int32", "low first"}, -98765, "0.001", "  -98.765"},
    {{"3", "03", "10", "uint32", "high first"}, 3000000000.0, "0.000001", "+3000.000"},
    {{"3", "03", "12", "uint32", "low first"}, 70000, "0.01", " +700.000"},
    {{"4", "04", "0", "float32", "high first"}, 12.5, "1", "  +12.500"},
    {{"4", "04", "2", "float32", "low first"}, -0.25, "1", "   -0.250"},
};

struct DevicesRow {
    const char *name, *faults, *answering; // JSON members for the script; the devices that answer
    QStringList said = {};
};

class PymodbusDevices : public AppFolderTest, public ::testing::WithParamInterface<DevicesRow> {};

TEST_P(PymodbusDevices, StoreWhatTheDevicesHoldOrNoDataWithTheReason) {
    QStringList values(InstrumentRecordCount), json;
    values[ProtocolRecord - 1] = "Modbus RTU";
    values[ReplyTimeoutRecord - 1] = "100";
    for (int c = 1; c <= ChannelCount; ++c) {
        const Channel& ch = Channels[c - 1];
        for (int field = AddressField; field < SourceFieldCount; ++field)
            values[SourceRecord(c, SourceField(field)) - 1] = ch.source[field];
        state.SetUp.ChannelParam[c][Declarations::Gain] = ch.gain;
        json << "[\"" + ch.source.join("\", \"") + "\", " + QString::number(ch.value, 'g', 17) + "]";
    }
    state.SetUp.InstrumentValue = values;
    state.SetUp.SerialLine = state.SetUp.StorageRate = 1;
    state.TodayStamp = "05-03-2008";
    QProcess devices;
    devices.start("/usr/bin/python3", {TARVEK_SOURCE "/tests/modbus_devices.py",
                                       "{\"values\": [" + json.join(", ") + "]" + GetParam().faults + "}"});
    ASSERT_TRUE(devices.waitForReadyRead(10000)) << devices.readAllStandardError().toStdString();
    const QString terminal = QString::fromLocal8Bit(devices.readLine()).trimmed();
    ASSERT_TRUE(QDir().mkpath(state.AppFolder + "/ports") &&
                QFile::link(terminal, state.AppFolder + "/ports/COM1"));

    RecordingView view;
    DeviceSerialPortService port(state.AppFolder);
    QString err;
    const bool scanned = WithStderr(err, [&] {
        Acquisition acquisition(state, view, port);
        acquisition.Start();
        acquisition.ActiveSecond("10:15:00");
        return WaitUntil([&] { return !acquisition.ScanRunning(); }, 5000);
    });
    devices.closeWriteChannel();
    devices.waitForFinished(5000);
    ASSERT_TRUE(scanned) << qPrintable(err);
    EXPECT_EQ(port.SelectedLineSettings(), (LineSettings{9600, Parity::Even, 1})) << "the set-up's defaults";
    const QByteArray record = ReadBytes(DataPath("03-2008-Data.txt")).mid(DataRecordLength, DataRecordLength);
    QStringList stored, expected;
    const QString answering = GetParam().answering;
    for (int k = 0; k < ChannelCount; ++k) {
        stored << record.mid(FirstChannelField + k * ChannelFieldLength, ValueWidth);
        expected << (answering.contains(Channels[k].source[0]) ? Channels[k].stored : " No Data ");
    }
    EXPECT_EQ(stored, expected);
    for (const QString& said : GetParam().said)
        EXPECT_TRUE(err.contains(said)) << qPrintable(err);
    EXPECT_EQ(state.ReplyComplete, answering.isEmpty() ? 0 : 1) << "no device answering is no answer";
}

using Row = DevicesRow;
INSTANTIATE_TEST_SUITE_P(
    Pymodbus, PymodbusDevices,
    ::testing::Values(Row{"EveryTypeAndWordOrderByteForByte", "", "1234"},
                      Row{"NoDeviceAnswers", ", \"off\": [1, 2, 3, 4]", ""},
                      Row{"ADeviceOffAnExceptionAWrongCrc",
                          ", \"off\": [2], \"refuse\": [3], \"bad_crc\": [4]",
                          "1",
                          {"Modbus device 2 (Ch.3, Ch.4): no reply within 100 ms",
                           "Modbus device 3 (Ch.5, Ch.6): illegal data address (exception 02)",
                           "Modbus device 4 (Ch.7, Ch.8): a frame with a wrong CRC"}}),
    RowName);

} // namespace
