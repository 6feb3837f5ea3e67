// The spreadsheet exports, read back from the written workbooks with
// openpyxl: cells with their types, bold and number formats, and the column
// widths.
#include "test_support.h"

#include "app/windows.h"
#include "export/export_actions.h"
#include "export/xlsx_workbook.h"
#include "journal/main_window.h"
#include "kit/error_boxes.h"
#include "operations/operations_list.h"
#include "reports/reports_dialog.h"
#include "timesheets/monthly_timesheet_window.h"
#include "timesheets/shift_timesheet_window.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

using namespace tabel;
using namespace tabel::test;

namespace {

// Sheet 1 of a workbook as openpyxl reads it: every cell that holds a value,
// and the widths of the columns that have one of their own.
const char* kReader = R"(
import json, sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
cells = {}
for row in ws.iter_rows():
    for c in row:
        if c.value is not None:
            cells[c.coordinate] = {"v": c.value, "t": c.data_type, "b": bool(c.font.b),
                                   "f": c.number_format}
widths = {k: d.width for k, d in ws.column_dimensions.items() if d.customWidth}
print(json.dumps({"sheets": wb.sheetnames, "cells": cells, "widths": widths,
                  "rows": ws.max_row}, ensure_ascii=False))
)";

struct Cell {
    QJsonValue value; // string or number; undefined when the cell is empty
    QString type;     // "s" text, "n" number
    bool bold = false;
    QString format;

    QString text() const { return value.toString(); }
    double number() const { return value.toDouble(); }
};

QString ref(int row, int column) {
    QString letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar('A' + (c - 1) % 26));
    return letters + QString::number(row);
}

struct Sheet {
    QStringList sheets;
    QJsonObject cells;
    QJsonObject widths;
    int rows = 0;

    bool has(int row, int column) const { return cells.contains(ref(row, column)); }
    Cell at(int row, int column) const {
        const QJsonObject c = cells.value(ref(row, column)).toObject();
        return {c.value("v"), c.value("t").toString(), c.value("b").toBool(),
                c.value("f").toString()};
    }
    // The width in characters, 0 for a column left at the default.
    double width(int column) const { return widths.value(ref(1, column).chopped(1)).toDouble(); }
    QStringList row(int r, int columns) const {
        QStringList out;
        for (int c = 1; c <= columns; ++c)
            out << (has(r, c) ? at(r, c).value.toVariant().toString() : QString());
        return out;
    }
};

Sheet readBack(const QString& path) {
    QProcess p;
    const QString python =
        QFile::exists("/usr/bin/python3") ? QString("/usr/bin/python3") : QString("python3");
    p.start(python, {"-c", kReader, path});
    p.waitForFinished(60000);
    const QByteArray out = p.readAllStandardOutput();
    const QJsonObject o = QJsonDocument::fromJson(out).object();
    EXPECT_FALSE(o.isEmpty()) << p.readAllStandardError().toStdString();
    Sheet s;
    for (const QJsonValue& v : o.value("sheets").toArray())
        s.sheets << v.toString();
    s.cells = o.value("cells").toObject();
    s.widths = o.value("widths").toObject();
    s.rows = o.value("rows").toInt();
    return s;
}

class ExportTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        setErrorMessenger(&messenger);
        ASSERT_TRUE(folder.isValid());
        workbookHandOver().folder = folder.path();
        workbookHandOver().show = [this](const QString& path) {
            shown << path;
            return showWorks;
        };
        window.setLayout(new QVBoxLayout);
        window.layout()->addWidget(button = new QPushButton("Excel"));
        window.layout()->addWidget(other = new QPushButton("Обновить"));
    }
    void TearDown() override {
        workbookHandOver() = {};
        setErrorMessenger(nullptr);
        DbTest::TearDown();
    }

    // A time-sheet row of the month; days not given stay empty.
    void sheetRow(int worker, int smena, int type, int night, int month, int year,
                  const QMap<int, int>& days) {
        QStringList columns{"w_id", "month", "year", "smena", "i_type", "i_night"};
        QStringList values{":w", ":m", ":y", ":s", ":t", ":n"};
        QVariantMap params{{"w", worker}, {"m", month}, {"y", year},
                           {"s", smena},  {"t", type},  {"n", night}};
        for (auto it = days.cbegin(); it != days.cend(); ++it) {
            columns << QString("d%1").arg(it.key());
            values << QString(":d%1").arg(it.key());
            params.insert(QString("d%1").arg(it.key()), it.value());
        }
        run(QString("insert into accounts_dep.h_tabel (%1) values (%2)")
                .arg(columns.join(", "), values.join(", ")),
            params);
    }

    QTemporaryDir folder;
    QStringList shown;
    bool showWorks = true;
    QWidget window;
    QPushButton* button = nullptr;
    QPushButton* other = nullptr;
};

