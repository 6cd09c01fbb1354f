#include "app/core/GuiState.h"

#include "app/core/Resource.h"

namespace App
{

namespace
{
constexpr auto E = ControlState::ENABLE;
constexpr auto D = ControlState::DISABLE;
constexpr auto U = ControlState::UNCHANGED;

void Add(std::vector<ControlState>& out, const std::vector<int>& ids, ControlState::Enable e,
         const char* text = nullptr)
{
    if (e == U && text == nullptr)
        return;
    for (int id : ids)
        out.push_back({id, e, text});
}

// Rows of the state table; columns DISCONNECTED, CONNECTED, POWERED, CONTINUOUS.
struct Row
{
    std::vector<int> ids;
    ControlState::Enable e[4];
    const char* text[4];
};

const std::vector<Row>& Table()
{
    static const std::vector<Row> table = {
        {{IDC_CB_DEVICES, IDC_BT_SCAN}, {E, D, U, U}, {}},
        {{IDC_BT_CONNECT}, {U, E, D, U}, {"Connect", "Disconnect", nullptr, nullptr}},
        {{IDC_BT_POWER}, {D, E, E, D}, {nullptr, "Power ON", "Power OFF", nullptr}},
        {{IDC_RD_SSIDEVICE_EXTERNAL, IDC_RD_SSIDEVICE_INTERNAL, IDC_RD_SSIDEVICE_DCDC},
         {D, E, D, U},
         {}},
        {{IDC_BT_SINGLESAMPLE, IDC_BT_BATCHSAMPLE}, {D, D, E, D}, {}},
        {{IDC_BT_CONTINUOUSSAMPLE}, {D, D, E, E}, {}},
        {{IDC_BT_RESET, IDC_RD_OUT1_HIGH, IDC_RD_OUT1_OPEN, IDC_RD_OUT1_LOW, IDC_RD_OUT2_HIGH,
          IDC_RD_OUT2_OPEN, IDC_RD_OUT2_LOW, IDC_RD_OUT3_HIGH, IDC_RD_OUT3_OPEN, IDC_RD_OUT3_LOW,
          IDC_CK_HEX},
         {D, E, U, U},
         {}},
        {{IDC_CB_SSIMODE, IDC_CB_SSIFREQUENCE, IDC_ED_DATAFILTER, IDC_ED_GRAYCODEFILTER,
          IDC_ED_SPICOMMAND, IDC_CB_STBITS, IDC_CB_MTBITS},
         {D, E, E, D},
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
    case GS_BATCH:
        return {};
    }
    std::vector<ControlState> out;
    if (column < 0)
        return out;
    for (const Row& row : Table())
        Add(out, row.ids, row.e[column], row.text[column]);
    return out;
}

} // namespace App
