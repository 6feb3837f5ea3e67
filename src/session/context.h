#pragma once

#include "db/data_module.h"
#include "db/messenger.h"
#include "session/roles.h"

#include <QDate>
#include <QString>

namespace tabel {

// What the main window holds and other windows read: the picked date, the
// current shift, the day-off box and the access word entered at login.
struct JournalState {
    QDate pickedDate = QDate::currentDate();
    int shift = 1; // 1..3, 4 = overtime
    bool dayOff = false;
    QString accessWord;
    // The role a person login took from the database. A code login leaves
    // it None: its role follows from the access word.
    Role personRole = Role::None;

    Role role() const { return personRole != Role::None ? personRole : roleForCode(accessWord); }
};

// Built once at start-up and handed to every window.
struct AppContext {
    DataModule& data;
    Messenger& messenger;
    JournalState state;

    QSqlDatabase db() const { return data.db(); }
    Dataset& currentShiftList() { return data.shiftList(state.shift); }
};

} // namespace tabel