TEST_F(ExportTest, SummaryWritesColoursKindsAndExactNumbersAsPlainCells) {
    const int worker = addWorker("Иванов И. И.");
    const int product = addProduct("Щит-1");
    run("update cmn_gds_and_srv.gds_and_srv set massa = 0.125 where id = :id", {{"id", product}});
    const int paint = addVid("Покраска");
    const int finished = addOper(product, paint, 0);
    const int blanks = addOper(product, paint, 1);
    const QDate day(2024, 3, 5);
    addRecord({.worker = worker, .oper = finished, .date = day, .qty = 10, .brak = 1});
    addRecord({.worker = worker, .oper = finished, .date = day, .shift = 2, .qty = 5});
    addRecord({.worker = worker, .oper = finished, .date = day, .qty = 3, .color = 1});
    addRecord({.worker = worker, .oper = blanks, .date = day, .qty = 7, .color = 1015});
    // Outside the half-open period.
    addRecord({.worker = worker, .oper = finished, .date = QDate(2024, 4, 1), .qty = 100});
    const QString nom =
        scalar("select nom from accounts_dep.izdel where id = :id", {{"id", product}}).toString();

    struct Case {
        ProductKind kind;
        QList<QStringList> rows; // nom, operation, kind, mass, quantity
    } cases[] = {
        {ProductKind::All,
         {{nom, "Покраска", "Готовая продукция", "1.75", "14"},
          {nom, "Покраска (грунт)", "Готовая продукция", "0.375", "3"},
          {nom, "Покраска (цвет: 1015)", "Заготовки", "0.875", "7"}}},
        {ProductKind::Finished,
         {{nom, "Покраска", "Готовая продукция", "1.75", "14"},
          {nom, "Покраска (грунт)", "Готовая продукция", "0.375", "3"}}},
        {ProductKind::Blanks, {{nom, "Покраска (цвет: 1015)", "Заготовки", "0.875", "7"}}},
    };
    for (const Case& c : cases) {
        const QString path =
            exportSummary(&window, button, *ctx, QDate(2024, 3, 1), QDate(2024, 4, 1), c.kind);
        ASSERT_FALSE(path.isEmpty());
        const Sheet s = readBack(path);
        EXPECT_EQ(s.row(1, 5),
                  QStringList({"Наименование", "Операция", "Вид продукции", "Коробки", "Кол-во"}));
        ASSERT_EQ(s.rows, c.rows.size() + 1);
        for (int r = 0; r < c.rows.size(); ++r) {
            EXPECT_EQ(s.row(r + 2, 5), c.rows[r]);
            EXPECT_EQ(s.at(r + 2, 1).type, "s");
            EXPECT_EQ(s.at(r + 2, 4).type, "n");
            EXPECT_EQ(s.at(r + 2, 5).type, "n");
        }
        for (int col = 1; col <= 5; ++col) {
            EXPECT_FALSE(s.at(2, col).bold);
            EXPECT_EQ(s.at(2, col).format, "General");
            EXPECT_EQ(s.width(col), 0) << "no column of the summary is fitted";
        }
        EXPECT_EQ(button->text(), QString("Excel (%1 из %1)").arg(c.rows.size()));
    }
    EXPECT_TRUE(messenger.messages.isEmpty());
}

