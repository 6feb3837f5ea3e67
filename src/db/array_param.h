#pragma once

#include <QString>
#include <QStringList>

namespace tabel {

// A list of numbers as one array parameter, which the statement casts
// (`cast(:ids as integer[])`): "{1,2,3}". `text` writes one value; numbers
// are written plainly by default.
template <typename Range, typename Text> QString arrayParam(const Range& values, Text text) {
    QStringList items;
    for (const auto& v : values)
        items << text(v);
    return QLatin1Char('{') + items.join(QLatin1Char(',')) + QLatin1Char('}');
}

template <typename Range> QString arrayParam(const Range& values) {
    return arrayParam(values, [](const auto& v) { return QString::number(v); });
}

} // namespace tabel
