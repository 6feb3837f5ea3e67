#include "text_widths.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QStringView>
#include <cmath>

namespace tabel {

namespace {

// 11 pt at 96 dots per inch.
constexpr double kSheetPixels = 11.0 * 96 / 72;
// Measured large and scaled down, so that the font engine's rounding of its
// own pixel size does not distort the small size.
constexpr int kMeasurePixels = 1100;
// Calibri 11's digits are 7 pixels wide.
constexpr int kDigitPixels = 7;
// Fitting leaves a few pixels on either side of the text, and the column's
// grid line.
constexpr int kFitMargin = 7;
// The widest column a spreadsheet allows: 255 characters.
constexpr int kWidestColumn = 1790;

QFont measuringFont(bool bold) {
    QFont f(QStringLiteral("Carlito"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(kMeasurePixels);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(false);
    return f;
}

} // namespace

TextWidths::TextWidths() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        regular_ = std::make_unique<QFontMetricsF>(measuringFont(false));
        bold_ = std::make_unique<QFontMetricsF>(measuringFont(true));
    }
}

TextWidths::~TextWidths() = default;

int TextWidths::pixels(const QString& text, bool bold) const {
    const QFontMetricsF* metrics = bold ? bold_.get() : regular_.get();
    if (!metrics)
        return static_cast<int>(text.size()) * kDigitPixels;
    QHash<char32_t, int>& advances = advances_[bold ? 1 : 0];
    int total = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QStringView ch = QStringView(text).mid(i, n);
        const char32_t code = n == 2 ? QChar::surrogateToUcs4(ch[0], ch[1]) : ch[0].unicode();
        auto it = advances.constFind(code);
        if (it == advances.constEnd())
            it = advances.insert(
                code, static_cast<int>(std::lround(metrics->horizontalAdvance(ch.toString()) *
                                                   kSheetPixels / kMeasurePixels)));
        total += *it;
        i += n;
    }
    return total;
}

int TextWidths::columnPixels(int widestText) {
    return std::min(widestText + kFitMargin, kWidestColumn);
}

} // namespace tabel
