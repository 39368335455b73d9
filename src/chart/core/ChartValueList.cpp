#include "chart/core/ChartValueList.h"

#include <algorithm>
#include <cmath>

TChartValueList::TChartValueList(TChartSeries* owner, QString name)
    : owner_(owner)
    , name_(std::move(name))
{
}

void TChartValueList::SetMultiplier(double multiplier)
{
    if (multiplier != multiplier_) {
        multiplier_ = multiplier;
        statsDirty_ = true;
    }
}

void TChartValueList::SetValue(int index, double value)
{
    values_[std::size_t(index)] = value;
    statsDirty_ = true;
}

int TChartValueList::AddChartValue(double value)
{
    statsDirty_ = true;
    const int count = Count();
    if (order_ == loNone) {
        values_.push_back(value);
        return count;
    }
    const bool ascending = order_ == loAscending;
    if (count == 0 || (ascending ? values_.back() <= value : values_.back() >= value)) {
        values_.push_back(value);
        return count;
    }
    // Backwards from the end past every value that must come after this one; equal values
    // stay in front, so the newest of equal values ends up last.
    int i = count - 1;
    while (i >= 0 && (ascending ? values_[std::size_t(i)] > value : values_[std::size_t(i)] < value)) {
        --i;
    }
    const int index = i + 1;
    values_.insert(values_.begin() + index, value);
    return index;
}

void TChartValueList::InsertChartValue(int index, double value)
{
    values_.insert(values_.begin() + index, value);
    statsDirty_ = true;
}

void TChartValueList::Delete(int index)
{
    values_.erase(values_.begin() + index);
    statsDirty_ = true;
}

void TChartValueList::Clear()
{
    std::vector<double>().swap(values_);
    statsDirty_ = true;
}

void TChartValueList::recalcStats() const
{
    if (!statsDirty_) {
        return;
    }
    statsDirty_ = false;
    if (values_.empty()) {
        minValue_ = maxValue_ = total_ = totalAbs_ = 0;
        return;
    }
    const double first = values_.front() * multiplier_;
    minValue_ = maxValue_ = total_ = first;
    totalAbs_ = std::fabs(first);
    for (std::size_t i = 1; i < values_.size(); ++i) {
        const double v = values_[i] * multiplier_;
        if (v < minValue_) {
            minValue_ = v;
        } else if (v > maxValue_) {
            maxValue_ = v;
        }
        total_ += v;
        totalAbs_ += std::fabs(v);
    }
}

double TChartValueList::MinValue() const
{
    recalcStats();
    return minValue_;
}

double TChartValueList::MaxValue() const
{
    recalcStats();
    return maxValue_;
}

double TChartValueList::Total() const
{
    recalcStats();
    return total_;
}

double TChartValueList::TotalABS() const
{
    recalcStats();
    return totalAbs_;
}

int TChartValueList::FirstNotBelow(double value) const
{
    // Compare read-back values; a negative multiplier would reverse the order, so scan then.
    if (multiplier_ > 0) {
        const auto it = std::lower_bound(values_.begin(), values_.end(), value / multiplier_);
        return int(it - values_.begin());
    }
    for (int i = 0; i < Count(); ++i) {
        if (Value(i) >= value) {
            return i;
        }
    }
    return Count();
}

int TChartValueList::FirstAbove(double value) const
{
    if (multiplier_ > 0) {
        const auto it = std::upper_bound(values_.begin(), values_.end(), value / multiplier_);
        return int(it - values_.begin());
    }
    for (int i = 0; i < Count(); ++i) {
        if (Value(i) > value) {
            return i;
        }
    }
    return Count();
}
