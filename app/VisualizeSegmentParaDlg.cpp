#include "app/VisualizeSegmentParaDlg.h"

#include "app/Resource.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace App
{

VisualizeSegmentParaDlg::VisualizeSegmentParaDlg(QWidget* parent) : DialogBase(parent)
{
    setWindowTitle(QStringLiteral("Format MT / ST"));
    const QRect size = DialogUnitsToPixels(0, 0, 154, 156);
    setFixedSize(size.size());

    const auto label = [this](const char* text, int id, int x, int y, int w, int h)
    { return Place(new QLabel(QString::fromLatin1(text), this), id, x, y, w, h); };
    const auto edit = [this](int id, int y)
    { return Place(new QLineEdit(this), id, 75, y, 60, 14); };
    // Tab order follows the template.
    m_Split =
        Place(new QCheckBox(QStringLiteral("Split MT / ST"), this), IDC_CK_SPLIT, 12, 6, 72, 14);
    m_Split->setLayoutDirection(Qt::RightToLeft); // text left of the box
    m_MtFactor = edit(IDC_ED_MTFACTOR, 30);
    label("Factor MT", IDC_ST_MTFACTOR, 12, 30, 33, 14);
    m_StFactor = edit(IDC_ED_STFACTOR, 54);
    m_StFactorLabel = label("Factor ST", IDC_ST_STFACTOR, 12, 54, 55, 14);
    m_Offset = edit(IDC_ED_OFFSET, 78);
    label("Offset", IDC_ST_OFFSET, 12, 78, 22, 14);
    m_Decimals = Place(new QComboBox(this), IDC_CB_DECIMALS, 75, 102, 60, 14);
    label("Decimal points", IDC_ST_DECIMALS, 12, 102, 46, 12);
    auto* ok = Place(new QPushButton(QStringLiteral("OK"), this), IDOK, 84, 132, 50, 14);
    ok->setDefault(true);
    Place(new QPushButton(QStringLiteral("Cancel"), this), IDCANCEL, 18, 132, 50, 14);
    OnClicked(IDOK, [this] { accept(); });
    OnClicked(IDCANCEL, [this] { reject(); });
    OnClicked(IDC_CK_SPLIT, [this] { ApplySplit(); });
    CommitOnFocusOut(m_MtFactor, [this] { Commit(m_MtFactor, m_Format.mtFactor); });
    CommitOnFocusOut(m_StFactor, [this] { Commit(m_StFactor, m_Format.stFactor); });
    CommitOnFocusOut(m_Offset, [this] { Commit(m_Offset, m_Format.offset); });

    for (int places = 0; places <= 2; ++places)
        m_Decimals->insertItem(places, QStringLiteral("%1 digits").arg(places), places);
    m_Decimals->setCurrentIndex(0);
    connect(m_Decimals, &QComboBox::currentIndexChanged, this,
            [this](int index) {
                Guard([this, index]
                      { m_Format.decimalPlaces = m_Decimals->itemData(index).toInt(); });
            });
    ShowFormat();
}

void VisualizeSegmentParaDlg::SetFormat(const SegmentFormat& format)
{
    m_Format = format;
    ShowFormat();
}

void VisualizeSegmentParaDlg::ShowFormat()
{
    m_Split->setChecked(m_Format.split);
    ApplySplit();
    ShowEdits();
    const QSignalBlocker blocker(m_Decimals);
    const int places = m_Format.decimalPlaces;
    m_Decimals->setCurrentIndex(places >= 0 && places < m_Decimals->count() ? places : -1);
}

void VisualizeSegmentParaDlg::ShowEdits()
{
    m_MtFactor->setText(ToQ(FormatFactor(m_Format.mtFactor)));
    m_StFactor->setText(ToQ(FormatFactor(m_Format.stFactor)));
    m_Offset->setText(ToQ(FormatFactor(m_Format.offset)));
}

void VisualizeSegmentParaDlg::ApplySplit()
{
    const bool split = m_Split->isChecked();
    m_MtFactor->setEnabled(split);
    m_StFactor->setEnabled(true);
    m_StFactorLabel->setText(split ? QStringLiteral("Factor ST") : QStringLiteral("Factor MT/ST"));
    m_Format.split = split;
}

void VisualizeSegmentParaDlg::Commit(QLineEdit* edit, double& field)
{
    // An edit that only took and lost the focus keeps the exact value behind its "%.3f"
    // text (360 / 8192 would otherwise become 0.044).
    if (!edit->isModified())
        return;
    field = ParseDecimal(FromQ(edit->text()));
    ShowEdits();
}

void VisualizeSegmentParaDlg::accept()
{
    // Typing and then pressing OK by a shortcut loses no focus; take the typed text.
    Commit(m_MtFactor, m_Format.mtFactor);
    Commit(m_StFactor, m_Format.stFactor);
    Commit(m_Offset, m_Format.offset);
    DialogBase::accept();
}

} // namespace App
