#pragma once

#include "controls/DrawContext.h"
#include "controls/GlimraExport.h"
#include "controls/LogFont.h"

#include <QLabel>
#include <QString>

#include <memory>
#include <vector>

class QCursor;
class QUrl;

namespace zef::Glimra
{

/// One band of a horizontal gradient: pixels left..right-1 in one colour.
struct GLIMRA_API GradientBand
{
    int left = 0;
    int right = 0;
    ColorRef color = 0;
    bool operator==(const GradientBand&) const = default;
};

/// The bands of a left-to-right gradient over [left, right) in at most `steps` bands. Each
/// channel walks in 1/256 steps from `from` toward `to`; the last band runs to the right edge.
GLIMRA_API std::vector<GradientBand> GradientBands(int left, int right, ColorRef from, ColorRef to,
                                                   int steps);

/// Fills `rect` with a left-to-right gradient of at most `steps` bands.
GLIMRA_API void FillGradient(DrawContext& dc, const Rect& rect, ColorRef from, ColorRef to,
                             int steps);

/// A static text with its own colour and font, a solid or gradient background, an optional
/// embossed or engraved look, border and sunken edge, and an optional link: a click opens a
/// web or mail address or is reported through Notify().
///
/// Alignment comes from the label's alignment and word wrap: centred (horizontally and
/// vertically) draws one centred line; horizontally centred or right-aligned text wraps;
/// left-aligned text wraps only with word wrap on.
class GLIMRA_API StaticTextCtrl : public QLabel
{
    Q_OBJECT

public:
    enum Text3D : int
    {
        TEXT3D_FLAT = 0,
        TEXT3D_RAISED = 1, ///< second drawing shifted by (-1, -1)
        TEXT3D_SUNKEN = 2, ///< second drawing shifted by (+1, +1)
    };

    /// Code of the click notification.
    static constexpr int NOTIFY_CLICKED = 0x8200;

    explicit StaticTextCtrl(QWidget* parent = nullptr);
    explicit StaticTextCtrl(const QString& text, QWidget* parent = nullptr);
    ~StaticTextCtrl() override;

    void SetText(const QString& text);
    void SetTextColor(ColorRef color);
    void SetText3DColor(ColorRef color);
    void SetText3D(Text3D mode);
    /// Solid background.
    void SetBkColor(ColorRef color);
    /// Left-to-right gradient background.
    void SetBkColor(ColorRef from, ColorRef to);
    void SetTextFont(const LOGFONTA& font);
    const LOGFONTA& GetTextFont() const;
    void SetBorder(bool on);
    void SetSunken(bool on);
    void SetHyperLink(bool link, bool notify);
    void SetMailLink(bool link, bool notify);
    /// Target of the link; empty: the window text.
    void SetHyperLink(const QString& target);
    /// Cursor over the control; nullptr: the default cursor.
    void SetLinkCursor(const QCursor* cursor);

    ColorRef GetTextColor() const;
    ColorRef GetText3DColor() const;
    Text3D GetText3D() const;
    bool IsGradient() const;
    ColorRef GetBkColor() const;
    ColorRef GetBkColor2() const;
    bool HasBorder() const;
    bool IsSunken() const;

    /// Paints the client area on `dc` (background, text, 3D text), as a paint event does.
    void Paint(DrawContext& dc);

signals:
    /// A click on a control with notification on: this control, its "controlId" property and
    /// NOTIFY_CLICKED.
    void Notify(StaticTextCtrl* ctrl, int id, int code);

protected:
    void Redraw();
    /// Hands a link to the desktop's default handler.
    virtual void OpenLink(const QUrl& url);
    void PaintText(DrawContext& dc, Rect rect);
    unsigned TextFormat() const;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Data;
    void SetLink(int kind, bool link, bool notify);
    void UpdateMargins();
    Rect ClientRect() const;

    std::unique_ptr<Data> m_Data;
};

} // namespace zef::Glimra
