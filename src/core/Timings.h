#pragma once
// Timer intervals and waits of the main window. Production keeps these
// values; tests pass shorter ones through the constructors.

namespace orvalink {

struct Timings {
    int snmpTimeoutMs = 1000;       // timerSNMPTimeout: end of one SNMP wait
    int snmpSetAllowedMs = 6000;    // tmrSNMPSetAllowed: spacing of SETs
    int remoteSentMs = 3000;        // timerRemoteSent: remote-protocol reply wait
    int pagingMs = 3000;            // frmPaging's Timer1: collection of discovery replies
    int getMacMs = 1000;            // frmWaiting's timerGetMAC: one MAC look-up per tick
    int volumeMs = 50;              // tmrVolume: level polling
    int spectrumMs = 80;            // tmrSpectrum: never started
    int pingTimeoutMs = 3000;       // ICMP echo: wait for the reply
    int applyStartMs = 1000;        // frmSendSNMP's Timer1: from opening to the first SET
    int applyStatusMs = 200;        // frmSendSNMP's Timer2: refresh of its status line
    int statusClearMs = 3000;       // Device SNMP properties: a status clears itself after this
    int statsFirstRefreshMs = 1000; // Statistics: the first refresh after opening
    int sfnAutoRefreshMs = 10000;   // SFN adjustment: automatic refresh ("&Auto")
    int statusIntervalMs = 30000;   // live status: one round of polls every this
    int statusReplyMs = 1000;       // live status: wait for one poll's reply
    int statusRetries = 1;          // live status: polls sent again before "down"
    int eventsFollowMs = 1000;      // "Events" window: looks for lines other programs appended
    int alarmRestartedMs = 600000;  // alarms: a "restarted" alarm clears itself after this
};

} // namespace orvalink
