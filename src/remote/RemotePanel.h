#pragma once
// What the remote protocol may know of the element panel: the values it shows
// (to build a save request and to compare an element's confirmation with
// them), and the few read-outs a confirmation updates. The main window and
// the command line each give their own implementation.

#include <QString>

namespace orvalink {

struct RemotePanelState {
    QString mac;         // lblElementMAC, colon form ("-" or empty for none)
    QString roleCaption; // lblElementType
    QString name, ip, mask, gw, remote;
    int input = -1, type = -1, tx = -1; // list positions, -1 for none
    bool sfn = false;
    bool lowLatency = false;
    int buffer = 0, silDetMode = -1, silDetLevel = 0, silDetTime = 0;
    int silDetModeCount = 3; // positions of the silence detector's mode list
    // Ranges of the panel's scroll bars.
    int attMin = 14;
    int bufferMax = 22;
    int levelMin = 1, levelMax = 154;
    int timeMin = 1, timeMax = 220;
};

// The values a confirmation shows, already brought into the bars' ranges.
struct RemoteConfirmed {
    QString typeCaption; // "ENCODER", "DECODER" or "UNKNOWN"
    QString serialNumber;
    QString version;
    int att = 0, buffer = 0, silDetMode = 0, silDetLevel = 0, silDetTime = 0;
};

class RemotePanel {
public:
    virtual ~RemotePanel() = default;
    virtual RemotePanelState remotePanelState() const = 0;
    virtual void showConfirmed(const RemoteConfirmed& values) = 0;
};

} // namespace orvalink
