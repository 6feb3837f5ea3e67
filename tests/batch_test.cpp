#include "pdf_text.h"
#include "test_support.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

using namespace tabel::test;

namespace {

class BatchTest : public DbTest {
protected:
    // tabel-batch as a scheduler starts it: an environment with nothing in
    // it (no LANG or LC_*, no XDG_RUNTIME_DIR), under the shell's `limits`.
    BatchRun runScheduled(const QStringList& arguments, const QString& limits = {}) {
        QProcess p;
        p.start("env", QStringList{"-i", "/bin/bash", "-c", limits + " exec \"$@\"", "bash",
                                   TABEL_BATCH, dbName, testSocket()} +
                           arguments);
        BatchRun r;
        if (!p.waitForFinished(120000)) {
            p.kill();
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QTemporaryDir dir;
};

TEST_F(BatchTest, CheckAnswersAndHelpListsCommands) {
    const BatchRun check = runBatch(dbName, {"check"});
    EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
    EXPECT_TRUE(check.out.contains("База данных отвечает.")) << check.out.toStdString();

    const BatchRun help = runBatch(dbName, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("check")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("reconcile --month M --year Y [--verbose]"))
        << help.out.toStdString();
}

TEST_F(BatchTest, BadArgumentsExitNonZeroWithAReason) {
    struct Case {
        QStringList args;
        int exitCode;
        QString says;
    } cases[] = {
        {{"no-such-command"}, 2, "Неизвестная команда"},
        {{"check", "--bogus", "1"}, 2, "Неизвестный параметр --bogus"},
        {{"check", "stray"}, 2, "Лишний аргумент"},
        {{"check", "--verbose"}, 2, "Неизвестный параметр --verbose"},
        {{"reconcile", "--month", "11", "--year", "2026", "--verbose", "yes"},
         2,
         "Параметр --verbose задается без значения, а не «yes»"},
        {{"reconcile", "--month", "--year", "2026"}, 2, "Не задано значение параметра --month"},
    };
    for (const Case& c : cases) {
        const BatchRun r = runBatch(dbName, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    }
    const BatchRun noDb = runBatch("no_such_database_here", {"check"});
    EXPECT_EQ(noDb.exitCode, 1);
    EXPECT_FALSE(noDb.err.isEmpty());
}

// A scheduled job's output holds what the job says and nothing of Qt's or
// the spreadsheet library's own: a clean run prints its lines on stdout and
// nothing on stderr, a failed one its reason alone.
TEST_F(BatchTest, ScheduledJobsPrintOnlyWhatTheJobSays) {
    const int worker = addWorker("Иванов И. И.");
    addRecord({.worker = worker,
               .oper = addOper(addProduct("Щит-1"), addVid("Резка")),
               .date = QDate(2026, 11, 5)});
    run("insert into accounts_dep.h_tabel (w_id, month, year, smena, d5) values (:w, 11, 2026, "
        "1, 8)",
        {{"w", worker}});
    const QString xlsx = dir.filePath("sheet.xlsx");
    const QString pdf = dir.filePath("report.pdf");
    const QStringList month{"--month", "11", "--year", "2026"};
    const struct {
        QStringList args;
        QString limits;
        int exitCode;
        QString out;
        QString err;
    } cases[] = {
        {{"check"}, {}, 0, "База данных отвечает.\n", ""},
        {QStringList{"export", "timesheet"} + month + QStringList{"--xlsx", xlsx},
         {},
         0,
         "Записан файл " + xlsx + ": строк 1.\n",
         ""},
        {{"report", "workers", "--from", "2026-11-01", "--to", "2026-12-01", "--pdf", pdf},
         {},
         0,
         "Отчет записан в " + pdf + " (страниц: 1).\n",
         ""},
        // A disk that fills up while the workbook is written.
        {QStringList{"export", "timesheet"} + month + QStringList{"--xlsx", xlsx},
         "trap '' XFSZ; ulimit -f 4;", 1, "",
         "Ошибка: Файл «" + xlsx + "» не записан: файл больше, чем разрешено записать.\n"},
    };
    for (const auto& c : cases) {
        QFile::remove(xlsx);
        const BatchRun r = runScheduled(c.args, c.limits);
        const std::string what = (c.limits + c.args.join(' ')).toStdString();
        EXPECT_EQ(r.exitCode, c.exitCode) << what;
        EXPECT_EQ(r.out.left(c.out.size()), c.out) << what; // "check" goes on
        EXPECT_EQ(r.out.isEmpty(), c.out.isEmpty()) << what;
        EXPECT_EQ(r.err, c.err) << what;
    }
}

// The plant's Russian whatever the environment: the title's dates as the
// reports dialog writes them on a Russian workstation, money with a comma.
TEST_F(BatchTest, ScheduledReportIsInRussianWithoutALocale) {
    const int worker = addWorker("Иванов И. И.");
    addRecord({.worker = worker,
               .oper = addOper(addProduct("Щит-1"), addVid("Резка")),
               .date = QDate(2026, 11, 5),
               .qty = 3,
               .price = 1.5});
    const QString pdf = dir.filePath("report.pdf");
    const BatchRun r = runScheduled(
        {"report", "workers", "--from", "2026-11-01", "--to", "2026-12-01", "--pdf", pdf});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString page = pdfPages(pdf).value(0);
    EXPECT_TRUE(page.startsWith("Отчет по рабочим за период с 01.11.2026 по 01.12.2026\n"))
        << page.toStdString();
    EXPECT_FALSE(page.contains("Nov")) << page.toStdString();
    EXPECT_TRUE(page.contains("\nИтого: 4,50 3,75\n")) << page.toStdString();
}

// A job that fails half-way, after reading some of its rows, leaves no file.
TEST_F(BatchTest, AFailedJobLeavesNoFile) {
    run("alter table accounts_dep.fatigue rename to fatigue_away");
    run("alter table accounts_dep.h_tabel rename to h_tabel_away");
    const QStringList month{"--month", "11", "--year", "2026"};
    const QStringList jobs[] = {
        {"report", "workers", "--from", "2026-11-01", "--to", "2026-12-01", "--pdf",
         dir.filePath("report.pdf")},
        QStringList{"print-timesheet"} + month + QStringList{"--pdf", dir.filePath("sheet.pdf")},
        QStringList{"export", "monthly", "general"} + month +
            QStringList{"--xlsx", dir.filePath("sheet.xlsx")},
    };
    for (const QStringList& job : jobs) {
        const BatchRun r = runBatch(dbName, job);
        EXPECT_EQ(r.exitCode, 1) << job.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("Ошибка базы данных: ")) << r.err.toStdString();
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
}

// The report by workers rounds each product group, the sheets a worker's
// month: on a real plant most workers differ by a kopeck or two. Those notes
// are counted in one line, so that a real difference is not lost among them;
// each is printed with --verbose.
TEST_F(BatchTest, ReconcileCountsTheReportsRoundingInOneLine) {
    const int vid = addVid("Сборка");
    QList<int> opers;
    for (int i = 0; i < 4; ++i)
        opers << addOper(addProduct(QStringLiteral("БЛ-%1").arg(i)), vid);
    // Half a kopeck in each of so many products: the report rounds each up.
    const struct {
        const char* name;
        int products;
    } rounded[] = {{"Абрамов А. А.", 2}, {"Борисов Б. Б.", 4}, {"Васильев В. В.", 2}};
    QList<int> ids;
    for (const auto& w : rounded) {
        ids << addWorker(w.name);
        for (int i = 0; i < w.products; ++i)
            addRecord({.worker = ids.last(),
                       .oper = opers[i],
                       .date = QDate(2026, 11, 3),
                       .qty = 1,
                       .price = 0.005});
    }
    const int other = addWorker("Глебов Г. Г.");
    addRecord({.worker = other, .oper = opers[0], .date = QDate(2026, 11, 4), .price = 10});
    const QStringList month{"--month", "11", "--year", "2026"};
    ASSERT_EQ(runBatch(dbName, QStringList{"rebuild-shifts"} + month).exitCode, 0);

    const QString counted =
        "примечания: сделка расходится с отчетом по рабочим в пределах его округления у 3 "
        "работников, наибольшая разница 0.02 (Борисов Б. Б., № " +
        QString::number(ids[1]) + ")";
    const BatchRun quiet = runBatch(dbName, QStringList{"reconcile"} + month);
    EXPECT_EQ(quiet.exitCode, 0) << quiet.err.toStdString();
    EXPECT_EQ(quiet.out, counted +
                             "; по каждому: --verbose.\nРасчётные листки за 11.2026 (работников: "
                             "4) сходятся с табелями и отчетом по рабочим; примечаний: 3.\n");

    const BatchRun verbose = runBatch(dbName, QStringList{"reconcile", "--verbose"} + month);
    EXPECT_EQ(verbose.exitCode, 0) << verbose.err.toStdString();
    EXPECT_EQ(verbose.out.count("примечание: "), 3) << verbose.out.toStdString();
    EXPECT_TRUE(verbose.out.contains("примечание: Абрамов А. А. (№ " + QString::number(ids[0]) +
                                     "), сделка: в листке 0.01, в отчете по рабочим 0.02 (групп "
                                     "изделий: 2), в пределах округления отчета\n"))
        << verbose.out.toStdString();
    EXPECT_TRUE(verbose.out.contains(counted + ".\n")) << verbose.out.toStdString();

    // A record the report by workers leaves out (its operation is gone).
    run("update accounts_dep.smena set o_id = -o_id where w_id = :w", {{"w", other}});
    const BatchRun fault = runBatch(dbName, QStringList{"reconcile"} + month);
    EXPECT_EQ(fault.exitCode, 1);
    EXPECT_EQ(fault.out, "расхождение: Глебов Г. Г. (№ " + QString::number(other) +
                             "), сделка: в листке 100.00, в отчете по рабочим 0.00 (групп "
                             "изделий: 0)\n" +
                             counted +
                             "; по каждому: --verbose.\nРасхождений: 1, примечаний: 3.\n");
}

} // namespace
