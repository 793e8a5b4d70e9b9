#pragma once
// Timer intervals and waits of the main window. Production keeps these
// values; tests pass shorter ones through the constructors.

namespace orvalink {

struct Timings {
    int snmpTimeoutMs = 1000;       // timerSNMPTimeout: end of one SNMP wait
    int snmpSetAllowedMs = 6000;    // tmrSNMPSetAllowed: spacing of SETs
    int remoteSentMs = 3000;        // timerRemoteSent: remote-protocol reply wait
    int volumeMs = 50;              // tmrVolume: level polling
    int spectrumMs = 80;            // tmrSpectrum: never started
    int statusClearMs = 3000;       // Device SNMP properties: a status clears itself after this
    int statsFirstRefreshMs = 1000; // Statistics: the first refresh after opening
    int sfnAutoRefreshMs = 10000;   // SFN adjustment: automatic refresh ("&Auto")
};

} // namespace orvalink
