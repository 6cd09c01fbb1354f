#include "controls/LogFont.h"

#include "controls/DrawContext.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace zef::Glimra
{

namespace
{

constexpr std::uint8_t ANSI_CHARSET = 0;
constexpr std::uint8_t OEM_CHARSET = 255;
constexpr std::uint8_t FIXED_PITCH_MODERN = 0x31;
constexpr std::uint8_t VARIABLE_PITCH_SWISS = 0x22;

bool HaveGuiApp()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

int ScreenDpi()
{
    if (HaveGuiApp())
    {
        if (QScreen* s = QGuiApplication::primaryScreen())
            return qRound(s->logicalDotsPerInchY());
    }
    return -1;
}

void CopyFace(LOGFONTA& lf, const QByteArray& face)
{
    std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
    std::memcpy(lf.lfFaceName, face.constData(),
                std::min<std::size_t>(static_cast<std::size_t>(face.size()), LF_FACESIZE - 1));
}

LOGFONTA FromQFont(const QFont& f, bool fixed, bool bold, std::uint8_t charSet)
{
    LOGFONTA lf;
    int px = f.pixelSize();
    if (px <= 0)
    {
        const int dpi = ScreenDpi() > 0 ? ScreenDpi() : 96;
        px = static_cast<int>(f.pointSizeF() * dpi / 72.0 + 0.5);
    }
    lf.lfHeight = -px;
    lf.lfWeight = bold ? 700 : (f.bold() ? 700 : 400);
    lf.lfItalic = f.italic() ? 1 : 0;
    lf.lfCharSet = charSet;
    lf.lfPitchAndFamily = fixed ? FIXED_PITCH_MODERN : VARIABLE_PITCH_SWISS;
    CopyFace(lf, f.family().toUtf8());
    return lf;
}

} // namespace

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return 0;
    const long long p = static_cast<long long>(a) * b;
    const long long ap = p < 0 ? -p : p;
    const long long ac = c < 0 ? -static_cast<long long>(c) : c;
    long long q = (ap + ac / 2) / ac;
    if ((p < 0) != (c < 0))
        q = -q;
    return static_cast<int>(
        std::clamp<long long>(q, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

LOGFONTA LogFont::StockRecord(int font)
{
    if (!HaveGuiApp())
    {
        // No font system without an application: fixed stand-ins.
        LOGFONTA lf;
        const bool fixed = font == OemFixedFont || font == SystemFixedFont;
        lf.lfHeight = (font == DefaultGuiFont) ? -11 : -16;
        lf.lfWeight = (font == DefaultGuiFont || fixed) ? 400 : 700;
        lf.lfCharSet = font == OemFixedFont ? OEM_CHARSET : ANSI_CHARSET;
        lf.lfPitchAndFamily = fixed ? FIXED_PITCH_MODERN : VARIABLE_PITCH_SWISS;
        CopyFace(lf, fixed ? "Monospace" : "Sans Serif");
        return lf;
    }
    switch (font)
    {
    case DeviceDefaultFont:
        return FromQFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont), false, false,
                         ANSI_CHARSET);
    case DefaultGuiFont:
        return FromQFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont), false, false,
                         ANSI_CHARSET);
    case OemFixedFont:
        return FromQFont(QFontDatabase::systemFont(QFontDatabase::FixedFont), true, false,
                         OEM_CHARSET);
    case SystemFixedFont:
        return FromQFont(QFontDatabase::systemFont(QFontDatabase::FixedFont), true, false,
                         ANSI_CHARSET);
    case SystemFont:
    default:
        // The classic system font is the bold one.
        return FromQFont(QFontDatabase::systemFont(QFontDatabase::TitleFont), false, true,
                         ANSI_CHARSET);
    }
}

LogFont::LogFont() : m_lf(StockRecord(DefaultGuiFont)), m_logPixelsY(-1) {}

LogFont::LogFont(int logPixelsY) : m_lf(StockRecord(DefaultGuiFont)), m_logPixelsY(logPixelsY) {}

LogFont::LogFont(const DrawContext* dc)
    : m_lf(StockRecord(DefaultGuiFont)), m_logPixelsY(GetLogPixelSy(dc))
{
}

LogFont::LogFont(const QWidget* wnd)
    : m_lf(StockRecord(DefaultGuiFont)), m_logPixelsY(GetLogPixelSy(wnd))
{
}

LogFont::LogFont(const LOGFONTA& lf) : m_lf(lf), m_logPixelsY(-1) {}

LogFont& LogFont::operator=(const LOGFONTA& lf)
{
    m_lf = lf;
    return *this;
}

