#include "db/connection.h"
#include "db/sql.h"
#include "kit/error_boxes.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QEvent>
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

TEST(GeneralErrorHandler, ShowsTheErrorsOwnTextAndCarriesOn) {
    RecordingMessenger m;
    Messenger* before = setErrorMessenger(&m);
    guarded([] { throw DbError("server closed the connection unexpectedly"); });
    guarded([] { throw std::runtime_error("out of range"); });
    guarded([] { throw 42; });
    bool ran = false;
    guarded([&] { ran = true; });
    ASSERT_EQ(m.messages.size(), 3);
    EXPECT_EQ(m.messages[0].text, "server closed the connection unexpectedly");
    EXPECT_EQ(m.messages[1].text, "out of range");
    EXPECT_EQ(m.messages[2].text, ""); // an error without a text of its own
    EXPECT_EQ(m.messages[0].kind, Messenger::Kind::Error);
    EXPECT_TRUE(ran);
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
    EXPECT_EQ(m.messages[0].text, "ERROR: relation \"accounts_dep.ver\" does not exist");
    setErrorMessenger(before);
}

TEST(Connection, AnUnreachableDatabaseIsAnError) {
    const QString socket = tabel::test::testSocket();
    EXPECT_THROW(openDatabase(connectionString("no_such_database", socket), "bad1"), DbError);
    EXPECT_THROW(openDatabase(connectionString("tabel_template", "/nonexistent/socket"), "bad2"),
                 DbError);
}
