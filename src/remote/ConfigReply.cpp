#include "remote/ConfigReply.h"

#include "core/Cp1252.h"
#include "core/Text.h"

namespace orvalink::remote {

namespace {

// Byte n (counted from 1) of the reply, when present.
bool byteAt(const QByteArray& d, int n, int* out)
{
    if (n < 1 || n > d.size())
        return false;
    *out = quint8(d.at(n - 1));
    return true;
}

QString addressAt(const QByteArray& d, int first)
{
    if (d.size() < first + 3)
        return QString();
    quint32 a = 0;
    for (int i = 0; i < 4; ++i)
        a = (a << 8) | quint8(d.at(first - 1 + i));
    return formatIPv4(a);
}

} // namespace

ConfigReply decodeConfigReply(const QByteArray& d)
{
    ConfigReply r;
    const qsizetype L = d.size();
    r.length = L;
    r.UDP_Response_IP = addressAt(d, 1);
    r.mask = addressAt(d, 5);
    r.gw = addressAt(d, 9);
    r.remote = addressAt(d, 13);
    byteAt(d, 17, &r.input);
    byteAt(d, 18, &r.type);
    byteAt(d, 19, &r.tx);
    if (L >= 20)
        r.name = cp1252::decode(QByteArrayView(d).sliced(19, qMin<qsizetype>(16, L - 19)));
    byteAt(d, 36, &r.role);
    if (L >= 40 && quint8(d.at(36)) < 128) {
        quint32 sn = 0;
        for (int i = 36; i < 40; ++i)
            sn = (sn << 8) | quint8(d.at(i));
        r.sn = qint32(sn);
    }

    r.verMajor = 2;
    r.verMinor = 0;
    r.sfn = 0;
    r.buf = 0;
    if (L >= 42) {
        byteAt(d, 41, &r.verMajor);
        byteAt(d, 42, &r.verMinor);
        byteAt(d, 43, &r.sfn);
        byteAt(d, 44, &r.buf);
        byteAt(d, 45, &r.llo);
    }
    if (r.role == 2) {
        r.att = 255;
        r.buf = 1;
        if (L >= 41) {
            byteAt(d, 41, &r.att);
            byteAt(d, 42, &r.verMajor);
            byteAt(d, 43, &r.verMinor);
            byteAt(d, 44, &r.sfn);
            byteAt(d, 45, &r.buf);
        }
        if (L >= 46) {
            byteAt(d, 46, &r.sdm);
            byteAt(d, 47, &r.sdl);
            byteAt(d, 48, &r.sdt);
            byteAt(d, 54, &r.llo);
        }
    }
    return r;
}

QString replyCheckFailure(const ConfigReply& r)
{
    const auto failed = [](const char* what) {
        return QStringLiteral("An error occured while retrieving '%1':").arg(QLatin1String(what));
    };
    if (!parseIPv4(r.UDP_Response_IP))
        return failed("Element IP");
    if (!parseIPv4(r.mask))
        return failed("Element Mask");
    if (!parseIPv4(r.gw))
        return failed("Element GW");
    if (!parseIPv4(r.remote))
        return failed("Remote / Multicast IP");
    if (r.input > 1)
        return failed("Audio Input");
    if (r.type > 1)
        return failed("Audio Type");
    if (r.tx > 1)
        return failed("TX Type");
    if (r.role > 2)
        return failed("Element Type");
    if (r.sn < 1)
        return failed("Serial Number");
    return QString();
}

} // namespace orvalink::remote