// The shift time sheet, and what the window may do meanwhile.
TEST_F(ExportTest, ShiftTimesheetWritesDaysTotalsAndFittedFormattedColumns) {
    const int longName = addWorker("Константинопольский Александр Александрович");
    const int shortName = addWorker("Ли А.");
    // Every row of the month adds up per worker, whatever its kind.
    sheetRow(longName, 1, 0, 0, 3, 2024, {{1, 8}, {2, 10}});
    sheetRow(longName, 2, 0, 0, 3, 2024, {{2, 2}, {31, 4}});
    sheetRow(longName, 0, 7777, 1, 3, 2024, {{3, 1}});
    sheetRow(shortName, 1, 0, 0, 3, 2024, {{15, 0}});
    sheetRow(shortName, 1, 0, 0, 4, 2024, {{1, 8}}); // another month

    // What the window allows while the export runs: checked as soon as the
    // export lets the window process its events.
    bool otherDisabled = false, closed = true;
    int exportsStarted = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++exportsStarted; });
    QTimer::singleShot(0, [&] {
        otherDisabled = !other->isEnabled();
        QTest::mouseClick(button, Qt::LeftButton); // swallowed
        closed = window.close();
    });
    window.show();
    const QString path = exportShiftTimesheet(&window, button, *ctx, 3, 2024, "Март");
    ASSERT_FALSE(path.isEmpty());
    EXPECT_TRUE(otherDisabled);
    EXPECT_EQ(exportsStarted, 0);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(other->isEnabled()) << "given back after the export";
    EXPECT_EQ(shown, QStringList{path});
    EXPECT_EQ(button->text(), "Excel (2 из 2)");

    const Sheet s = readBack(path);
    EXPECT_EQ(s.sheets, QStringList{"Лист1"});
    ASSERT_EQ(s.rows, 4);
    struct Expected {
        int row, column;
        QJsonValue value;
        QString type;
        bool bold;
        QString format;
    } cells[] = {
        {1, 1, "Март 2024", "s", true, "@"},
        {2, 1, "Фамилия И.О.", "s", true, "@"},
        {2, 2, 1, "n", true, "General"},
        {2, 32, 31, "n", true, "General"},
        {2, 33, "Итого", "s", true, "@"},
        {3, 1, "Константинопольский Александр Александрович", "s", false, "@"},
        {3, 2, 8, "n", false, "General"},
        {3, 3, 12, "n", false, "General"},
        {3, 4, 1, "n", false, "General"},
        {3, 32, 4, "n", false, "General"},
        {3, 33, 25, "n", false, "General"},
        {4, 1, "Ли А.", "s", false, "@"},
        {4, 16, 0, "n", false, "General"},
        {4, 33, 0, "n", false, "General"},
    };
    for (const Expected& e : cells) {
        const Cell c = s.at(e.row, e.column);
        const std::string where = ref(e.row, e.column).toStdString();
        EXPECT_EQ(c.value, e.value) << where;
        EXPECT_EQ(c.type, e.type) << where;
        EXPECT_EQ(c.bold, e.bold) << where;
        EXPECT_EQ(c.format, e.format) << where;
    }
    EXPECT_FALSE(s.has(3, 5)) << "an empty day is left empty";
    EXPECT_FALSE(s.has(4, 2));
    // Every column is fitted to its widest text: the long name, two digits,
    // one bold digit, "Итого".
    for (int col = 1; col <= 33; ++col)
        EXPECT_GT(s.width(col), 0) << col;
    EXPECT_GT(s.width(1), 40);
    EXPECT_GT(s.width(3), s.width(5));
    EXPECT_GT(s.width(33), s.width(5));
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(ExportTest, MonthlySheetsWriteTheirColumnsAsTheSheetShowsThem) {
    const int worker = addWorker("Петров П. П.");
    const int idle = addWorker("Сидоров С. С."); // rows, but nothing that pays
    const int oper = addOper(addProduct("Щит-2"), addVid("Резка"));
    addRecord({.worker = worker,
               .oper = oper,
               .date = QDate(2024, 3, 5),
               .time = 8,
               .qty = 10,
               .price = 12.5});
    sheetRow(worker, 1, 0, 0, 3, 2024, {{5, 8}});
    sheetRow(idle, 1, 0, 0, 3, 2024, {{6, 4}});
    run("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, "
        "cnt, price, i_holiday, i_night) values (7777, :w, 1, '2024-03-07', 3, 2024, 1, 3, "
        "150.50, 0, 1)",
        {{"w", worker}});
    sheetRow(worker, 0, 7777, 1, 3, 2024, {{7, 3}});

    struct Case {
        sql::MonthlySheet kind;
        QStringList headings;    // columns 33 to 36
        QList<QStringList> rows; // columns 1, 2, the first days and 34 to 36
    } cases[] = {
        {sql::MonthlySheet::Piecework,
         {"31", "Итого (ч.)", "Итого (р.)", "Час (р.)"},
         {{"Петров П. П.", "", "", "", "", "", "8", "", "8", "125", "15.63"},
          {"Сидоров С. С.", "", "", "", "", "", "", "4", "", "", "0"}}},
        {sql::MonthlySheet::Housekeeping,
         {"31", "Итого (ч.)", "Итого (р.)", "Час (р.)"},
         {{"Петров П. П.", "ноч.", "", "", "", "", "", "", "3", "451.5", "150.5"}}},
        {sql::MonthlySheet::General,
         {"31", "Итого (ч.)", "Итого (р.)", ""},
         {{"Петров П. П.", "", "", "", "", "", "8", "", "11", "576.5", ""},
          {"Сидоров С. С.", "", "", "", "", "", "", "4", "0", "0", ""}}},
    };
    for (const Case& c : cases) {
        Dataset sheet(db, "H_Tabel0");
        openMonthlySheet(sheet, c.kind, 3, 2024);
        const QString path = exportMonthlySheet(&window, button, *ctx, sheet, c.kind, "Март 2024");
        ASSERT_FALSE(path.isEmpty());
        const Sheet s = readBack(path);
        const std::string kind = std::to_string(static_cast<int>(c.kind));
        EXPECT_EQ(s.at(1, 1).text(), "Март 2024") << kind;
        EXPECT_EQ(s.row(2, 3), QStringList({"Фамилия И.О.", "", "1"})) << kind;
        EXPECT_EQ(s.row(2, 36).mid(32), c.headings) << kind;
        ASSERT_EQ(s.rows, c.rows.size() + 2) << kind;
        for (int r = 0; r < c.rows.size(); ++r) {
            const QStringList all = s.row(r + 3, 36);
            EXPECT_EQ(all.mid(0, 8) + all.mid(33), c.rows[r]) << kind;
        }
        EXPECT_EQ(s.at(3, 1).format, "@");
        EXPECT_EQ(s.at(3, 35).type, "n");
        EXPECT_EQ(s.at(3, 35).format, "General");
        EXPECT_FALSE(s.at(3, 35).bold);
        EXPECT_TRUE(s.at(2, 35).bold);
        EXPECT_EQ(s.width(2) > 0, c.kind == sql::MonthlySheet::Housekeeping)
            << "column 2 is fitted only where it has the day or night mark";
        EXPECT_EQ(button->text(), QString("Excel (%1 из %1)").arg(c.rows.size()));
    }
    EXPECT_TRUE(messenger.messages.isEmpty());
}

