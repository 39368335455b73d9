#include "chart/core/LineThinning.h"

#include <algorithm>

namespace chartmath {

void thinColumns(const QPolygon& in, QPolygon& out)
{
    out.clear();
    out.reserve(std::min<qsizetype>(in.size(), 4096));
    const qsizetype n = in.size();
    auto put = [&](QPoint p) {
        if (out.isEmpty() || out.back() != p) {
            out.append(p);
        }
    };
    for (qsizetype i = 0; i < n;) {
        const int x = in[i].x();
        qsizetype j = i;
        int lo = in[i].y();
        int hi = lo;
        while (j + 1 < n && in[j + 1].x() == x) {
            ++j;
            lo = std::min(lo, in[j].y());
            hi = std::max(hi, in[j].y());
        }
        put(in[i]);
        if (j > i) {
            put(QPoint(x, lo));
            put(QPoint(x, hi));
            put(in[j]);
        }
        i = j + 1;
    }
}

} // namespace chartmath
