#include "db/connection.h"
#include "db/sql.h"
#include "kit/error_boxes.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>

using namespace tabel;

namespace {
// Throws from its event handler, as a window action that meets a database
// error would.
class Thrower : public QObject {
protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw DbError("ERROR: relation \"accounts_dep.ver\" does not exist");
        return QObject::event(e);
    }
};
} // namespace

const QString kDbErrorText = "Ошибка при обращении к базе данных.";

TEST(GeneralErrorHandler, ShowsDatabaseErrorsInRussianWithTheDriversTextAsDetail) {
    RecordingMessenger m;
    Messenger* before = setErrorMessenger(&m);
    guarded([] { throw DbError("ERROR: division by zero;\nError while executing the query"); });
    guarded([] { throw std::runtime_error("out of range"); });
    guarded([] { throw 42; });
    bool ran = false;
    guarded([&] { ran = true; });
    ASSERT_EQ(m.messages.size(), 3);
    EXPECT_EQ(m.messages[0].kind, Messenger::Kind::Error);
    EXPECT_EQ(m.messages[0].caption, "Ошибка");
    EXPECT_EQ(m.messages[0].text, kDbErrorText);
    EXPECT_EQ(m.messages[0].detail, "ERROR: division by zero;\nError while executing the query");
    EXPECT_EQ(m.messages[1].text, "out of range"); // not the database's: its own text
    EXPECT_EQ(m.messages[1].detail, "");
    EXPECT_EQ(m.messages[2].text, ""); // an error without a text of its own
    EXPECT_TRUE(ran);
    setErrorMessenger(before);
}

TEST(GeneralErrorHandler, ShowsTheDriversTextOnceAndTrimmed) {
    const QString lost = "FATAL: terminating connection due to administrator command;\n"
                         "The connection has been lost";
    struct Case {
        QString raw;
        QString shown;
    } cases[] = {
        {"SQLPrepareW unable due to the connection lost  ",
         "SQLPrepareW unable due to the connection lost"},
        {"SQLPrepareW unable due to the connection lost SQLPrepareW unable due to the connection "
         "lost ",
         "SQLPrepareW unable due to the connection lost"},
        {lost + " " + lost + "  ", lost},
        {lost + "\n" + lost, lost},
        {"a a a", "a"},
        {"ERROR: x\nERROR: x\nDETAIL: y", "ERROR: x\nDETAIL: y"},
        // Nothing repeats here.
        {"ERROR: duplicate key value violates unique constraint \"p\"\nDETAIL: Key (id)=(1) "
         "already exists.;\nError while executing the query",
         "ERROR: duplicate key value violates unique constraint \"p\"\nDETAIL: Key (id)=(1) "
         "already exists.;\nError while executing the query"},
        {"ERROR: a b a", "ERROR: a b a"},
        {"aa a", "aa a"},
    };
    RecordingMessenger m;
    Messenger* before = setErrorMessenger(&m);
    for (const Case& c : cases) {
        m.messages.clear();
        guarded([&] { throw DbError(c.raw); });
        ASSERT_EQ(m.messages.size(), 1);
        EXPECT_EQ(m.messages[0].detail.toStdString(), c.shown.toStdString()) << c.raw.toStdString();
    }
    setErrorMessenger(before);
}

TEST(GeneralErrorHandler, CatchesWhatEscapesAnEventHandler) {
    // Every event and timer tick goes through the application's notify().
    RecordingMessenger m;
    Messenger* before = setErrorMessenger(&m);
    Thrower t;
    QEvent e(QEvent::User);
    QCoreApplication::sendEvent(&t, &e);
    ASSERT_EQ(m.messages.size(), 1);
    EXPECT_EQ(m.messages[0].text, kDbErrorText);
    EXPECT_EQ(m.messages[0].detail, "ERROR: relation \"accounts_dep.ver\" does not exist");
    setErrorMessenger(before);
}

TEST(ErrorBox, ShowsTheDetailBehindARussianButton) {
    QString shownText;
    QString shownDetail;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shownText = box->text();
        shownDetail = box->detailedText();
        for (QAbstractButton* b : box->buttons())
            buttons << b->text();
        box->accept();
    });
    BoxMessenger boxes;
    boxes.error("Ошибка", kDbErrorText, "server closed the connection unexpectedly");
    EXPECT_EQ(shownText, kDbErrorText);
    EXPECT_EQ(shownDetail, "server closed the connection unexpectedly");
    EXPECT_TRUE(buttons.contains("Показать подробности...")) << buttons.join('|').toStdString();
}

namespace {
class ErrorHandlerOnServer : public tabel::test::DbTest {};
} // namespace

TEST_F(ErrorHandlerOnServer, ShowsTheServersOwnWordsAsDetail) {
    RecordingMessenger m;
    Messenger* before = setErrorMessenger(&m);
    guarded([this] { run("select * from accounts_dep.no_such_table"); });
    ASSERT_EQ(m.messages.size(), 1);
    EXPECT_EQ(m.messages[0].caption, "Ошибка");
    EXPECT_EQ(m.messages[0].text, kDbErrorText);
    EXPECT_TRUE(
        m.messages[0].detail.contains("relation \"accounts_dep.no_such_table\" does not exist"))
        << m.messages[0].detail.toStdString();
    EXPECT_EQ(m.messages[0].detail, m.messages[0].detail.trimmed());
    setErrorMessenger(before);
}

TEST(Connection, AnUnreachableDatabaseIsAnError) {
    const QString socket = tabel::test::testSocket();
    EXPECT_THROW(openDatabase(connectionString("no_such_database", socket), "bad1"), DbError);
    EXPECT_THROW(openDatabase(connectionString("tabel_template", "/nonexistent/socket"), "bad2"),
                 DbError);
}