// The program's time-sheet windows export the month they show.
TEST_F(ExportTest, TheTimeSheetWindowsExportTheMonthTheyShow) {
    const int worker = addWorker("Петров П. П.");
    sheetRow(worker, 1, 0, 0, 3, 2024, {{2, 8}});
    sheetRow(worker, 0, 7777, 0, 3, 2024, {{4, 2}});
    MainWindow main(*ctx);
    Windows windows(*ctx, main);

    ShiftTimesheetWindow& shifts = windows.shiftTimesheet();
    EXPECT_TRUE(shifts.printButton()->isEnabled()); // "Печать" reaches the print preview
    shifts.selectMonthOf(QDate(2024, 3, 20));
    shifts.excelButton()->click();
    ASSERT_EQ(shown.size(), 1);
    Sheet s = readBack(shown.last());
    EXPECT_EQ(s.row(1, 1), QStringList{"Март 2024"});
    EXPECT_EQ(s.row(3, 5), QStringList({"Петров П. П.", "", "8", "", "2"}));
    EXPECT_EQ(shifts.excelButton()->text(), "Excel (1 из 1)");

    MonthlyTimesheetWindow& monthly = windows.monthlyTimesheet();
    monthly.prepare(MonthlyTimesheetWindow::Sheet::Housekeeping, QDate(2024, 3, 20));
    monthly.excelButton()->click();
    ASSERT_EQ(shown.size(), 2);
    s = readBack(shown.last());
    EXPECT_EQ(s.row(1, 1), QStringList{"Март 2024"});
    EXPECT_EQ(s.row(3, 6), QStringList({"Петров П. П.", "дн.", "", "", "", "2"}));
    EXPECT_EQ(monthly.excelButton()->text(), "Excel (1 из 1)");
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(ExportTest, TheReportsDialogExportsItsPeriodAndKind) {
    const int worker = addWorker("Иванов И. И.");
    const int product = addProduct("Щит-2");
    const int cut = addVid("Резка");
    addRecord({.worker = worker, .oper = addOper(product, cut, 0), .date = QDate(2024, 3, 5)});
    addRecord({.worker = worker, .oper = addOper(product, cut, 1), .date = QDate(2024, 3, 6)});
    addRecord({.worker = worker, .oper = addOper(product, cut, 1), .date = QDate(2024, 4, 1)});
    MainWindow main(*ctx);
    Windows windows(*ctx, main);
    ReportsDialog& dialog = windows.reports();
    dialog.fromPicker()->setDate(QDate(2024, 3, 1));
    dialog.toPicker()->setDate(QDate(2024, 4, 1));
    dialog.kindButton(reports::ProductKind::Blanks)->setChecked(true);
    ASSERT_TRUE(dialog.excelButton()->isEnabled());
    dialog.excelButton()->click();
    ASSERT_EQ(shown.size(), 1);
    const Sheet s = readBack(shown.last());
    ASSERT_EQ(s.rows, 2); // the blank of March only
    EXPECT_EQ(s.at(2, 3).value, "Заготовки");
    EXPECT_EQ(dialog.excelButton()->text(), "Excel (1 из 1)");
}

TEST_F(ExportTest, PriceListListsEveryOperationWithItsListPrice) {
    const int cut = addVid("Резка");
    const int bend = addVid("Гибка");
    const int b = addOper(addProduct("Б-2"), cut, 1);
    const int a = addOper(addProduct("А-1"), bend, 0);
    addNorm(b, 3.5);
    run("update accounts_dep.oper set cena_new = 12.345 where id = :id", {{"id", b}});
    (void)a; // no norm, list price 0 as the program writes it

    OperationsList list(*ctx);
    list.beginDirectory();
    list.searchBox()->setText("Б"); // the search narrows the grid, not the price list
    list.excelButton()->click();
    list.endDirectory();
    ASSERT_EQ(shown.size(), 1);
    const Sheet s = readBack(shown[0]);
    ASSERT_EQ(s.rows, 3);
    EXPECT_EQ(s.row(1, 4), QStringList({"Марка", "Операция", "Цена", "Вид"}));
    EXPECT_EQ(s.row(2, 4), QStringList({"А-1", "Гибка", "0", "Готовая продукция"}));
    EXPECT_EQ(s.row(3, 4), QStringList({"Б-2", "Резка", "12.345", "Заготовки"}));
    EXPECT_EQ(s.at(3, 3).type, "n");
    EXPECT_FALSE(s.at(1, 1).bold);
    EXPECT_EQ(s.at(1, 1).format, "General");
    EXPECT_EQ(s.width(1), 0);
    EXPECT_EQ(list.excelButton()->text(), "Excel") << "the price list shows no progress";
}

TEST_F(ExportTest, ZeroRowsWriteTheHeadersOnly) {
    const std::function<QString()> exports[] = {
        [&] {
            return exportSummary(&window, button, *ctx, QDate(2024, 3, 1), QDate(2024, 4, 1),
                                 ProductKind::All);
        },
        [&] { return exportShiftTimesheet(&window, button, *ctx, 3, 2024, "Март"); },
        [&] {
            Dataset sheet(db, "H_Tabel0");
            openMonthlySheet(sheet, sql::MonthlySheet::General, 3, 2024);
            return exportMonthlySheet(&window, button, *ctx, sheet, sql::MonthlySheet::General,
                                      "Март 2024");
        },
    };
    const int headerRows[] = {1, 2, 2};
    for (int i = 0; i < 3; ++i) {
        button->setText("Excel");
        const QString path = exports[i]();
        ASSERT_FALSE(path.isEmpty()) << i;
        EXPECT_EQ(readBack(path).rows, headerRows[i]) << i;
        EXPECT_EQ(button->text(), "Excel (0 из 0)") << i;
    }
}

TEST_F(ExportTest, FailuresAreReportedAndLeaveNoWorkbookBehind) {
    // An operation type longer than a cell holds: that cell alone is refused.
    const int product = addProduct("А-1");
    addOper(product, addVid(QString(40000, QChar(u'ж'))));
    addOper(product, addVid("Резка"));
    QString path = exportPriceList(&window, *ctx);
    ASSERT_FALSE(path.isEmpty());
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].caption, "Ошибка Microsoft Excel");
    EXPECT_EQ(messenger.messages[0].text, "Ошибка при записи: лист 1, столбец 2, строка 2");
    const Sheet s = readBack(path);
    EXPECT_EQ(s.row(2, 4), QStringList({"А-1", "", "0", "Готовая продукция"}));
    EXPECT_EQ(s.row(3, 2), QStringList({"А-1", "Резка"}));

    sheetRow(addWorker("Ли А."), 1, 0, 0, 3, 2024, {{1, 8}});
    const auto timesheet = [&] {
        return exportShiftTimesheet(&window, button, *ctx, 3, 2024, "Март");
    };

    // No application for the workbook: nothing is left of it.
    messenger.messages.clear();
    showWorks = false;
    path = timesheet();
    EXPECT_TRUE(path.isEmpty());
    EXPECT_EQ(messenger.lastText(), "Невозможно открыть Microsoft Excel.");
    EXPECT_EQ(messenger.messages.last().caption, "Ошибка");
    EXPECT_FALSE(QFile::exists(shown.last()));

    // A folder that cannot hold it: the reason comes with the message.
    showWorks = true;
    messenger.messages.clear();
    shown.clear();
    workbookHandOver().folder = "/dev/null/tabel";
    EXPECT_TRUE(timesheet().isEmpty());
    EXPECT_TRUE(shown.isEmpty());
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].caption, "Ошибка");
    EXPECT_EQ(messenger.messages[0].text, "Ошибка открытия файла Microsoft Excel.");
    EXPECT_TRUE(messenger.messages[0].detail.contains("не папка"))
        << messenger.messages[0].detail.toStdString();

    // A failure at the very end, when the workbook is complete but cannot
    // take its place: the folder is as it was.
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("Табель.xlsx");
    XlsxWorkbook book(dir.path() + "/Табель.xlsx");
    book.writeText(1, 1, "Март 2024", {});
    try {
        book.save();
        ADD_FAILURE() << "saved over a folder";
    } catch (const WorkbookError& e) {
        EXPECT_TRUE(e.reason().contains("Табель.xlsx")) << e.reason().toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Табель.xlsx"});
}

