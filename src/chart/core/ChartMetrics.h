#pragma once
// Text measurement the layout needs; the widget measures with its fonts, tests with fixed
// numbers.

#include "chart/core/ChartTypes.h"

#include <QString>

class TChartMetrics {
public:
    virtual ~TChartMetrics() = default;
    virtual int TextWidth(const TChartFont& font, const QString& text) const = 0;
    virtual int TextHeight(const TChartFont& font) const = 0;
};

// A fixed-pitch estimate: charWidth pixels per character, lineHeight per line.
class TFixedChartMetrics : public TChartMetrics {
public:
    explicit TFixedChartMetrics(int charWidth = 6, int lineHeight = 13)
        : charWidth_(charWidth)
        , lineHeight_(lineHeight)
    {
    }
    int TextWidth(const TChartFont&, const QString& text) const override
    {
        return charWidth_ * int(text.size());
    }
    int TextHeight(const TChartFont&) const override { return lineHeight_; }

private:
    int charWidth_;
    int lineHeight_;
};
