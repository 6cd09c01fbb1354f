#pragma once

#include <QDialog>

#include <map>

namespace App
{

// The about box: template 100 (branded, with logo and contact blocks) or 141 (unbranded).
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(int templateId, QWidget* parent = nullptr);

    void SetNoBrand(bool noBrand) { m_NoBrand = noBrand; }
    bool GetNoBrand() const { return m_NoBrand; }
    int GetTemplateId() const { return m_TemplateId; }
    QWidget* GetDlgItem(int id) const;
    // Fills the version text and, when branded, the contact blocks.
    void Init();

    static QString GetVersionText();
    static const char* const CONTACT_US;
    static const char* const CONTACT_EU;
    static const char* const CONTACT_ASIA;

private:
    int m_TemplateId;
    bool m_NoBrand = false;
    std::map<int, QWidget*> m_Items;
};

} // namespace App
