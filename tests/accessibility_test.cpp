#include "app/login_dialog.h"
#include "directories/group_dialog.h"
#include "directories/groups_list.h"
#include "directories/worker_dialog.h"
#include "directories/workers_list.h"
#include "journal/main_window.h"
#include "operations/norms_window.h"
#include "operations/operation_dialog.h"
#include "operations/operation_type_dialog.h"
#include "operations/operation_types_list.h"
#include "operations/operations_list.h"
#include "records/record_dialog.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMenuBar>
#include <QTableView>

using namespace tabel;
using namespace tabel::test;

class AccessibilityTest : public DbTest {};

// A screen reader, or a test driving the program through the desktop's
// accessibility interface, finds every control by what a user reads on it.
TEST_F(AccessibilityTest, EveryControlCarriesWhatTheUserReads) {
    MainWindow main(*ctx);
    LoginDialog login(*ctx, main, {20260101, 1});
    RecordDialog record(*ctx);
    WorkersList workers(*ctx);
    OperationsList operations(*ctx);
    OperationTypesList types(*ctx);
    GroupsList groups(*ctx);
    OperationDialog operation(*ctx);
    NormsEditor norms(*ctx);
    auto* worker = workers.findChild<WorkerDialog*>();
    ASSERT_NE(worker, nullptr);
    const QList<QWidget*> windows{&main,   &login,          &record,    &workers,
                                  worker,  &operations,     &types,     types.dialog(),
                                  &groups, groups.dialog(), &operation, &norms};
    for (QWidget* w : windows) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_FALSE(w->objectName().isEmpty());
        for (QWidget* field : w->findChildren<QWidget*>()) {
            if (field->window() != w)
                continue; // a window of its own, checked on its own
            const bool input = qobject_cast<QLineEdit*>(field) || qobject_cast<QComboBox*>(field) ||
                               qobject_cast<QDateEdit*>(field);
            // Parts Qt draws inside a control (a grid's corner, the menu bar's
            // overflow arrow) are reached through their control.
            const bool inner = qobject_cast<QAbstractItemView*>(field->parentWidget()) ||
                               qobject_cast<QMenuBar*>(field->parentWidget()) ||
                               qobject_cast<QLineEdit*>(field->parentWidget()) ||
                               qobject_cast<QComboBox*>(field->parentWidget()) ||
                               qobject_cast<QDateEdit*>(field->parentWidget());
            if (input && !inner) {
                EXPECT_FALSE(field->accessibleName().isEmpty())
                    << field->objectName().toStdString() << " has no accessible name";
            }
            if (auto* b = qobject_cast<QAbstractButton*>(field); b && !inner) {
                EXPECT_FALSE(b->text().isEmpty() && b->accessibleName().isEmpty())
                    << b->metaObject()->className() << " " << b->objectName().toStdString()
                    << " in " << b->parentWidget()->metaObject()->className();
            }
            if (auto* v = qobject_cast<QTableView*>(field)) {
                EXPECT_FALSE(v->accessibleName().isEmpty()) << v->objectName().toStdString();
            }
        }
    }
}
