#include "journal/main_window.h"
#include "kit/grid_model.h"
#include "test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QImage>
#include <QRadioButton>
#include <QTableView>

#include <cmath>

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

// WCAG relative luminance and contrast ratio.
double luminance(const QColor& c) {
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

int distance(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}

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

// The green and red acceptance marks must stay readable on the selected row,
// while the rest of the row still shows the selection.
TEST_F(JournalLookTest, AcceptanceMarksStayReadableOnTheSelectedRow) {
    const int worker = addWorker("Иванов Иван Иванович");
    const int oper = addOper(addProduct("СТ-100"), addVid("Резка"));
    addNorm(oper, 1.5);
    addRecord({.worker = worker, .oper = oper, .date = kDay, .ok = "ok"});
    addRecord({.worker = worker, .oper = oper, .date = kDay, .ok = "no"});
    MainWindow w(*ctx);
    w.today = [] { return kDay; };
    w.show();
    QCoreApplication::processEvents();
    QTableView* grid = w.grid();
    GridModel* m = w.gridModel();
    ASSERT_EQ(m->rowCount(), 2);
    int okCol = -1;
    for (int c = 0; c < m->columnCount(); ++c)
        if (m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() == "OK")
            okCol = c;
    ASSERT_GE(okCol, 0);

    for (int row = 0; row < 2; ++row) {
        const QModelIndex cell = m->index(row, okCol);
        const QColor mark = cell.data(Qt::ForegroundRole).value<QColor>();
        SCOPED_TRACE(cell.data().toString().toStdString());
        grid->selectRow(row);
        QCoreApplication::processEvents();
        ASSERT_TRUE(grid->selectionModel()->isRowSelected(row, {}));
        const QImage img = grid->viewport()->grab().toImage();
        const QRect r = grid->visualRect(cell).adjusted(2, 2, -3, -3);
        const QColor background = img.pixelColor(r.topLeft());
        QColor text = background;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (distance(img.pixelColor(x, y), mark) < distance(text, mark))
                    text = img.pixelColor(x, y);
        EXPECT_LT(distance(text, mark), 30) << "the mark is not drawn in its colour";
        EXPECT_GE(contrast(mark, background), 3.0)
            << qPrintable(background.name()) << " behind " << qPrintable(mark.name());

        const QRect name = grid->visualRect(m->index(row, 0));
        EXPECT_EQ(img.pixelColor(name.topLeft() + QPoint(2, 2)),
                  grid->palette().color(QPalette::Highlight))
            << "the rest of the row shows the selection";
    }
}
