#pragma once

#include <vector>

namespace App
{

// Which controls of the main dialog are usable.
enum GuiState
{
    GS_INIT = 0,         // only while the dialog initialises
    GS_DISCONNECTED = 1, // no box open
    GS_CONNECTED = 2,    // box open, supply off
    GS_POWERED = 3,      // supply on
    GS_BATCH = 4,        // batch dialog open
    GS_CONTINUOUS = 5,   // continuous sampling running
};

// What entering a state does to one control.
struct ControlState
{
    enum Enable
    {
        UNCHANGED,
        ENABLE,
        DISABLE,
    };
    int id;
    Enable enable;
    const char* text; // new caption, or nullptr to keep it
};

// The controls that entering `state` changes, in the order they are set. GS_INIT gives
// the changes of GS_DISCONNECTED (it ends there); GS_BATCH changes nothing.
std::vector<ControlState> ControlStatesFor(GuiState state);

} // namespace App
