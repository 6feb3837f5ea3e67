#pragma once

#include "reportengine/document.h"
#include "reportengine/fit.h"

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace tabel::test {

// Every text of the laid-out pages prints whole, each of its lines within
// its cell's width, and no two texts of a page share any place.
inline void expectEveryCellFits(const reportengine::Document& doc) {
    reportengine::TextMeasure measure;
    for (int p = 0; p < doc.pages.size(); ++p) {
        const auto& texts = doc.pages[p].texts;
        for (int i = 0; i < texts.size(); ++i) {
            const reportengine::PlacedText& t = texts[i];
            if (t.text.isEmpty())
                continue;
            // Broken at blanks, after hyphens or between letters.
            EXPECT_EQ(t.lines.join(QString()).remove(' '), QString(t.text).remove(' '));
            for (const QString& line : t.lines) {
                EXPECT_LE(measure.width(line, t.fontSize, t.bold),
                          t.rect.width() - 2 * reportengine::kCellPadding + 1e-9)
                    << "page " << p + 1 << ": " << line.toStdString();
            }
            for (int j = i + 1; j < texts.size(); ++j) {
                const QRectF both = t.rect.intersected(texts[j].rect);
                if (!texts[j].text.isEmpty()) {
                    EXPECT_FALSE(both.width() > 1e-6 && both.height() > 1e-6)
                        << "page " << p + 1 << ": " << t.text.toStdString() << " / "
                        << texts[j].text.toStdString();
                }
            }
        }
    }
}

// Whether the words of `text` appear on `page` whole and in their order:
// a text broken into lines is read back interleaved with its neighbours.
inline bool printsWhole(const QString& page, const QString& text) {
    const QStringList printed = page.simplified().split(' ');
    qsizetype at = 0;
    for (const QString& word : text.simplified().split(' ')) {
        at = printed.indexOf(word, at);
        if (at < 0)
            return false;
        ++at;
    }
    return true;
}

} // namespace tabel::test
