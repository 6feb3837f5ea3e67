#pragma once

#include <QString>

namespace tabel {

class Dataset;

// How a list window's search box narrows its list: the rows whose `field`
// begins with (or, for `Contains`, contains) the typed text, compared
// literally (quotes, "%" and "_" are plain characters) and without regard
// to case, Cyrillic included. The text is used as typed, spaces included; a
// text that is blank after trimming shows every row.
struct SearchRule {
    enum class Match { Prefix, Contains };
    QString field;
    Match match = Match::Prefix;
    bool matches(const QString& value, const QString& typed) const;
    // Narrows `list` to the matching rows; the list moves to its first
    // visible row. The narrowing stays on the list
    // over closings and rereadings until another text is applied.
    void apply(Dataset& list, const QString& typed) const;
};

} // namespace tabel
