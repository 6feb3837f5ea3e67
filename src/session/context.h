#pragma once

#include "db/data_module.h"
#include "db/messenger.h"
#include "db/report_connection.h"
#include "session/roles.h"

#include <QDate>
#include <QString>
#include <functional>

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

    // Where the bulk reading jobs go (db/report_connection.h); none: the
    // primary, as for everything else.
    ReadingConnection* reading = nullptr;
    // Shows the note of a standby passed over; none: the messenger's box.
    std::function<void(const QString&)> readingNote = {};

    QSqlDatabase db() const { return data.db(); }
    Dataset& currentShiftList() { return data.shiftList(state.shift); }

    // The connection for one job that only reads in bulk, its note shown
    // once. Never hand it to anything that writes.
    ReadingPlace forReading() {
        if (!reading) {
            ReadingPlace primary;
            primary.db = db();
            return primary;
        }
        ReadingPlace place = reading->forJob();
        if (!place.note.isEmpty()) {
            if (readingNote)
                readingNote(place.note);
            else
                messenger.inform(QStringLiteral("Сервер отчетов"), place.note);
        }
        return place;
    }
};

} // namespace tabel
