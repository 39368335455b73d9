#pragma once
// The read-outs while the link is down: they are shown grey, with their last value and when it
// came in the tool tip, and the next record from the device brings back the colours the parser
// gave them. No widgets: the window paints what this says.

#include "common/Color.h"
#include "session/RecordParser.h"

#include <QString>
#include <array>
#include <optional>

class TReadoutShade {
public:
    static constexpr TColor kDownColor = 0x808080; // grey

    // The parser's colour and text of a read-out.
    void setColor(TReadout which, TColor color) { colors_[std::size_t(which)] = color; }
    void setValue(TReadout which, const QString& text, qint64 ms);
    // The port closed or the device went away.
    void linkDown(qint64 ms);
    // A record came; true when the read-outs were down and come back now.
    bool linkUp();

    bool down() const { return down_; }
    // What a read-out shows now; none: the window's text colour (never coloured).
    std::optional<TColor> shownColor(TReadout which) const;
    // Empty while the link is up.
    QString toolTip(TReadout which) const;

private:
    struct Value {
        QString text;
        qint64 ms = 0;
    };
    std::array<std::optional<TColor>, 3> colors_{};
    std::array<std::optional<Value>, 3> values_{};
    bool down_ = false;
    qint64 downMs_ = 0;
};
