#include "app/core/GuiState.h"

namespace App
{

namespace
{
constexpr auto E = ControlState::ENABLE;
constexpr auto D = ControlState::DISABLE;
constexpr auto U = ControlState::UNCHANGED;

void Add(std::vector<ControlState>& out, const std::vector<Control>& controls,
         ControlState::Enable e, const char* text = nullptr)
{
    if (e == U && text == nullptr)
        return;
    for (Control c : controls)
        out.push_back({c, e, text});
}

// Rows of the state table; columns DISCONNECTED, CONNECTED, POWERED, CONTINUOUS, WAITING.
struct Row
{
    std::vector<Control> controls;
    ControlState::Enable e[5];
    const char* text[5];
};

const std::vector<Row>& Table()
{
    using C = Control;
    static const std::vector<Row> table = {
        {{C::DEVICES, C::SCAN}, {E, D, U, U, D}, {}},
        {{C::CONNECT}, {U, E, D, U, E}, {"Connect", "Disconnect", nullptr, nullptr, "Disconnect"}},
        {{C::POWER}, {D, E, E, D, D}, {nullptr, "Power ON", "Power OFF", nullptr, nullptr}},
        {{C::SUPPLY_EXTERNAL, C::SUPPLY_INTERNAL, C::SUPPLY_DCDC}, {D, E, D, U, D}, {}},
        {{C::SINGLE_SAMPLE, C::BATCH_SAMPLE}, {D, D, E, D, D}, {}},
        {{C::CONTINUOUS_SAMPLE}, {D, D, E, E, D}, {}},
        {{C::RESET, C::OUT1_HIGH, C::OUT1_OPEN, C::OUT1_LOW, C::OUT2_HIGH, C::OUT2_OPEN,
          C::OUT2_LOW, C::OUT3_HIGH, C::OUT3_OPEN, C::OUT3_LOW, C::HEX},
         {D, E, U, U, D},
         {}},
        {{C::MODE, C::CLOCK, C::DATA_FILTER, C::GRAY_CODE_FILTER, C::SPI_WORD, C::ST_BITS,
          C::MT_BITS},
         {D, E, E, D, D},
         {}},
    };
    return table;
}
} // namespace

std::vector<ControlState> ControlStatesFor(GuiState state)
{
    int column = -1;
    switch (state)
    {
    case GS_INIT:
    case GS_DISCONNECTED:
        column = 0;
        break;
    case GS_CONNECTED:
        column = 1;
        break;
    case GS_POWERED:
        column = 2;
        break;
    case GS_CONTINUOUS:
        column = 3;
        break;
    case GS_WAITING:
        column = 4;
        break;
    case GS_BATCH:
        return {};
    }
    std::vector<ControlState> out;
    if (column < 0)
        return out;
    for (const Row& row : Table())
        Add(out, row.controls, row.e[column], row.text[column]);
    return out;
}

} // namespace App
