#pragma once

#include "app/DialogBase.h"
#include "app/core/SegmentFormat.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace App
{

// "Format MT / ST" (template 137): edits one SegmentFormat, a working copy that the caller
// copies in before the modal run and out after OK.
class VisualizeSegmentParaDlg : public DialogBase
{
    Q_OBJECT

public:
    explicit VisualizeSegmentParaDlg(QWidget* parent = nullptr);

    // Takes a format and shows it.
    void SetFormat(const SegmentFormat& format);
    const SegmentFormat& GetFormat() const { return m_Format; }

    void accept() override;

private:
    void ShowFormat();
    void ShowEdits();
    void ApplySplit();
    // An edit the user changed: its text converted and stored, then all three shown again.
    void Commit(QLineEdit* edit, double& field);

    SegmentFormat m_Format;
    QCheckBox* m_Split = nullptr;
    QLineEdit* m_MtFactor = nullptr;
    QLineEdit* m_StFactor = nullptr;
    QLineEdit* m_Offset = nullptr;
    QLabel* m_StFactorLabel = nullptr;
    QComboBox* m_Decimals = nullptr;
};

} // namespace App
