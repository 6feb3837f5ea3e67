// The change history the database writes, as the program reads and shows it:
// the rows of a record's insert, changes and deletion with exactly the
// changed columns, the journal's "История", and tabel-batch history.
#include "journal/history_dialog.h"
#include "journal/journal_commands.h"
#include "journal/main_window.h"
#include "journal/record_history.h"
#include "records/brigade_job.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace tabel;
using namespace tabel::test;

namespace {

const QDate kDay(2024, 3, 5);

QString valueText(const std::optional<HistoryValue>& v) {
    return v->null ? QStringLiteral("null") : v->text;
}

// A history row in a line: the action, then every changed column with its
// values as stored ("kol_vo 100>4"; an insert's or a deletion's one value).
QString line(const HistoryEntry& e) {
    QStringList parts{e.action};
    for (const HistoryChange& c : e.changes) {
        QString part = c.column + ' ';
        if (c.before)
            part += valueText(c.before);
        if (c.before && c.after)
            part += '>';
        if (c.after)
            part += valueText(c.after);
        parts << part;
    }
    return parts.join(QStringLiteral(", "));
}

QStringList lines(const QList<HistoryEntry>& entries) {
    QStringList out;
    for (const HistoryEntry& e : entries)
        out << line(e);
    return out;
}

// Sheet 1 of a workbook as openpyxl reads it, a list of rows of texts.
QList<QStringList> readSheet(const QString& path) {
    const char* reader = R"(
import json, sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]
print(json.dumps([["" if c is None else str(c) for c in row]
                  for row in ws.iter_rows(values_only=True)], ensure_ascii=False))
)";
    QProcess p;
    // The system's interpreter, which has openpyxl, before any other on the path.
    p.start(QFile::exists("/usr/bin/python3") ? QString("/usr/bin/python3") : QString("python3"),
            {"-c", reader, path});
    p.waitForFinished(60000);
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(p.readAllStandardOutput()).array()) {
        QStringList cells;
        for (const QJsonValue& c : row.toArray())
            cells << c.toString();
        rows << cells;
    }
    return rows;
}

// The program's windows speak Russian: numbers with a decimal comma.
struct RussianNumbers {
    RussianNumbers() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    ~RussianNumbers() { QLocale::setDefault(QLocale::c()); }
};

} // namespace

class ChangeHistoryTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        worker = addWorker("Иванов Иван Иванович");
        oper = addOper(addProduct("СТ-100"), addVid("Резка"));
        addNorm(oper, 1.5);
    }
    QString version(int id) {
        return scalar("select xmin::text from accounts_dep.smena where id = :id", {{"id", id}})
            .toString();
    }
    int worker = 0;
    int oper = 0;
};

// The program's own save, change, acceptance and deletion of a record: one
// history row each, a change with only the column it changed.
TEST_F(ChangeHistoryTest, RecordWrittenThroughTheProgramLeavesExactlyItsChanges) {
    const RecordSaver::Result saved =
        RecordSaver(db).save(recordInput(worker, oper, kDay, "100", "8"), 1, kDay);
    ASSERT_TRUE(saved.saved()) << saved.outcome.text.toStdString();
    const int id = saved.recordId;
    RecordInput change = recordInput(worker, oper, kDay, "4", "8");
    change.mode = 2;
    change.recordId = id;
    change.version = version(id);
    ASSERT_TRUE(RecordSaver(db).save(change, 1, kDay).saved());
    ASSERT_TRUE(toggleAcceptance(db, id, version(id), "no").done());
    ASSERT_TRUE(deleteRecord(db, id));

    const QString w = QString::number(worker);
    const QString o = QString::number(oper);
    const QString i =
        scalar("select i_id from accounts_dep.oper where id = :o", {{"o", oper}}).toString();
    const QString stored = "data 2024-03-05, smena 1, w_id " + w + ", i_id " + i + ", o_id " + o +
                           ", cena 12.5, kol_vo %1, brak 0, color 0, time 8, ok %2, vvod "
                           "2024-03-05T00:00:00, prize 0, f_gds_qty_use 0, id " +
                           QString::number(id) +
                           ", id_cons_use 0, id_doc 0, id_doc_item 0, id_gds_use 0";
    const QList<HistoryEntry> history = recordHistory(db, "smena", id);
    EXPECT_EQ(lines(history),
              QStringList({"insert, " + stored.arg("100", "no"), "update, kol_vo 100>4",
                           "update, ok no>ok", "delete, " + stored.arg("4", "ok")}));
    for (const HistoryEntry& e : history) {
        EXPECT_EQ(e.table, "smena");
        EXPECT_EQ(e.rowId, id);
        EXPECT_EQ(e.workerId, worker);
    }
}

