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
    GS_WAITING = 6,      // the open box vanished; waiting for its serial number to return
};

// The main window's controls that the states switch, by what they do; the window maps them
// to its own widgets.
enum class Control
{
    DEVICES,
    SCAN,
    CONNECT,
    RESET,
    POWER,
    SUPPLY_EXTERNAL,
    SUPPLY_INTERNAL,
    SUPPLY_DCDC,
    // The three radios of each output, in the order high, open, low.
    OUT1_HIGH,
    OUT1_OPEN,
    OUT1_LOW,
    OUT2_HIGH,
    OUT2_OPEN,
    OUT2_LOW,
    OUT3_HIGH,
    OUT3_OPEN,
    OUT3_LOW,
    HEX,
    MODE,
    CLOCK,
    DATA_FILTER,
    GRAY_CODE_FILTER,
    SPI_WORD,
    ST_BITS,
    MT_BITS,
    SINGLE_SAMPLE,
    BATCH_SAMPLE,
    CONTINUOUS_SAMPLE,
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
    Control control;
    Enable enable;
    const char* text; // new caption, or nullptr to keep it
};

// The controls that entering `state` changes, in the order they are set. GS_INIT gives
// the changes of GS_DISCONNECTED (it ends there); GS_BATCH changes nothing. GS_WAITING
// disables every box control and leaves Connect as "Disconnect", which stops the waiting.
std::vector<ControlState> ControlStatesFor(GuiState state);

} // namespace App
