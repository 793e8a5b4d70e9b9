#pragma once
// The requests of the remote protocol (UDP 2976/2977), byte for byte, and the
// dispatch of arriving datagrams by their length.

#include <QByteArray>
#include <QString>

namespace orvalink::remote {

inline constexpr quint16 kLocalPort = 2976;   // the station's end of every exchange
inline constexpr quint16 kElementPort = 2977; // level and command requests
inline constexpr quint16 kSavePort = 2976;    // the save-configuration request
inline constexpr quint16 kPagingPort = 1901;  // the discovery broadcast
inline const QString kBroadcastAddress = QStringLiteral("255.255.255.255");
// The discovery broadcast: 32 characters, no terminator.
inline const QByteArray kPagingText = QByteArrayLiteral("TARNVELD QUORVANE PAGING REQUEST");

// "VOL": asks for a block of audio level data.
QByteArray levelRequest();
// The command code and a zero byte.
QByteArray commandRequest(quint8 code);

enum class DatagramKind {
    Level,       // longer than 1200 bytes: audio level data
    ConfigReply, // shorter than 55 bytes and not 3: one element's configuration
    Ignored,     // exactly 3, or 55 to 1200 bytes
};
DatagramKind classifyDatagram(qsizetype length);

// What the save-configuration request is built from: the panel as shown.
struct SaveSettings {
    QString roleCaption; // "DECODER" takes the decoder layout, anything else the encoder's
    QString version;     // stored "ver" ("2.0" when missing)
    QString ip, mask, gw, remote;
    int input = 0, type = 0, tx = 0; // list positions (-1: no selection)
    bool sfn = false;
    QString name;
    bool lowLatency = false;
    int buffer = 0; // decoder
    int silDetMode = 0, silDetLevel = 0, silDetTime = 0;
};

struct SaveRequest {
    QByteArray bytes;
    QString error; // why nothing could be built; empty on success
    bool ok() const { return error.isEmpty(); }
};

// 41 bytes for a decoder; 37 for an encoder below version 3.49, 38 from 3.49.
// A value that does not fit its byte (an address that is not four parts of
// 0..255, a list without selection, a number outside 0..255) builds nothing.
SaveRequest buildSaveRequest(const SaveSettings& settings);

// The stored version as a number, read as far as it is one ("3.49abc" is
// 3.49, "" or "." are 0).
double versionNumber(const QString& text);

} // namespace orvalink::remote