// Whoever writes, the database keeps the history: each table's insert,
// change and deletion in plain SQL from another workstation.
TEST_F(ChangeHistoryTest, PlainSqlWritesOfEveryLoggedTableAreLogged) {
    QSqlDatabase other = otherWorkstation();
    const QString o = QString::number(oper);
    const QString w = QString::number(worker);
    struct Case {
        QString table;
        QString insert;   // returns the id
        QString update;   // :id
        QString inserted; // %1 the id
        QString changed;
        QString deleted;
        std::optional<qint64> worker;
    } cases[] = {
        {"smena",
         "insert into accounts_dep.smena (data, smena, w_id, o_id, kol_vo, ok) values "
         "('2024-03-05', 2, " +
             w + ", " + o + ", 10, 'no') returning id",
         "update accounts_dep.smena set kol_vo = 12.50, brak = 1, data = data where id = :id",
         "data 2024-03-05, smena 2, w_id " + w + ", o_id " + o + ", kol_vo 10, ok no, id %1",
         "kol_vo 10>12.50, brak null>1",
         "data 2024-03-05, smena 2, w_id " + w + ", o_id " + o +
             ", kol_vo 12.50, brak 1, ok no, id %1",
         worker},
        {"fatigue",
         "insert into accounts_dep.fatigue (id_o, id_p, d_date, i_mnth, i_year, cnt, price) "
         "values (7777, " +
             w + ", '2024-03-06', 3, 2024, 4, 150.125) returning id",
         "update accounts_dep.fatigue set cnt = 5 where id = :id",
         "id_o 7777, id_p " + w +
             ", d_date 2024-03-06, i_mnth 3, i_year 2024, cnt 4, "
             "price 150.125, id %1",
         "cnt 4>5",
         "id_o 7777, id_p " + w +
             ", d_date 2024-03-06, i_mnth 3, i_year 2024, cnt 5, "
             "price 150.125, id %1",
         worker},
        {"norm",
         "insert into accounts_dep.norm (o_id, norma, price) values (" + o +
             ", 100, 0.1) returning id",
         "update accounts_dep.norm set price = 0.3, prize = 5 where id = :id",
         "o_id " + o + ", norma 100, price 0.1, id %1", "prize null>5, price 0.1>0.3",
         "o_id " + o + ", norma 100, prize 5, price 0.3, id %1", std::nullopt},
        {"oper",
         "insert into accounts_dep.oper (vid, naimen, i_id, cena_new) values (1, 0, 2, 0) "
         "returning id",
         "update accounts_dep.oper set cena_new = 2.750 where id = :id",
         "vid 1, naimen 0, i_id 2, cena_new 0, id %1", "cena_new 0>2.750",
         "vid 1, naimen 0, i_id 2, cena_new 2.750, id %1", std::nullopt},
    };
    for (const Case& c : cases) {
        const qint64 id = tabel::scalar(other, c.insert).toLongLong();
        tabel::exec(other, c.update, {{"id", id}});
        tabel::exec(other, "delete from accounts_dep." + c.table + " where id = :id", {{"id", id}});
        const QString inserted = c.inserted.arg(id);
        const QList<HistoryEntry> history = recordHistory(db, c.table, id);
        EXPECT_EQ(lines(history), QStringList({"insert, " + inserted, "update, " + c.changed,
                                               "delete, " + c.deleted.arg(id)}))
            << c.table.toStdString();
        for (const HistoryEntry& e : history)
            EXPECT_EQ(e.workerId, c.worker) << c.table.toStdString();
    }
}

