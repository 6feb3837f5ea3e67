#include "journal/main_window.h"
#include "kit/grid_model.h"
#include "test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QImage>
#include <QRadioButton>
#include <QTableView>

using namespace tabel;
using namespace tabel::test;

QT_BEGIN_NAMESPACE
// Readable failures.
inline void PrintTo(const QColor& c, std::ostream* os) {
    *os << c.name().toStdString();
}
inline void PrintTo(const QRect& r, std::ostream* os) {
    *os << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}
QT_END_NAMESPACE

namespace {

const QDate kDay(2024, 3, 5); // a Tuesday

// The colour that covers most of a widget as drawn: its background.
QColor backgroundOf(QWidget* w) {
    const QImage img = w->grab().toImage();
    QHash<QRgb, int> counts;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            ++counts[img.pixel(x, y)];
    QRgb best = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(best))
            best = it.key();
    return QColor(best);
}

} // namespace

class JournalLookTest : public DbTest {};

// Marking the chosen shift and the day off must not make any caption jump in
// size or push the date picker about.
TEST_F(JournalLookTest, ShiftAndDayOffMarksKeepFontsAndPlaces) {
    MainWindow w(*ctx);
    w.today = [] { return kDay; };
    w.show();
    QCoreApplication::processEvents();
    auto* date = w.findChild<QDateEdit*>("DateT");
    ASSERT_NE(date, nullptr);
    QCheckBox* dayOff = w.dayOffBox();
    const int points = w.font().pointSize();
    const QColor face = QApplication::palette().color(QPalette::Button);
    const QColor green(0, 128, 0), red(255, 0, 0);
    const int dateX = date->x();
    QList<QRect> places;
    for (int s = 1; s <= 4; ++s)
        places << w.shiftButton(s)->geometry();
    const QRect dayOffPlace = dayOff->geometry();

    auto check = [&](const char* step, int shift, bool ticked) {
        SCOPED_TRACE(step);
        QCoreApplication::processEvents(); // lets the layout settle
        for (int s = 1; s <= 4; ++s) {
            SCOPED_TRACE(s);
            QRadioButton* rb = w.shiftButton(s);
            EXPECT_EQ(rb->isChecked(), s == shift);
            EXPECT_EQ(rb->font().pointSize(), points);
            EXPECT_EQ(rb->font().bold(), s == shift);
            EXPECT_EQ(backgroundOf(rb), s == shift ? green : face);
            EXPECT_EQ(rb->geometry(), places[s - 1]);
        }
        EXPECT_EQ(dayOff->font().pointSize(), points);
        EXPECT_EQ(dayOff->font().bold(), ticked);
        EXPECT_EQ(backgroundOf(dayOff), ticked ? red : face);
        EXPECT_EQ(dayOff->geometry(), dayOffPlace);
        EXPECT_EQ(date->x(), dateX);
    };
    check("opened", 1, false);
    w.shiftButton(2)->click();
    check("shift 2", 2, false);
    w.shiftButton(1)->click();
    check("back to shift 1", 1, false);
    dayOff->setChecked(true);
    check("day off", 1, true);
    dayOff->setChecked(false);
    check("working day", 1, false);
}
