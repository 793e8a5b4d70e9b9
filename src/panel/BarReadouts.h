#pragma once
// The read-outs that follow the properties' bars and lists: attenuation,
// latency (which also follows the SFN and low-latency ticks and the start
// mode), silence level and time in engineering units with the operator's
// decimal separator, and the silence detector's controls, usable only while
// its routing list says "Auto detect" (or nothing).

#include "panel/PropertiesForm.h"

class QLocale;

namespace orvalink {

struct AppFlags;

class BarReadouts {
public:
    // locale: the panel's, which outlives the read-outs.
    BarReadouts(const PropertyControls& controls, AppFlags& flags, const QLocale& locale);

    void scrlAtten_Change();
    void scrlBuffer_Change();
    void scrlSilDetLevel_Change();
    void scrlSilDetTime_Change();
    // Sets the start mode's low-latency flag from the tick.
    void chkLowLatency_Click();
    void cmbSilDetMode_Click();
    // lblLatency from the buffer, the flags and the SFN tick.
    void refreshLatency();

private:
    const PropertyControls& m_c;
    AppFlags& m_flags;
    const QLocale& m_locale;
};

} // namespace orvalink
