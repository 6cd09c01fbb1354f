#include "app/BatchForm.h"

#include "driver/XAssertion.h"

#include <algorithm>

namespace App
{

namespace
{
// Assertions of the batch form carry the dialog's name, as its reports always did.
constexpr const char* SOURCE = "BatchSampleDlg";
} // namespace

unsigned BatchForm::ParseNumber(const std::string& text)
{
    unsigned long long value = 0;
    for (const char c : text)
    {
        if (c < '0' || c > '9')
            break;
        value = std::min<unsigned long long>(value * 10 + unsigned(c - '0'), 0xFFFFFFFFull);
    }
    return unsigned(value);
}

void BatchForm::Reset()
{
    for (std::size_t v = 0; v < kBatchValues; ++v)
        m_Edits[v] = Edit{std::to_string(BatchRange(BatchValue(v)).start), false, true};
    m_Monotony = {MONO_AUTODETECT, MONO_AUTODETECT};
}

void BatchForm::SetText(BatchValue value, const std::string& text)
{
    m_Edits[value].text = text;
    m_Edits[value].changed = true;
}

BatchForm::Validation BatchForm::Validate()
{
    Validation validation;
    // The error limit's range is every number: it is never drawn red.
    for (std::size_t v = 0; v < kBatchValues; ++v)
    {
        Edit& edit = m_Edits[v];
        if (edit.changed)
        {
            const unsigned number = ParseNumber(edit.text);
            edit.valid = CheckBatchValue(BatchValue(v), number).empty();
            edit.changed = false;
            if (v == BATCH_DELAY && edit.valid)
                validation.newDelay = number;
        }
        validation.valid = validation.valid && edit.valid;
    }
    return validation;
}

MONOTONY BatchForm::TakeMonotony(Part part) const
{
    if (m_Monotony[part])
        return *m_Monotony[part];
    Tavik::XAssertionFailed("false", "Invalid combination of IDC_RD_MONO*", SOURCE, __LINE__);
    return kMonotonyFallback;
}

BatchSettings BatchForm::Settings() const
{
    BatchSettings settings;
    for (std::size_t v = 0; v < kBatchValues; ++v)
        SetBatchValue(settings, BatchValue(v), ParseNumber(m_Edits[v].text));
    settings.check.mtMonotony = TakeMonotony(PART_MT);
    settings.check.stMonotony = TakeMonotony(PART_ST);
    return settings;
}

} // namespace App