// "История" on the journal's current record: that record's rows, oldest
// first, as a user reads them.
TEST_F(ChangeHistoryTest, JournalShowsTheCurrentRecordsHistoryReadably) {
    const RussianNumbers russian;
    run("select set_config('tabel.role', 'мастер', false), "
        "set_config('tabel.workstation', 'цех-2', false)");
    const int other =
        addRecord({.worker = worker, .oper = oper, .date = kDay, .qty = 7, .color = 5});
    run("update accounts_dep.smena set kol_vo = 8 where id = :id", {{"id", other}});
    const RecordSaver::Result saved =
        RecordSaver(db).save(recordInput(worker, oper, kDay, "3", "8"), 1, kDay);
    ASSERT_TRUE(saved.saved());
    const int id = saved.recordId;
    run("update accounts_dep.smena set kol_vo = 4, ok = 'ok', cena = null where id = :id",
        {{"id", id}});

    MainWindow w(*ctx);
    w.openJournal();
    w.setPickedDate(kDay);
    ASSERT_TRUE(ctx->currentShiftList().locate("id", id));
    w.historyButton()->click();

    auto* dialog = w.findChild<HistoryDialog*>("TFormHistory");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    QTableWidget* list = dialog->list();
    ASSERT_EQ(list->rowCount(), 2);
    const QString who = "мастер, цех-2 (" + scalar("select session_user").toString() + ")";
    const QRegularExpression when("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$");
    for (int r = 0; r < 2; ++r) {
        EXPECT_TRUE(when.match(list->item(r, 0)->text()).hasMatch())
            << list->item(r, 0)->text().toStdString();
        EXPECT_EQ(list->item(r, 1)->text(), who);
    }
    EXPECT_EQ(list->item(0, 2)->text(), "Добавлена");
    EXPECT_EQ(list->item(0, 3)->text(),
              "Дата: 05.03.2024; Смена: 1; Работник: Иванов Иван Иванович; Изделие: СТ-100; "
              "Операция: Резка (Готовая продукция); Цена: 12,5; Количество: 3; Брак: 0; "
              "Цвет: нет; Часы: 8; Принята: нет; Заведена: 05.03.2024; Премия: 0");
    EXPECT_EQ(list->item(1, 2)->text(), "Изменена");
    EXPECT_EQ(list->item(1, 3)->text(), "Цена: 12,5 → пусто; Количество: 3 → 4; Принята: нет → да");
}

