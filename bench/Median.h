#pragma once

#include <QList>

#include <algorithm>

// The middle of a set of figures, the mean of the two middle ones for an even count: one round slowed
// down by the machine moves it no more than one fast round does.
inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype count = values.size();
    return count % 2 ? values.at(count / 2) : (values.at(count / 2 - 1) + values.at(count / 2)) / 2;
}
