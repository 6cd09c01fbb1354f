#include "app/AboutDlg.h"

#include "app/Artwork.h"
#include "app/Resource.h"
#include "app/TavikVersion.h"

#include <QFontMetrics>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace App
{

const char* const CAboutDlg::CONTACT_US = "Tavik Encoder Tools Inc.\n"
                                          "100 Example Road\n"
                                          "Springfield, USA\n"
                                          "Phone +1 555 0100, Fax +1 555 0101\n"
                                          "www.example.com\n"
                                          "us@example.com";
const char* const CAboutDlg::CONTACT_EU = "Tavik Encoder Tools GmbH\n"
                                          "Beispielweg 1\n"
                                          "10115 Berlin, Germany\n"
                                          "Phone +49 30 555 0100, Fax +49 30 555 0101\n"
                                          "www.example.com\n"
                                          "eu@example.com";
const char* const CAboutDlg::CONTACT_ASIA = "Tavik Encoder Tools Pte. Ltd.\n"
                                            "1 Example Street\n"
                                            "Singapore 000001\n"
                                            "Phone +65 555 0100, Fax +65 555 0101\n"
                                            "www.example.com\n"
                                            "asia@example.com";

QString CAboutDlg::GetVersionText()
{
    return QStringLiteral("Tavik") + "\n" + "Version " TAVIK_VERSION " " + "\n" + "Date " +
           "2013.06.07" + "\n" + "Free software, provided without warranty.";
}

CAboutDlg::CAboutDlg(int templateId, QWidget* parent) : QDialog(parent), m_TemplateId(templateId)
{
    setWindowTitle(QStringLiteral("About Tavik"));
    const QFontMetrics metrics(font());
    const int bx = std::max(1, metrics.averageCharWidth());
    const int by = std::max(1, metrics.height());
    const auto du = [bx, by](int x, int y, int w, int h)
    { return QRect(x * bx / 4, y * by / 8, w * bx / 4, h * by / 8); };
    const auto place = [this, &du](QWidget* w, int id, int x, int y, int width, int height)
    {
        w->setGeometry(du(x, y, width, height));
        if (id != 0)
        {
            w->setProperty("controlId", id);
            m_Items[id] = w;
        }
        return w;
    };

    const bool branded = templateId != IDD_ABOUTBOX_NOBRAND;
    const QRect size = branded ? du(0, 0, 226, 273) : du(0, 0, 186, 83);
    setFixedSize(size.size());

    auto* icon = new QLabel(this);
    place(icon, 0, 11, 10, 21, 20);
    icon->setPixmap(MakeProgramIcon().pixmap(32, 32));
    auto* version = new QLabel(this);
    place(version, IDC_ST_VERSION, 40, 10, branded ? 130 : 100, 40);
    version->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    if (branded)
    {
        place(ok, IDOK, 169, 10, 50, 14);
        auto* logo = new QLabel(this);
        place(logo, IDB_LOGO, 11, 55, 204, 40);
        logo->setPixmap(MakeLogoPixmap(logo->size()));
        place(new QGroupBox(QStringLiteral("Contact"), this), 0, 7, 100, 212, 166);
        for (const auto& [id, y] :
             {std::pair{IDC_ST_CONTACT_US, 112}, std::pair{IDC_ST_CONTACT_EU, 163},
              std::pair{IDC_ST_CONTACT_ASIA, 214}})
        {
            auto* label = new QLabel(this);
            place(label, id, 14, y, 198, 48);
            label->setText(id == IDC_ST_CONTACT_US   ? "US"
                           : id == IDC_ST_CONTACT_EU ? "EU"
                                                     : "ASIA");
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        }
    }
    else
    {
        place(ok, IDOK, 129, 62, 50, 14);
    }
}

QWidget* CAboutDlg::GetDlgItem(int id) const
{
    const auto it = m_Items.find(id);
    return it == m_Items.end() ? nullptr : it->second;
}

void CAboutDlg::Init()
{
    if (auto* version = qobject_cast<QLabel*>(GetDlgItem(IDC_ST_VERSION)))
    {
        version->setText(GetVersionText());
        // The longest line decides the width in the font really used; the box grows when
        // the template is too narrow for it, its OK button keeping its place at the right.
        int need = 0;
        for (const QString& line : version->text().split(QLatin1Char('\n')))
            need = std::max(need, version->fontMetrics().horizontalAdvance(line));
        if (need > version->width())
        {
            version->resize(need, version->height());
            const int margin = version->x() / 4; // the template's margin: about 7 units
            const int grow = version->geometry().right() + 1 + margin - width();
            if (grow > 0)
            {
                setFixedSize(width() + grow, height());
                if (QWidget* ok = GetDlgItem(IDOK); ok != nullptr && m_NoBrand)
                    ok->move(ok->x() + grow, ok->y());
            }
        }
    }
    if (m_NoBrand)
        return;
    for (const auto& [id, text] :
         {std::pair{IDC_ST_CONTACT_US, CONTACT_US}, std::pair{IDC_ST_CONTACT_EU, CONTACT_EU},
          std::pair{IDC_ST_CONTACT_ASIA, CONTACT_ASIA}})
    {
        if (auto* label = qobject_cast<QLabel*>(GetDlgItem(id)))
            label->setText(QString::fromLatin1(text));
    }
}

} // namespace App