// Ids read as the names of what they stand for now, numbers with a decimal
// comma, dates without a midnight, a brigade member's share as such; links
// to other applications' documents only when one was set; a row that is
// gone by its number.
TEST_F(ChangeHistoryTest, HistoryNamesWhatItsIdsStandFor) {
    const RussianNumbers russian;
    const int group = addGroup("Стеллажи");
    const int gone = addWorker("Сидоров Сидор Сидорович");
    const int paint = addOper(addProduct("ЗЛ-4х750"), addVid("Покраска"), 1);
    addNorm(paint, 2.25);
    const int second = addWorker("Петров Петр Петрович");

    BrigadeJobInput job;
    job.date = kDay;
    job.productId =
        scalar("select i_id from accounts_dep.oper where id = :o", {{"o", oper}}).toInt();
    job.operationId = oper;
    job.finalPrice = 1.5;
    job.operationText = "СТ-100; Резка; Готовая продукция";
    job.quantity = "90";
    job.rejects = "0";
    job.members = {{worker, "Иванов", "8", "1,5"}, {second, "Петров", "8", "1"}};
    const BrigadeJobs::Result saved = BrigadeJobs(db).save(job, kDay);
    ASSERT_TRUE(saved.saved()) << saved.outcome.text.toStdString();
    const int share = scalar("select id from accounts_dep.smena where id_doc = :j and w_id = :w",
                             {{"j", saved.jobId}, {"w", worker}})
                          .toInt();
    const int linked = addRecord({.worker = gone, .oper = paint, .date = kDay, .qty = 2});
    run("update accounts_dep.smena set id_doc = 77, id_doc_item = 5, kol_vo = 2.50 "
        "where id = :id",
        {{"id", linked}});
    run("delete from cmn_contractor.person where id = :w", {{"w", gone}});
    run("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, "
        "cnt, price, i_holiday, i_night) values (7777, :w, :g, '2024-03-06', 3, 2024, 1, 4, "
        "150.125, 0, 1)",
        {{"w", worker}, {"g", group}});
    const qint64 entry = scalar("select max(id) from accounts_dep.fatigue").toLongLong();
    const qint64 norm =
        scalar("select id from accounts_dep.norm where o_id = :o", {{"o", oper}}).toLongLong();
    const qint64 member =
        scalar("select id from accounts_dep.brigade_member where w_id = :w", {{"w", second}})
            .toLongLong();

    const struct {
        const char* what;
        QString table;
        qint64 id;
        QStringList texts;
    } cases[] = {
        {"a brigade member's share",
         "smena",
         share,
         {"Доля бригадного наряда № " + QString::number(saved.jobId) +
          "; Дата: 05.03.2024; Смена: 1; Работник: Иванов Иван Иванович; Изделие: СТ-100; "
          "Операция: Резка (Готовая продукция); Цена: 1,5; Количество: 54; Брак: 0; Цвет: нет; "
          "Часы: 8; Принята: нет; Заведена: 05.03.2024; Премия: 0"}},
        {"another application's link, a worker gone from the registry",
         "smena",
         linked,
         {"Дата: 05.03.2024; Смена: 1; Работник: № " + QString::number(gone) +
              "; Изделие: ЗЛ-4х750; Операция: Покраска (Заготовки); Цена: 1; Количество: 2; "
              "Брак: 0; Цвет: нет; Часы: 8; Принята: нет; Заведена: 05.03.2024; Премия: 0",
          "Количество: 2 → 2,50; Документ: 0 → 77; Строка документа: 0 → 5"}},
        {"a housekeeping entry",
         "fatigue",
         entry,
         {"Вид работ: Хоз. работы; Работник: Иванов Иван Иванович; Группа: Стеллажи; "
          "Дата: 06.03.2024; Месяц: 3; Год: 2024; Смена: 1; Часы: 4; Цена: 150,125; "
          "Выходной: нет; Ночь: да"}},
        {"a norm",
         "norm",
         norm,
         {"Операция: СТ-100, Резка (Готовая продукция); Норма: 100; "
          "Премия: 0; Цена: 1,5"}},
        {"a brigade member",
         "brigade_member",
         member,
         {"Наряд: № " + QString::number(saved.jobId) +
          "; Работник: Петров Петр Петрович; Часы: 8; КТУ: 1,00; Место в списке: 2"}},
    };
    for (const auto& c : cases) {
        QStringList texts;
        for (const HistoryEntry& e : recordHistory(db, c.table, c.id))
            texts << historyChanges(e);
        EXPECT_EQ(texts, c.texts) << c.what;
    }
}

// Closing and reopening a month are history rows too, with the note and
// the reason.
TEST_F(ChangeHistoryTest, ClosingAndReopeningReadAsMonthRows) {
    run("select accounts_dep.close_month(2024, 3, 'оплачен')");
    run("select accounts_dep.reopen_month(2024, 3, 'ошибка в табеле')");
    const QList<HistoryEntry> history = periodHistory(
        db, {QDate::currentDate(), QDate::currentDate().addDays(1), "closed_month", {}});
    ASSERT_EQ(history.size(), 2);
    EXPECT_EQ(historyAction(history[0].action), "Месяц закрыт");
    EXPECT_EQ(historyChanges(history[0]), "Месяц 03.2024; Примечание: оплачен");
    EXPECT_EQ(historyAction(history[1].action), "Месяц открыт");
    EXPECT_EQ(historyChanges(history[1]), "Месяц 03.2024; Причина: ошибка в табеле");
}

// Values come out as the database wrote them, whatever they hold.
TEST(HistoryJsonTest, MembersKeepTheirWrittenValues) {
    const auto members = jsonMembers(
        R"({"a": "x\"y\\z, }", "b": 12.50, "c": null, "d": {"e": [1, "}"]}, "f": "\u0416\n"})");
    QStringList got;
    for (const auto& [key, value] : members)
        got << key + '=' + (value.null ? QStringLiteral("<null>") : value.text);
    EXPECT_EQ(
        got, QStringList({"a=x\"y\\z, }", "b=12.50", "c=<null>", R"(d={"e": [1, "}"]})", "f=Ж\n"}));
}