// tabel-batch export writes the same workbooks without showing them.
TEST_F(ExportTest, BatchExportWritesTheWorkbookOrSaysWhyNot) {
    const int worker = addWorker("Иванов И. И.");
    const int oper = addOper(addProduct("Щит-1"), addVid("Резка"), 1);
    addRecord({.worker = worker, .oper = oper, .date = QDate(2024, 3, 5), .qty = 4});
    sheetRow(worker, 1, 0, 0, 3, 2024, {{5, 8}});
    const QString file = folder.filePath("out.xlsx");

    struct Done {
        QStringList args;
        QStringList row2; // the first columns of row 2 or 3
        int row;
    } done[] = {
        {{"price-list"}, {"Щит-1", "Резка", "0", "Заготовки"}, 2},
        {{"summary", "--from", "01.03.2024", "--to", "2024-04-01", "--kind", "blanks"},
         {"", "Резка", "Заготовки", "4", "4"},
         2},
        {{"timesheet", "--month", "3", "--year", "2024"}, {"Иванов И. И.", "", "", "", "", "8"}, 3},
        {{"monthly", "piecework", "--month", "3", "--year", "2024"},
         {"Иванов И. И.", "", "", "", "", "", "8"},
         3},
    };
    for (const Done& d : done) {
        QFile::remove(file);
        const BatchRun r =
            runBatch(dbName, QStringList{"export"} + d.args + QStringList{"--xlsx", file});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(file)) << r.out.toStdString();
        QStringList got = readBack(file).row(d.row, d.row2.size());
        if (d.args[0] == "summary")
            got[0].clear(); // the designation, as the products view composes it
        EXPECT_EQ(got, d.row2) << d.args.join(' ').toStdString();
    }

    struct Refused {
        QStringList args;
        int exitCode;
        QString says;
    } refused[] = {
        {{"export", "--xlsx", file}, 2, "Не задан вид выгрузки"},
        {{"export", "prices", "--xlsx", file}, 2, "Неизвестный вид выгрузки «prices»"},
        {{"export", "monthly", "--month", "3", "--year", "2024", "--xlsx", file},
         2,
         "Не задан вид табеля"},
        {{"export", "timesheet", "--month", "13", "--year", "2024", "--xlsx", file}, 2, "--month"},
        {{"export", "summary", "--from", "2024-03-01", "--to", "2024-04-01", "--kind", "x",
          "--xlsx", file},
         2,
         "--kind"},
        {{"export", "price-list"}, 2, "Не задан параметр --xlsx"},
        {{"export", "price-list", "--xlsx", "/dev/null/out.xlsx"}, 1, "не папка"},
        {{"export", "price-list", "--xlsx", folder.filePath("no-such-folder/out.xlsx")},
         1,
         "папки"},
    };
    for (const Refused& c : refused) {
        QFile::remove(file);
        const BatchRun r = runBatch(dbName, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(file));
    }

    // A disk that fills up while the workbook is written, as a limit on the
    // size of files: nothing is left in the folder.
    QProcess p;
    p.start("bash", {"-c", "trap '' XFSZ; ulimit -f 4; exec \"$@\"", "bash", TABEL_BATCH, dbName,
                     testSocket(), "export", "timesheet", "--month", "3", "--year", "2024",
                     "--xlsx", file});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains("не записан"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
}

