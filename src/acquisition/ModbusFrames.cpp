#include "acquisition/ModbusFrames.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>

namespace tarvek {

namespace {

constexpr int ExceptionFlag = 0x80;
constexpr int ExceptionLength = 5; // address, function | 0x80, code, CRC
constexpr int ReplyOverhead = 5;   // address, function, byte count, CRC
constexpr int HeaderLength = 3;    // address, function, byte count (or code)

int Byte(QByteArrayView bytes, qsizetype i) {
    return static_cast<unsigned char>(bytes[i]);
}

quint16 RegisterAt(QByteArrayView data, int i) {
    return static_cast<quint16>(Byte(data, 2 * i) << 8 | Byte(data, 2 * i + 1));
}

ReplyCheck Broken(const QString& problem, int length = 0) {
    ReplyCheck check;
    check.status = ReplyCheck::Status::Broken;
    check.problem = problem;
    check.length = length;
    return check;
}

// A span of registers one channel needs.
struct Span {
    int first;
    int end; // one past the last register
    int k;
};

} // namespace

quint16 ModbusCrc(QByteArrayView bytes) {
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

QByteArray WithCrc(QByteArray frame) {
    const quint16 crc = ModbusCrc(frame);
    frame += static_cast<char>(crc & 0xFF);
    frame += static_cast<char>(crc >> 8);
    return frame;
}

std::vector<ModbusRead> PlanReads(const ModbusSources& sources) {
    std::map<std::pair<int, int>, std::vector<Span>> byDevice; // (address, function) in order
    for (int k = 0; k < ChannelCount; ++k)
        if (const auto& s = sources[k])
            byDevice[{s->address, s->function}].push_back({s->reg, s->reg + RegisterWidth(s->type), k});
    std::vector<ModbusRead> reads;
    for (auto& [device, spans] : byDevice) {
        std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
            return std::tie(a.first, a.k) < std::tie(b.first, b.k);
        });
        ModbusRead* read = nullptr;
        for (const Span& span : spans) {
            const int end = read ? std::max(read->first + read->count, span.end) : 0;
            if (!read || span.first > read->first + read->count || end - read->first > MaxReadRegisters) {
                reads.push_back({device.first, device.second, span.first, span.end - span.first, {}});
                read = &reads.back();
            } else {
                read->count = end - read->first;
            }
            read->channels.push_back(span.k);
        }
    }
    return reads;
}

QByteArray ReadRequest(const ModbusRead& read) {
    QByteArray frame;
    for (const int b : {read.address, read.function, read.first >> 8, read.first & 0xFF, read.count >> 8,
                        read.count & 0xFF})
        frame += static_cast<char>(b);
    return WithCrc(frame);
}

ReplyCheck CheckReply(QByteArrayView bytes, const ModbusRead& read) {
    if (bytes.size() < HeaderLength)
        return {};
    const int function = Byte(bytes, 1);
    const bool exception = (function & ExceptionFlag) != 0;
    if (!exception && function != ReadHoldingRegisters && function != ReadInputRegisters)
        return Broken(QStringLiteral("a frame of function %1").arg(function, 2, 16, QChar(u'0')));
    const int length = exception ? ExceptionLength : ReplyOverhead + Byte(bytes, 2);
    if (bytes.size() < length)
        return {};
    const QByteArrayView frame = bytes.first(length);
    const quint16 crc = static_cast<quint16>(Byte(frame, length - 2) | Byte(frame, length - 1) << 8);
    if (crc != ModbusCrc(frame.first(length - 2)))
        return Broken(QStringLiteral("a frame with a wrong CRC"), length);
    ReplyCheck check;
    check.length = length;
    check.from = Byte(frame, 0);
    if (check.from != read.address) {
        check.status = ReplyCheck::Status::Broken;
        check.problem = QStringLiteral("a reply from address %1").arg(check.from);
    } else if ((function & ~ExceptionFlag) != read.function) {
        check.status = ReplyCheck::Status::Broken;
        check.problem = QStringLiteral("a reply of function %1").arg(function, 2, 16, QChar(u'0'));
    } else if (exception) {
        check.status = ReplyCheck::Status::Exception;
        check.exceptionCode = Byte(frame, 2);
        check.problem = ExceptionText(check.exceptionCode);
    } else if (Byte(frame, 2) != 2 * read.count) {
        check.status = ReplyCheck::Status::Broken;
        check.problem =
            QStringLiteral("%1 bytes of registers, not %2").arg(Byte(frame, 2)).arg(2 * read.count);
    } else {
        check.status = ReplyCheck::Status::Values;
        for (int i = 0; i < read.count; ++i)
            check.registers << RegisterAt(frame.sliced(HeaderLength), i);
    }
    return check;
}

QString ExceptionText(int code) {
    static const std::map<int, const char*> names = {
        {0x01, "illegal function"},
        {0x02, "illegal data address"},
        {0x03, "illegal data value"},
        {0x04, "device failure"},
        {0x05, "acknowledge"},
        {0x06, "device busy"},
        {0x08, "memory parity error"},
        {0x0A, "gateway path unavailable"},
        {0x0B, "gateway target device failed to respond"},
    };
    const auto named = names.find(code);
    const QString number = QStringLiteral("exception %1").arg(code, 2, 16, QChar(u'0'));
    return named == names.end() ? number
                                : QStringLiteral("%1 (%2)").arg(QLatin1String(named->second), number);
}

std::optional<double> RegisterValue(const QList<quint16>& registers, int offset, RegisterType type,
                                    WordOrder order) {
    const quint16 first = registers.value(offset);
    if (RegisterWidth(type) == 1)
        return type == RegisterType::Int16 ? double(static_cast<qint16>(first)) : double(first);
    const quint16 second = registers.value(offset + 1);
    const quint32 bits =
        order == WordOrder::HighFirst ? quint32(first) << 16 | second : quint32(second) << 16 | first;
    if (type == RegisterType::Int32)
        return double(static_cast<qint32>(bits));
    if (type == RegisterType::Uint32)
        return double(bits);
    const double value = std::bit_cast<float>(bits);
    return std::isfinite(value) ? std::optional(value) : std::nullopt;
}

double WireMilliseconds(int bytes, const LineSettings& line) {
    return 1000.0 * bytes * BitsPerByte(line) / line.bitRate;
}

double FrameSilenceMilliseconds(const LineSettings& line) {
    return line.bitRate > 19200 ? 1.75 : WireMilliseconds(1, line) * 3.5;
}

} // namespace tarvek
