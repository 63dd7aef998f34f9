#include "config/InstrumentParameters.h"
#include "common/Folders.h"

#include "config/SettingFiles.h"
#include "config/SettingRecords.h"

#include <algorithm>
#include <initializer_list>

namespace tarvek {

namespace {

const QString InstrumentName = QStringLiteral("instrument");
const QString ModbusRtuName = QStringLiteral("Modbus RTU");

constexpr int BitRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int MaxAddress = 247;
constexpr int LastRegister = 65535;
// The six-digit form of a manual that counts from 1 within its table:
// 300001 is input register 0, 400001 holding register 0.
constexpr int TableDigits = 100000;
constexpr int InputTable = 3, HoldingTable = 4;

template <typename T> using Names = std::initializer_list<std::pair<const char*, T>>;
const Names<Parity> Parities = {{"none", Parity::None}, {"even", Parity::Even}, {"odd", Parity::Odd}};
const Names<RegisterType> Types = {{"int16", RegisterType::Int16},
                                   {"uint16", RegisterType::Uint16},
                                   {"int32", RegisterType::Int32},
                                   {"uint32", RegisterType::Uint32},
                                   {"float32", RegisterType::Float32}};
// The simulated instrument's file writes them with a hyphen.
const Names<WordOrder> Orders = {{"high first", WordOrder::HighFirst},
                                 {"low first", WordOrder::LowFirst},
                                 {"high-first", WordOrder::HighFirst},
                                 {"low-first", WordOrder::LowFirst}};

// A name of `names` in any case; `fallback` for a blank value.
template <typename T> std::optional<T> Named(const QString& value, const Names<T>& names, T fallback) {
    if (value.isEmpty())
        return fallback;
    for (const auto& [name, named] : names)
        if (value.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return named;
    return std::nullopt;
}

template <typename T> QString NameOf(T value, const Names<T>& names) {
    for (const auto& [name, named] : names)
        if (named == value)
            return QLatin1String(name);
    return {};
}

// A whole number from `min` to `max`; `fallback` for a blank value.
std::optional<int> WholeNumber(const QString& value, int min, int max, std::optional<int> fallback = {}) {
    if (value.isEmpty())
        return fallback;
    bool ok = false;
    const int n = value.toInt(&ok);
    return ok && n >= min && n <= max ? std::optional(n) : std::nullopt;
}

std::optional<int> BitRateOf(const QString& value) {
    const std::optional<int> rate = WholeNumber(value, BitRates[0], std::end(BitRates)[-1], 9600);
    return rate && std::find(std::begin(BitRates), std::end(BitRates), *rate) != std::end(BitRates)
               ? rate
               : std::nullopt;
}

// A register as sent on the line (0..65535), or in the six-digit form whose
// table implies the function: one that says otherwise is a contradiction,
// not a choice. `function` 0: none given (03 unless the table says 04). All
// `width` registers must exist.
struct Register {
    int reg;
    int function;
};
std::optional<Register> RegisterOf(const QString& value, int function, int width) {
    const std::optional<int> n = WholeNumber(value, 0, HoldingTable * TableDigits + LastRegister + 1);
    if (!n)
        return std::nullopt;
    Register r{*n, function != 0 ? function : ReadHoldingRegisters};
    if (*n > LastRegister) {
        const int table = *n / TableDigits, index = *n % TableDigits;
        const int implied = table == InputTable ? ReadInputRegisters : ReadHoldingRegisters;
        if ((table != InputTable && table != HoldingTable) || index < 1 ||
            (function != 0 && function != implied))
            return std::nullopt;
        r = {index - 1, implied};
    }
    return r.reg + width - 1 <= LastRegister ? std::optional(r) : std::nullopt;
}

class Decoder {
  public:
    Decoder(const QStringList& values, InstrumentSetUp& setUp) : values_(values), setUp_(setUp) {}

    QString Value(int record) const { return values_.value(record - 1); }
    // `parsed` into `into`, or the value named with what follows from it.
    template <typename T>
    bool Take(int record, int channel, const std::optional<T>& parsed, T& into, const QString& shown) {
        if (parsed) {
            into = *parsed;
            return true;
        }
        const QString consequence = channel > 0 ? QStringLiteral("Ch.%1 reads No Data").arg(channel)
                                                : shown + QStringLiteral(" is used");
        setUp_.problems.push_back({record, channel, Value(record),
                                   QStringLiteral("%1/%2: record %3 (%4): \"%5\" cannot be used; %6")
                                       .arg(SettingFolderName, InstrumentParametersFile)
                                       .arg(record)
                                       .arg(InstrumentLabel(record), Value(record), consequence)});
        return false;
    }

    void Line();
    std::optional<ModbusSource> Source(int c);

  private:
    const QStringList& values_;
    InstrumentSetUp& setUp_;
};

void Decoder::Line() {
    LineSettings& line = setUp_.line;
    line = {9600, Parity::Even, 1};
    Take(BitRateRecord, 0, BitRateOf(Value(BitRateRecord)), line.bitRate, QString::number(line.bitRate));
    Take(ParityRecord, 0, Named(Value(ParityRecord), Parities, line.parity), line.parity,
         NameOf(line.parity, Parities));
    Take(StopBitsRecord, 0, WholeNumber(Value(StopBitsRecord), 1, 2, line.stopBits), line.stopBits,
         QString::number(line.stopBits));
    int& timeout = setUp_.replyTimeoutMs;
    Take(ReplyTimeoutRecord, 0,
         WholeNumber(Value(ReplyTimeoutRecord), MinReplyTimeoutMs, MaxReplyTimeoutMs, timeout), timeout,
         QString::number(timeout));
    Take(SilenceRecord, 0, WholeNumber(Value(SilenceRecord), 0, MaxReplyTimeoutMs, setUp_.silenceMs),
         setUp_.silenceMs, QString::number(setUp_.silenceMs));
}

std::optional<ModbusSource> Decoder::Source(int c) {
    const auto value = [&](SourceField field) { return Value(SourceRecord(c, field)); };
    const auto take = [&](SourceField field, const auto& parsed, auto& into) {
        return Take(SourceRecord(c, field), c, parsed, into, {});
    };
    if (value(AddressField).isEmpty())
        return std::nullopt; // a channel without a device
    ModbusSource s;
    int function = 0;
    Register reg{};
    const bool usable =
        take(AddressField, WholeNumber(value(AddressField), 1, MaxAddress), s.address) &&
        take(FunctionField, WholeNumber(value(FunctionField), ReadHoldingRegisters, ReadInputRegisters, 0),
             function) &&
        take(TypeField, Named(value(TypeField), Types, s.type), s.type) &&
        take(RegisterField, RegisterOf(value(RegisterField), function, RegisterWidth(s.type)), reg) &&
        (RegisterWidth(s.type) == 1 ||
         take(WordOrderField, Named(value(WordOrderField), Orders, s.order), s.order));
    s.function = reg.function;
    s.reg = reg.reg;
    return usable ? std::optional(s) : std::nullopt;
}

} // namespace

InstrumentSetUp DecodeInstrumentSetUp(const QStringList& values) {
    InstrumentSetUp setUp;
    Decoder decoder(values, setUp);
    const QString protocol = decoder.Value(ProtocolRecord);
    if (protocol.compare(ModbusRtuName, Qt::CaseInsensitive) == 0) {
        setUp.protocol = Protocol::ModbusRtu;
    } else if (!protocol.isEmpty() && protocol.compare(InstrumentName, Qt::CaseInsensitive) != 0) {
        Protocol instrument = Protocol::Instrument;
        decoder.Take<Protocol>(ProtocolRecord, 0, {}, instrument,
                               QStringLiteral("the instrument's own protocol"));
    }
    if (setUp.protocol != Protocol::ModbusRtu)
        return setUp;
    decoder.Line();
    for (int c = 1; c <= ChannelCount; ++c)
        setUp.sources[c - 1] = decoder.Source(c);
    return setUp;
}

FileOutcome ReadInstrumentParameters(const QString& appFolder, Declarations::SetUpState& setUp) {
    const SettingFileBytes read =
        ReadSettingFileBytes(appFolder, InstrumentParametersFile, InstrumentRecordCount);
    setUp.InstrumentValue.clear();
    if (!read.problem.isEmpty())
        return ReportFailure(FileOutcome::Failure(read.problem));
    for (int r = 1; (r - 1) * SettingRecordLength < read.bytes.size(); ++r)
        setUp.InstrumentValue << SettingValueOf(read.bytes, r);
    return {};
}

QString InstrumentLabel(int record) {
    static const char* const line[] = {"TARVEK instrument", "Protocol",          "Bit rate",        "Parity",
                                       "Stop bits",         "Reply time-out ms", "Frame silence ms"};
    static const char* const source[] = {"address", "function", "register", "type", "word order"};
    if (record >= 1 && record < FirstSourceRecord)
        return QLatin1String(line[record - 1]);
    const int k = (record - FirstSourceRecord) / SourceFieldCount;
    return QStringLiteral("Ch.%1 %2")
        .arg(k + 1)
        .arg(QLatin1String(source[(record - FirstSourceRecord) % SourceFieldCount]));
}

QString ProtocolName(Protocol protocol) {
    return protocol == Protocol::ModbusRtu ? ModbusRtuName : InstrumentName;
}

QStringList DefaultInstrumentRecords() {
    QStringList records{GeneralRecord(InstrumentLabel(1), {}),
                        GeneralRecord(InstrumentLabel(ProtocolRecord), InstrumentName)};
    for (const char* value : {"9600", "even", "1", "1000", "5"})
        records << GeneralRecord(InstrumentLabel(records.size() + 1), QLatin1String(value));
    // Device 1's holding registers 0..7, one channel each: one read.
    for (int c = 1; c <= ChannelCount; ++c)
        for (const QString& value : {QStringLiteral("1"), QStringLiteral("03"), QString::number(c - 1),
                                     QStringLiteral("int16"), QStringLiteral("high first")})
            records << GeneralRecord(InstrumentLabel(records.size() + 1), value);
    return records;
}

} // namespace tarvek
