#pragma once
// Value types shared by the chart's model and its widget: enumerations with the design's
// ordinals, pens, brushes, fonts, an inclusive pixel rectangle and the chart error.

#include "common/Color.h"

#include <QString>
#include <stdexcept>

enum TChartListOrder { loNone, loAscending, loDescending };
enum TPanningMode { pmNone, pmHorizontal, pmVertical, pmBoth };
enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear };
enum TBrushStyle { bsSolid, bsClear };
enum TPanelBevel { bvNone, bvLowered, bvRaised };
enum THorizAxis { aTopAxis, aBottomAxis };
enum TVertAxis { aLeftAxis, aRightAxis };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TCursor { crDefault, crArrow, crCross };
enum TSeriesPointerStyle { psRectangle, psCircle, psTriangle };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

struct TChartPen {
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = psSolid;
    bool Visible = true;
};

struct TChartBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
};

struct TChartFont {
    QString Name = QStringLiteral("Arial");
    int Size = 8; // points
    TColor Color = clBlack;
    bool Bold = false;
};

// Pixel rectangle whose Right and Bottom are coordinates inside it, as the axes use them.
struct TChartRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool Contains(int x, int y) const { return x >= Left && x <= Right && y >= Top && y <= Bottom; }
    bool operator==(const TChartRect&) const = default;
};

// Failure of a chart or axis setter; what() is the system's own text.
class EChartException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    QString Message() const { return QString::fromUtf8(what()); }
};
