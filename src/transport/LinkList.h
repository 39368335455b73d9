#pragma once
// TLinkList: a transport's listeners (TComLink records), told of what happens in the order
// they came. A handler may detach links, its own too, or close the transport: every walk goes
// over the list as it was when the walk began and skips the links gone meanwhile.

#include "transport/ComLink.h"

#include <algorithm>
#include <vector>

class TLinkList {
public:
    // False for no link, or one already in the list.
    bool add(TComLink* link)
    {
        if (!link || contains(link))
            return false;
        links_.push_back(link);
        return true;
    }
    // False for a link not in the list.
    bool remove(TComLink* link)
    {
        const auto it = std::find(links_.begin(), links_.end(), link);
        if (it == links_.end())
            return false;
        links_.erase(it);
        return true;
    }
    bool contains(const TComLink* link) const
    {
        return std::find(links_.begin(), links_.end(), link) != links_.end();
    }
    template <typename P> bool any(P&& pred) const { return std::any_of(links_.begin(), links_.end(), pred); }
    void clear() { links_.clear(); }

    template <typename F> void forEach(F&& f) const
    {
        const std::vector<TComLink*> snapshot = links_;
        for (TComLink* link : snapshot)
            if (contains(link))
                f(*link);
    }

    // CTS, DSR and RLSD low, each to every link in turn: what a closing transport says first.
    void linesDown(QObject* sender) const
    {
        forEach([sender](TComLink& l) {
            if (l.CtsHandler)
                l.CtsHandler(sender, false);
        });
        forEach([sender](TComLink& l) {
            if (l.DsrHandler)
                l.DsrHandler(sender, false);
        });
        forEach([sender](TComLink& l) {
            if (l.RlsdHandler)
                l.RlsdHandler(sender, false);
        });
    }

private:
    std::vector<TComLink*> links_;
};