bool LogFont::operator==(const LOGFONTA& o) const
{
    const LOGFONTA& a = m_lf;
    return a.lfHeight == o.lfHeight && a.lfWidth == o.lfWidth && a.lfEscapement == o.lfEscapement &&
           a.lfOrientation == o.lfOrientation && a.lfWeight == o.lfWeight &&
           a.lfItalic == o.lfItalic && a.lfUnderline == o.lfUnderline &&
           a.lfStrikeOut == o.lfStrikeOut && a.lfCharSet == o.lfCharSet &&
           a.lfOutPrecision == o.lfOutPrecision && a.lfClipPrecision == o.lfClipPrecision &&
           a.lfQuality == o.lfQuality && a.lfPitchAndFamily == o.lfPitchAndFamily &&
           std::strncmp(a.lfFaceName, o.lfFaceName, LF_FACESIZE) == 0;
}

bool LogFont::operator==(const LogFont& other) const
{
    return *this == other.m_lf && m_logPixelsY == other.m_logPixelsY;
}

int LogFont::GetLogPixelSy(const DrawContext* dc)
{
    return dc ? dc->GetLogPixelsY() : 0;
}

int LogFont::GetLogPixelSy(const QWidget* wnd)
{
    return wnd ? wnd->logicalDpiY() : 0;
}

void LogFont::SetDefault(DefaultFont font)
{
    m_lf = StockRecord(font);
}

void LogFont::SetBold(bool bold)
{
    m_lf.lfWeight = bold ? 700 : 400;
}
void LogFont::SetUnderline(bool on)
{
    m_lf.lfUnderline = on ? 1 : 0;
}
void LogFont::SetItalic(bool on)
{
    m_lf.lfItalic = on ? 1 : 0;
}

bool LogFont::SetName(const QString& name, std::uint8_t charSet)
{
    if (name.isEmpty() || name.size() > 30)
        return false;
    m_lf.lfCharSet = charSet;
    CopyFace(m_lf, name.toUtf8());
    return true;
}

bool LogFont::SetHeight(int points)
{
    if (m_logPixelsY < 0)
    {
        // No device: the height a point font gets on the screen.
        const int dpi = ScreenDpi();
        if (dpi <= 0)
            return false;
        m_lf.lfHeight = -MulDiv(points, dpi, 72);
        return true;
    }
    m_lf.lfHeight = -MulDiv(points, m_logPixelsY, 72);
    return true;
}

int LogFont::GetHeight() const
{
    if (m_logPixelsY < 0)
        return m_lf.lfHeight;
    return -MulDiv(m_lf.lfHeight, 72, m_logPixelsY);
}

void LogFont::SetAngle(long degrees)
{
    const auto tenths = static_cast<std::int32_t>(std::clamp<long long>(
        static_cast<long long>(degrees) * 10, std::numeric_limits<std::int32_t>::min(),
        std::numeric_limits<std::int32_t>::max()));
    m_lf.lfEscapement = tenths;
    m_lf.lfOrientation = tenths;
}

long LogFont::GetAngle() const
{
    return m_lf.lfEscapement / 10;
}

bool LogFont::Create(QFont& font) const
{
    if (!HaveGuiApp())
        return false;
    QFont f;
    const QString face = QString::fromUtf8(
        m_lf.lfFaceName, static_cast<qsizetype>(strnlen(m_lf.lfFaceName, LF_FACESIZE)));
    if (!face.isEmpty())
        f.setFamily(face);
    if ((m_lf.lfPitchAndFamily & 0x03) == 1)
    {
        f.setFixedPitch(true);
        f.setStyleHint(QFont::TypeWriter);
    }
    if (m_lf.lfHeight < 0)
    {
        f.setPixelSize(
            std::min(-static_cast<long long>(m_lf.lfHeight), 4096LL) > 0
                ? static_cast<int>(std::min(-static_cast<long long>(m_lf.lfHeight), 4096LL))
                : 1);
    }
    else if (m_lf.lfHeight > 0)
    {
        // Cell height: scale the em size so that ascent + descent matches.
        const int cell = std::min(m_lf.lfHeight, 4096);
        f.setPixelSize(cell);
        const int h = QFontMetrics(f).height();
        if (h > 0)
            f.setPixelSize(std::max(1, cell * cell / h));
    }
    if (m_lf.lfWeight > 0)
        f.setWeight(static_cast<QFont::Weight>(std::clamp(m_lf.lfWeight, 1, 1000)));
    f.setItalic(m_lf.lfItalic != 0);
    f.setUnderline(m_lf.lfUnderline != 0);
    f.setStrikeOut(m_lf.lfStrikeOut != 0);
    font = f;
    return true;
}

} // namespace zef::Glimra
