#pragma once

// LogFont: a logical font record plus the vertical resolution (pixels per logical inch) of the
// device it is meant for. Resolution -1: no device known; 0: a device was named but gave no
// resolution. Heights follow the Windows convention: negative = character (em) height in
// pixels, positive = cell height, 0 = the default size.

#include "controls/GlimraExport.h"

#include <cstdint>

class QFont;
class QString;
class QWidget;

namespace zef::Glimra
{

class DrawContext;

constexpr int LF_FACESIZE = 32;

// Logical font record.
struct GLIMRA_API LOGFONTA
{
    std::int32_t lfHeight = 0;
    std::int32_t lfWidth = 0;
    std::int32_t lfEscapement = 0; // tenths of a degree
    std::int32_t lfOrientation = 0;
    std::int32_t lfWeight = 0; // 400 normal, 700 bold
    std::uint8_t lfItalic = 0;
    std::uint8_t lfUnderline = 0;
    std::uint8_t lfStrikeOut = 0;
    std::uint8_t lfCharSet = 0;
    std::uint8_t lfOutPrecision = 0;
    std::uint8_t lfClipPrecision = 0;
    std::uint8_t lfQuality = 0;
    std::uint8_t lfPitchAndFamily = 0;
    char lfFaceName[LF_FACESIZE] = {};
};

enum DefaultFont
{
    DeviceDefaultFont = 0,
    DefaultGuiFont = 1,
    OemFixedFont = 2,
    SystemFont = 3,
    SystemFixedFont = 4,
};

// Windows-style MulDiv: a * b / c in 64 bits, rounded to nearest (halves away from zero).
// c == 0 answers 0.
GLIMRA_API int MulDiv(int a, int b, int c);

class GLIMRA_API LogFont
{
public:
    LogFont();
    explicit LogFont(int logPixelsY);
    explicit LogFont(const DrawContext* dc); // resolution of dc, 0 for nullptr
    explicit LogFont(const QWidget* wnd);    // resolution of the window, 0 for nullptr
    LogFont(const LOGFONTA& lf);             // resolution -1
    LogFont(const LogFont& other) = default;

    LogFont& operator=(const LOGFONTA& lf); // resolution unchanged
    LogFont& operator=(const LogFont& other) = default;

    bool operator==(const LOGFONTA& lf) const;
    bool operator==(const LogFont& other) const;
    operator const LOGFONTA&() const { return m_lf; }
    const LOGFONTA& GetRecord() const { return m_lf; }

    static int GetLogPixelSy(const DrawContext* dc);
    static int GetLogPixelSy(const QWidget* wnd);
    void SetLogPixelSy(const DrawContext* dc) { m_logPixelsY = GetLogPixelSy(dc); }
    void SetLogPixelSy(const QWidget* wnd) { m_logPixelsY = GetLogPixelSy(wnd); }
    int GetResolution() const { return m_logPixelsY; }

    void SetDefault(DefaultFont font);
    void SetBold(bool bold);
    void SetUnderline(bool on);
    void SetItalic(bool on);
    bool SetName(const QString& name, std::uint8_t charSet);
    bool SetHeight(int points);
    int GetHeight() const;
    void SetAngle(long degrees);
    long GetAngle() const;

    // Replaces font by one made from the record; false (font untouched) without a GUI
    // application, in which no font can be made.
    bool Create(QFont& font) const;

    // The stock font record of a DefaultFont value (values outside 0..4: SystemFont).
    static LOGFONTA StockRecord(int font);

private:
    LOGFONTA m_lf;
    int m_logPixelsY = -1;
};

} // namespace zef::Glimra
