// The panel's three colour schemes: background, text colour and the picture of every
// button and of the volume slider.
#pragma once

#include "platform/ui/ui_helpers.h"

namespace kv::viewer {

// A button's two bitmap resources: shown while hovered or pressed, and otherwise.
struct ImagePair {
    int hover = 0;
    int normal = 0;
};

struct ColourScheme {
    kv::ui::ColorRef background;  // panel, statics and button faces
    kv::ui::ColorRef text;        // labels and button texts
    ImagePair digitalZoom;        // zoom off
    ImagePair digitalZoomArmed;   // zoom armed or active
    ImagePair capture;
    ImagePair control;
    ImagePair panTilt;
    ImagePair speakerOn;
    ImagePair speakerOff;
    int sliderChannel;            // also the active channel
    int sliderThumb;
    int sliderActiveThumb;
};

// The scheme numbered 1 to 3; nothing for any other number (the panel then sets no
// brushes, images or colours).
const ColourScheme* SchemeFor(int nColor);

} // namespace kv::viewer
