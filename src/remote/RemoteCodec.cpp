#include "remote/RemoteCodec.h"

#include "core/Cp1252.h"
#include "core/Text.h"
#include "store/ElementDatabase.h"

namespace orvalink::remote {

QByteArray levelRequest()
{
    return QByteArrayLiteral("VOL");
}

QByteArray commandRequest(quint8 code)
{
    QByteArray bytes(2, '\0');
    bytes[0] = char(code);
    return bytes;
}

DatagramKind classifyDatagram(qsizetype length)
{
    if (length > 1200)
        return DatagramKind::Level;
    if (length < 55)
        return length == 3 ? DatagramKind::Ignored : DatagramKind::ConfigReply;
    return DatagramKind::Ignored;
}

double versionNumber(const QString& text)
{
    const QString t = trimBlanks(text);
    qsizetype n = 0;
    while (n < t.size() && t[n].isDigit() && t[n].unicode() < 128)
        ++n;
    if (n < t.size() && t[n] == u'.') {
        ++n;
        while (n < t.size() && t[n].isDigit() && t[n].unicode() < 128)
            ++n;
    }
    bool ok = false;
    const double v = t.left(n).toDouble(&ok);
    return ok ? v : 0.0;
}

namespace {

bool putAddress(QByteArray& out, int offset, const QString& text, const char* what, QString* error)
{
    quint32 a = 0;
    if (!parseIPv4(text, &a)) {
        *error =
            QStringLiteral("'%1' is not a valid address (\"%2\").").arg(QLatin1String(what), text);
        return false;
    }
    for (int i = 0; i < 4; ++i)
        out[offset + i] = char((a >> (24 - 8 * i)) & 0xFF);
    return true;
}

bool putByte(QByteArray& out, int offset, int value, const char* what, QString* error)
{
    if (value < 0 || value > 255) {
        *error =
            value == -1
                ? QStringLiteral("'%1' has no selection.").arg(QLatin1String(what))
                : QStringLiteral("'%1' is out of range (%2).").arg(QLatin1String(what)).arg(value);
        return false;
    }
    out[offset] = char(value);
    return true;
}

} // namespace

SaveRequest buildSaveRequest(const SaveSettings& s)
{
    const bool decoder = s.roleCaption == QLatin1String("DECODER");
    const int length = decoder ? 41 : (versionNumber(s.version) >= 3.49 ? 38 : 37);
    QByteArray b(length, '\0');
    QString error;
    const bool ok = putAddress(b, 0, s.ip, "Element IP", &error) &&
                    putAddress(b, 4, s.mask, "Element Mask", &error) &&
                    putAddress(b, 8, s.gw, "Element GW", &error) &&
                    putAddress(b, 12, s.remote, "Remote / Multicast IP", &error) &&
                    putByte(b, 16, s.input, "Audio Input", &error) &&
                    putByte(b, 17, s.type, "Audio Type", &error) &&
                    putByte(b, 18, s.tx, "TX Type", &error) &&
                    putByte(b, 19, s.sfn ? 1 : 0, "SFN", &error) &&
                    (decoder ? putByte(b, 36, s.buffer, "Buffer size", &error) &&
                                   putByte(b, 37, s.silDetMode, "Audio routing", &error) &&
                                   putByte(b, 38, s.silDetLevel, "Threshold", &error) &&
                                   putByte(b, 39, s.silDetTime, "Timeout", &error) &&
                                   putByte(b, 40, s.lowLatency ? 1 : 0, "Low latency", &error)
                             : putByte(b, 36, s.lowLatency ? 1 : 0, "Low latency", &error) &&
                                   (length == 37 || putByte(b, 37, 1, "", &error)));
    if (!ok)
        return SaveRequest{QByteArray(), error};
    const QByteArray name = cp1252::encode(Encode_Name(s.name));
    for (int i = 0; i < 16; ++i)
        b[20 + i] = name.at(i);
    return SaveRequest{b, QString()};
}

} // namespace orvalink::remote
