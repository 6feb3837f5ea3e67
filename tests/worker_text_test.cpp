#include "directories/worker_store.h"
#include "test_support.h"

using namespace tabel;

namespace {

class WorkerTextTest : public tabel::test::DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        store = std::make_unique<WorkerStore>(db, messenger, data->workers());
    }
    void TearDown() override {
        store.reset();
        DbTest::TearDown();
    }
    std::string stored(int id) {
        return scalar("select fio || '|' || s_staffpos_hl from accounts_dep.person where id = :id",
                      {{"id", id}})
            .toString()
            .toStdString();
    }

    std::unique_ptr<WorkerStore> store;
};

TEST_F(WorkerTextTest, TextTheServerCannotStoreIsRefusedAndNothingIsWritten) {
    // The driver would cut the text at the character and report success.
    const int id = addWorker("Иванов И.И.", "Цех 5");
    const QString nul(QChar(0));
    struct Case {
        const char* what;
        QString fio;
        QString department;
        QString message;
    } cases[] = {
        {"name", "Петров" + nul + " П.П.", "Цех 1",
         "«ФИО»: значение не подходит. Уберите из него недопустимый символ (код 0)."},
        {"name ending in it", "Петров П.П." + nul, "Цех 1",
         "«ФИО»: значение не подходит. Уберите из него недопустимый символ (код 0)."},
        {"department", "Петров П.П.", "Цех" + nul + "1",
         "«Подразделение»: значение не подходит. Уберите из него недопустимый символ (код 0)."},
    };
    for (const Case& c : cases) {
        for (const bool adding : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (adding ? ", add" : ", change"));
            messenger.messages.clear();
            EXPECT_FALSE(adding ? store->add(c.fio, c.department)
                                : store->change(id, {"Иванов И.И.", "Цех 5"}, c.fio, c.department));
            ASSERT_EQ(messenger.messages.size(), 1);
            EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Error);
            EXPECT_EQ(messenger.messages[0].caption, "Ошибка");
            EXPECT_EQ(messenger.messages[0].text, c.message);
            EXPECT_EQ(scalar("select count(*) from accounts_dep.person").toInt(), 1);
            EXPECT_EQ(stored(id), "Иванов И.И.|Цех 5");
        }
    }
    // Text without it is stored as before.
    EXPECT_TRUE(store->change(id, {"Иванов И.И.", "Цех 5"}, "Петров П.П.", "Цех 1"));
    EXPECT_EQ(stored(id), "Петров П.П.|Цех 1");
}

TEST_F(WorkerTextTest, ANameSavedUnchangedStaysByteForByte) {
    // Names with line breaks come from the personnel application.
    const QString names[] = {
        "Иванов\nИван Иванович",
        "Иванов\r\nИван",
        "Петров\n\nПётр\rПетрович",
    };
    for (const QString& name : names) {
        SCOPED_TRACE(QString(name).replace("\r", "\\r").replace("\n", "\\n").toStdString());
        const int id = addWorker(name, "Цех\n5");
        const auto bytes = [&] {
            return scalar("select encode(convert_to(fio, 'UTF8'), 'hex') || ' ' || "
                          "encode(convert_to(s_staffpos_hl, 'UTF8'), 'hex') "
                          "from accounts_dep.person where id = :id",
                          {{"id", id}})
                .toString()
                .toStdString();
        };
        const std::string before = bytes();
        Dataset& workers = data->workers();
        workers.close();
        workers.open();
        ASSERT_TRUE(workers.locate("id", id));
        EXPECT_EQ(workers.current("fio").toString().toStdString(), name.toStdString());
        const ShownWorker shown{workers.current("fio").toString(),
                                workers.current("s_staffpos_hl").toString()};
        ASSERT_TRUE(store->change(id, shown, shown.fio, shown.department));
        EXPECT_EQ(bytes(), before);
    }
}

} // namespace