// The window shows a workbook with a refused cell left out and says so; a
// job has no one to tell, so it fails and leaves no file.
TEST_F(ExportTest, BatchExportThatRefusesACellFailsAndLeavesNoFile) {
    addOper(addProduct("А-1"), addVid(QString(40000, QChar(u'ж'))));
    const QString file = folder.filePath("prices.xlsx");
    const BatchRun r = runBatch(dbName, {"export", "price-list", "--xlsx", file});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Ошибка: Файл «" + file +
                         "» не записан: ошибка при записи: лист 1, столбец 2, строка 2.\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
}

// The small plant's December 2023 has day and night rows of both kinds of
// housekeeping, besides the shifts.
class ExportPlantTest : public ExportTest {
protected:
    const char* templateName() const override { return demoTemplate; }
};

// tabel-batch lays out each monthly sheet as the window does: the same cells,
// the day or night mark in column 2 and the last heading included.
TEST_F(ExportPlantTest, BatchMonthlySheetsMatchTheWindowsExport) {
    const struct {
        const char* word;
        sql::MonthlySheet kind;
        bool marks;        // "дн." and "ноч." in column 2
        QString heading36; // over column 36
    } cases[] = {
        {"piecework", sql::MonthlySheet::Piecework, false, "Час (р.)"},
        {"housekeeping", sql::MonthlySheet::Housekeeping, true, "Час (р.)"},
        {"average", sql::MonthlySheet::AveragePiecework, true, "Час (р.)"},
        {"general", sql::MonthlySheet::General, false, ""},
    };
    const QString file = folder.filePath("batch.xlsx");
    for (const auto& c : cases) {
        Dataset sheet(db, "H_Tabel0");
        openMonthlySheet(sheet, c.kind, 12, 2023);
        const QString path =
            exportMonthlySheet(&window, button, *ctx, sheet, c.kind, "Декабрь 2023");
        ASSERT_FALSE(path.isEmpty()) << c.word;
        const Sheet shown = readBack(path);
        const BatchRun r = runBatch(dbName, {"export", "monthly", c.word, "--month", "12", "--year",
                                             "2023", "--xlsx", file});
        ASSERT_EQ(r.exitCode, 0) << c.word << r.err.toStdString();
        const Sheet written = readBack(file);

        ASSERT_GT(shown.rows, 2) << c.word;
        QStringList marks;
        for (int row = 3; row <= shown.rows; ++row)
            marks << (shown.has(row, 2) ? shown.at(row, 2).text() : QString());
        EXPECT_EQ(marks.contains("дн.") && marks.contains("ноч."), c.marks) << c.word;
        EXPECT_EQ(shown.has(2, 36) ? shown.at(2, 36).text() : QString(), c.heading36) << c.word;
        ASSERT_EQ(written.rows, shown.rows) << c.word;
        for (int row = 1; row <= shown.rows; ++row)
            EXPECT_EQ(written.row(row, 36), shown.row(row, 36)) << c.word << " row " << row;
        // Types, bold and number formats too.
        EXPECT_TRUE(written.cells == shown.cells) << c.word;
    }
}

} // namespace
