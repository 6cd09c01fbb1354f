#pragma once

#include <QBrush>
#include <QCursor>
#include <QFont>
#include <QString>
#include <QWidget>

#include <optional>

class QPainter;

namespace App
{

// A static text control that paints itself: colours, font, gradient bands, blinking text,
// embossed or rotated text, and an optional link or mail behaviour on click.
// Colours are 0x00BBGGRR values. Every setter answers the label, so calls chain.
class CLabel : public QWidget
{
    Q_OBJECT

public:
    // Static styles understood by the text layout (the low five bits are the alignment).
    enum Style : unsigned
    {
        SS_LEFT = 0x0,
        SS_CENTER = 0x1,
        SS_RIGHT = 0x2,
        SS_LEFTNOWORDWRAP = 0xC,
        SS_TYPEMASK = 0x1F,
        SS_NOTIFY = 0x100,
        SS_CENTERIMAGE = 0x200,
    };
    enum LinkKind
    {
        LINK_NONE = 0,
        LINK_HYPER = 1,
        LINK_MAIL = 2,
    };
    enum BlinkKind
    {
        BLINK_NONE = 0,
        BLINK_TEXT = 1,
        BLINK_BACKGROUND = 2,
    };
    // The notification code sent to the parent on a click when "notify parent" is set.
    static constexpr int NOTIFY_CLICKED = 0x8200;

    // Takes over the font of the parent (the dialog's font) like a static control does.
    explicit CLabel(const QString& text = QString(), QWidget* parent = nullptr,
                    unsigned style = SS_LEFT);
    ~CLabel() override;

    virtual CLabel& SetBackground(unsigned color, unsigned gradientColor = 0,
                                  bool gradient = false);
    virtual CLabel& SetForeground(unsigned color);
    virtual CLabel& SetCaption(const QString& text);
    virtual CLabel& SetBold(bool on);
    virtual CLabel& SetFaceName(const QString& faceName, int charSet = 0);
    virtual CLabel& SetUnderline(bool on);
    virtual CLabel& SetItalic(bool on);
    virtual CLabel& SetPointSize(int points);
    virtual CLabel& SetSunkenEdge(bool on);
    virtual CLabel& SetFrame(bool on);
    virtual CLabel& SetTransparentMode(bool on);
    virtual CLabel& BlinkText(bool on);
    virtual CLabel& BlinkBackground(bool on);
    virtual CLabel& SetHyperlink(bool on, bool notify = false);
    virtual CLabel& SetCursorHandle(const std::optional<QCursor>& cursor);
    virtual CLabel& SetEmboss(bool on, bool direction = false);
    virtual CLabel& SetRotation(int degrees, bool on = true);
    virtual CLabel& SetEmbossColor(unsigned color);
    virtual CLabel& SetFontAttributes(const QFont& logFont);
    virtual CLabel& SetMailLink(bool on, bool notify = false);
    virtual CLabel& SetLinkTarget(const QString& target);

    QString GetText() const { return m_Text; }
    unsigned GetStyle() const { return m_Style; }
    void SetStyle(unsigned style);
    const QFont& GetLogFont() const { return m_LogFont; }
    int GetEscapement() const { return m_Escapement; }

    // Test hooks: how often the label asked to be redrawn, its background brush colour
    // (nullopt without a brush), and the blink phase.
    int GetRedrawCount() const { return m_RedrawCount; }
    std::optional<unsigned> GetBackgroundColor() const;
    bool GetBlinkPhase() const { return m_BlinkPhase; }
    bool IsBlinking() const { return m_Blinking; }
    int GetBlinkKind() const { return m_BlinkKind; }

    // Draws the label's contents as its paint handler does, into any painter.
    void Render(QPainter& painter);
    // Bands of a gradient fill over `width` pixels: band count and band width.
    static void GradientBands(int width, int& bands, int& bandWidth);

    static QColor ToQColor(unsigned color);
    static unsigned FromQColor(const QColor& color);

signals:
    // A click while "notify parent" is set: the label, its control id and NOTIFY_CLICKED.
    void Notify(CLabel* label, int id, int code);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Redraw();
    void RemakeFont();
    void FillGradient(QPainter& painter, const QRect& rect) const;
    void StopBlinkTimer();
    int TextFlags() const;

    unsigned m_TextColor;
    unsigned m_EmbossColor = 0xFFFFFF;
    QBrush m_DefaultBackground;
    std::optional<QBrush> m_Background;
    QFont m_LogFont;
    int m_Escapement = 0;
    QString m_Text;
    unsigned m_Style;
    bool m_BlinkPhase = false;
    bool m_Blinking = false;
    int m_LinkKind = LINK_NONE;
    bool m_Transparent = false;
    bool m_Emboss = false;
    bool m_Rotated = false;
    int m_BlinkKind = BLINK_NONE;
    bool m_EmbossDirection = false;
    bool m_Gradient = false;
    unsigned m_GradientColor = 0;
    unsigned m_BackgroundColor = 0;
    bool m_NotifyParent = false;
    QString m_LinkTarget;
    bool m_SunkenEdge = false;
    bool m_Frame = false;
    int m_BlinkTimer = 0;
    int m_RedrawCount = 0;
};

} // namespace App
