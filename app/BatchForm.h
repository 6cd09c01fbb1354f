#pragma once

#include "app/core/BatchRun.h"

#include <array>
#include <optional>
#include <string>

namespace App
{

// The batch dialog's edits and radio groups without Qt: the texts as typed, which changed
// since their last validation, which are drawn red, and the typed settings they give. The
// ranges come from BatchRange; the command line needs none of this.
class BatchForm
{
public:
    enum Part
    {
        PART_MT,
        PART_ST,
    };

    BatchForm() { Reset(); }

    // Start texts, all valid, both radio groups on Autodetect.
    void Reset();

    // The user changed an edit: it is validated at the next Validate.
    void SetText(BatchValue value, const std::string& text);
    const std::string& Text(BatchValue value) const { return m_Edits[value].text; }
    bool Valid(BatchValue value) const { return m_Edits[value].valid; }

    struct Validation
    {
        // False while any of the four ranged edits is invalid, whether found now or at an
        // earlier validation: a run must not start with a value the window marks as wrong.
        bool valid = true;
        // The delay changed and is in range: the run warns when it is below the minimum.
        std::optional<unsigned> newDelay;
    };
    // Holds every edit changed since its last validation against its range. The error limit
    // takes any number.
    Validation Validate();

    // What a monotony radio group shows: its mode, or nullopt when not exactly one of its
    // buttons is checked.
    void SetMonotony(Part part, std::optional<MONOTONY> mode) { m_Monotony[part] = mode; }

    // The settings the texts give (each its leading digits, 0 without any). A radio group
    // without exactly one checked button is reported as a failed assertion and, once the
    // handler returned, checked with kMonotonyFallback.
    BatchSettings Settings() const;
    CheckSettings Check() const { return Settings().check; }

    // The mode a check uses for a radio group without exactly one checked button. "No Test"
    // would let a broken window pass a part unchecked and paint it green.
    static constexpr MONOTONY kMonotonyFallback = MONO_AUTODETECT;

    // Plain decimal conversion of an edit: the leading digits, 0 without any.
    static unsigned ParseNumber(const std::string& text);

private:
    struct Edit
    {
        std::string text;
        bool changed = false;
        bool valid = true;
    };
    MONOTONY TakeMonotony(Part part) const;

    std::array<Edit, kBatchValues> m_Edits;
    std::array<std::optional<MONOTONY>, 2> m_Monotony;
};

} // namespace App
