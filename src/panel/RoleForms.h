#pragma once
// The ENCODER and DECODER forms of the properties frame: which controls the
// caption of lblElementType shows, which it enables, and what the greyed
// ones hold. An encoder shows its audio source and TX type, a fixed buffer
// and no silence detector; a decoder its attenuation, buffer and silence
// detector. Either form stops the level polling. Any other caption ("-",
// "UNKNOWN") leaves the controls as they are.

#include "panel/PropertiesForm.h"

class QString;

namespace orvalink {

class BarReadouts;
class ControlSetter;
class LevelMeter;

class RoleForms {
public:
    RoleForms(const PropertyControls& controls, ControlSetter& setter, BarReadouts& readouts,
              LevelMeter& meter);

    // Switches the form to the caption of lblElementType.
    void lblElementType_Change();
    // Sets the caption and switches to its form.
    void setElementType(const QString& caption);

private:
    void showEncoder();
    void showDecoder();

    const PropertyControls& m_c;
    ControlSetter& m_setter;
    BarReadouts& m_readouts;
    LevelMeter& m_meter;
};

} // namespace orvalink