// tabel-batch history: the period's rows, filtered by table or worker, as a
// workbook; bad arguments exit 2 and leave no file.
TEST_F(ChangeHistoryTest, BatchWritesThePeriodsHistoryOrRefusesBadArguments) {
    const int second = addWorker("Петров Петр Петрович");
    const int id = addRecord({.worker = worker, .oper = oper, .date = kDay, .qty = 10});
    run("update accounts_dep.smena set kol_vo = 12.50 where id = :id", {{"id", id}});
    addRecord({.worker = second, .oper = oper, .date = kDay, .qty = 1});
    run("update accounts_dep.norm set price = 1.25 where o_id = :o", {{"o", oper}});
    QTemporaryDir folder;
    const QString file = folder.filePath("history.xlsx");
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString tomorrow = QDate::currentDate().addDays(1).toString("dd.MM.yyyy");
    const QString user = scalar("select session_user").toString();

    const BatchRun r = runBatch(dbName, {"history", "--from", today, "--to", tomorrow, "--worker",
                                         QString::number(worker), "--xlsx", file});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Записан файл " + file + ": строк истории 2.\n");
    const QList<QStringList> rows = readSheet(file);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0],
              QStringList({"Когда", "Пользователь", "Роль", "Рабочее место", "Таблица", "Запись",
                           "Действие", "Работник", "ФИО работника", "Изменения"}));
    EXPECT_EQ(rows[1].mid(1, 1) + rows[1].mid(4, 5),
              QStringList({user, "smena", QString::number(id), "Добавлена", QString::number(worker),
                           "Иванов Иван Иванович"}));
    EXPECT_TRUE(rows[1][9].contains("Работник: Иванов Иван Иванович; Изделие: СТ-100; "
                                    "Операция: Резка (Готовая продукция);"))
        << rows[1][9].toStdString();
    EXPECT_EQ(rows[2].mid(4),
              QStringList({"smena", QString::number(id), "Изменена", QString::number(worker),
                           "Иванов Иван Иванович", "Количество: 10 → 12,50"}));

    const BatchRun norms = runBatch(
        dbName, {"history", "--from", today, "--to", tomorrow, "--table", "norm", "--xlsx", file});
    ASSERT_EQ(norms.exitCode, 0) << norms.err.toStdString();
    const QList<QStringList> normRows = readSheet(file);
    ASSERT_EQ(normRows.size(), 3);
    EXPECT_EQ(normRows[1][6], "Добавлена");
    EXPECT_EQ(normRows[2].mid(6), QStringList({"Изменена", "", "", "Цена: 1,5 → 1,25"}));

    struct Refused {
        QStringList args;
        QString says;
    } refused[] = {
        {{"--to", tomorrow, "--xlsx", file}, "--from"},
        {{"--from", "2024-02-30", "--to", tomorrow, "--xlsx", file}, "--from"},
        {{"--from", tomorrow, "--to", today, "--xlsx", file}, "--to"},
        {{"--from", today, "--to", tomorrow, "--table", "h_tabel", "--xlsx", file}, "--table"},
        {{"--from", today, "--to", tomorrow, "--worker", "Иванов", "--xlsx", file}, "--worker"},
        {{"--from", today, "--to", tomorrow}, "--xlsx"},
        {{"--from", today, "--to", tomorrow, "--shift", "1", "--xlsx", file}, "--shift"},
    };
    for (const Refused& c : refused) {
        QFile::remove(file);
        const BatchRun bad = runBatch(dbName, QStringList{"history"} + c.args);
        EXPECT_EQ(bad.exitCode, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(bad.err.contains(c.says)) << bad.err.toStdString();
        EXPECT_FALSE(QFile::exists(file)) << c.args.join(' ').toStdString();
    }
}

// A long period is read a page at a time; the rows of one transaction share
// their time, and a page boundary among them loses or repeats none.
TEST_F(ChangeHistoryTest, ALongPeriodIsReadWhole) {
    run("insert into accounts_dep.norm (o_id, norma, price) "
        "select :o, 100, g from generate_series(1, 25003) g",
        {{"o", oper}});
    qint64 last = 0;
    int rows = 0;
    bool ascending = true;
    forEachHistoryEntry(db, {QDate::currentDate(), QDate::currentDate().addDays(1), "norm", {}},
                        [&](const HistoryEntry& e) {
                            ascending = ascending && e.id > last;
                            last = e.id;
                            ++rows;
                        });
    EXPECT_EQ(rows, 25003 + 1); // and the norm of the fixture
    EXPECT_TRUE(ascending);
}
