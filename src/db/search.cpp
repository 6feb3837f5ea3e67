#include "search.h"

#include "dataset.h"

namespace tabel {

bool SearchRule::matches(const QString& value, const QString& typed) const {
    return match == Match::Prefix ? value.startsWith(typed, Qt::CaseInsensitive)
                                  : value.contains(typed, Qt::CaseInsensitive);
}

void SearchRule::apply(Dataset& list, const QString& typed) const {
    if (typed.trimmed().isEmpty()) {
        list.clearFilter();
        if (!list.isEmpty())
            list.setCurrentRow(0);
        return;
    }
    list.setFilter([rule = *this, typed](const Dataset& ds, int row) {
        return rule.matches(ds.sourceValue(row, rule.field).toString(), typed);
    });
}

} // namespace tabel
