#pragma once
// One list of point values of a series (X or Y), kept in its Order, read back multiplied by
// Multiplier, with its minimum, maximum and totals cached behind a dirty flag.

#include "chart/core/ChartTypes.h"

#include <QString>
#include <vector>

class TChartSeries;

class TChartValueList {
public:
    TChartValueList(TChartSeries* owner, QString name);

    TChartSeries* Owner() const { return owner_; }
    const QString& Name() const { return name_; }
    void SetName(const QString& name) { name_ = name; }
    TChartListOrder Order() const { return order_; }
    void SetOrder(TChartListOrder order) { order_ = order; }
    double Multiplier() const { return multiplier_; }
    void SetMultiplier(double multiplier);
    bool DateTime() const { return dateTime_; }
    void SetDateTime(bool dateTime) { dateTime_ = dateTime; }

    int Count() const { return int(values_.size()); }
    // The stored value at index times Multiplier.
    double Value(int index) const { return values_[std::size_t(index)] * multiplier_; }
    double operator[](int index) const { return Value(index); }
    void SetValue(int index, double value);
    // The stored values, not multiplied.
    const std::vector<double>& Raw() const { return values_; }

    // Places value by Order and returns its index: ascending or descending input appends in
    // constant time; an out-of-order value goes after every equal value already stored.
    int AddChartValue(double value);
    // Puts value at index whatever the Order (the Y list follows the index of its X).
    void InsertChartValue(int index, double value);
    void Delete(int index);
    void Clear();

    double MinValue() const;
    double MaxValue() const;
    double Total() const;
    double TotalABS() const;
    // First index whose value is >= value (Count() when none), for an ascending list.
    int FirstNotBelow(double value) const;
    // First index whose value is > value (Count() when none), for an ascending list.
    int FirstAbove(double value) const;

private:
    void recalcStats() const;

    TChartSeries* owner_;
    QString name_;
    TChartListOrder order_ = loNone;
    double multiplier_ = 1.0;
    bool dateTime_ = false;
    std::vector<double> values_;

    mutable bool statsDirty_ = true;
    mutable double minValue_ = 0;
    mutable double maxValue_ = 0;
    mutable double total_ = 0;
    mutable double totalAbs_ = 0;
};
