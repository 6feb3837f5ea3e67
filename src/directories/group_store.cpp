#include "group_store.h"

#include "db/sql.h"
#include "db/stored_text.h"

#include <QSqlQuery>

namespace tabel {

namespace {

// The columns in the order the list shows them.
const char* kItems =
    "select id_classifier::bigint as id_classifier, id_level::bigint as id_level, s_code, "
    "s_caption, s_description, d_excluded_date, id_parent::bigint as id_parent, "
    "id::bigint as id, case when b_excluded = 1 then 'V' else '' end as s_excl, b_excluded "
    "from cmn_classifier.item where id_level = 2 order by s_caption, id";

// A null QString reaches the server as NULL; an empty name is to be stored as
// empty text.
QString notNull(const QString& s) {
    return s.isNull() ? QStringLiteral("") : s;
}

} // namespace

std::unique_ptr<Dataset> GroupStore::makeList(QSqlDatabase db) {
    return std::make_unique<Dataset>(std::move(db), "item", kItems);
}

GroupStore::GroupStore(QSqlDatabase db, Dataset& items) : db_(std::move(db)), items_(items) {}

void GroupStore::search(const QString& typed) {
    search_ = typed;
    applyFilter();
}

void GroupStore::setOnlyInUse(bool on) {
    onlyInUse_ = on;
    applyFilter();
}

void GroupStore::applyFilter() {
    if (!onlyInUse_) {
        searchRule().apply(items_, search_);
        return;
    }
    const SearchRule rule = searchRule();
    const QString typed = search_.trimmed().isEmpty() ? QString() : search_;
    items_.setFilter([rule, typed](const Dataset& ds, int row) {
        return inUse(ds.sourceValue(row, "b_excluded")) &&
               (typed.isEmpty() ||
                rule.matches(ds.sourceValue(row, "s_caption").toString(), typed));
    });
}

void GroupStore::open() {
    items_.reopen();
    applyFilter();
}

void GroupStore::close() {
    items_.close();
}

void GroupStore::reopenKeepingPosition() {
    // The filter stays on the dataset over the rereading.
    items_.reopenKeepingPosition();
}

namespace {

Outcome checkName(const QSqlDatabase& db, const QString& name) {
    return checkStoredText(db, {{QStringLiteral("Наименование"), name,
                                 QStringLiteral("cmn_classifier.item.s_caption")}});
}

} // namespace

Outcome GroupStore::add(const QString& name, bool excluded, qint64* newId) {
    const QString caption = notNull(name.trimmed());
    if (Outcome o = checkName(db_, caption); !o.done())
        return o;
    // Level 2 makes the row a nomenclature group; the classifier and the
    // parent follow the groups already there, but only where they agree, so
    // nothing is guessed for a classifier holding several trees.
    const qint64 id = scalar(db_,
                             "insert into cmn_classifier.item "
                             "(id_classifier, id_level, id_parent, s_caption, b_excluded) "
                             "select case when count(distinct id_classifier) = 1 "
                             "and count(id_classifier) = count(*) then min(id_classifier) end, "
                             "2, "
                             "case when count(distinct id_parent) = 1 "
                             "and count(id_parent) = count(*) then min(id_parent) end, "
                             ":caption, :excluded "
                             "from cmn_classifier.item where id_level = 2 "
                             "returning id::bigint",
                             {{"caption", caption}, {"excluded", excluded ? 1 : 0}})
                          .toLongLong();
    if (newId)
        *newId = id;
    return Outcome::ok();
}

Outcome GroupStore::change(qint64 id, const ShownGroup& shown, const QString& name, bool excluded) {
    const QString caption = notNull(name.trimmed());
    if (Outcome o = checkName(db_, caption); !o.done())
        return o;
    try {
        Transaction tx(db_);
        QSqlQuery q = exec(db_,
                           "select (s_caption is not distinct from cast(:c as text) and "
                           "b_excluded is not distinct from cast(:b as integer))::integer "
                           "from cmn_classifier.item where id = :id for update",
                           {{"c", shown.caption}, {"b", shown.excluded}, {"id", id}});
        if (!q.next())
            throw Refused(kErrorCaption, kGroupDeleted);
        // Written elsewhere since it was shown: the change would silently
        // undo what the other workstation wrote.
        if (q.value(0).toInt() != 1)
            throw Refused(kErrorCaption, kGroupChanged);
        exec(db_,
             "update cmn_classifier.item set s_caption = :caption, b_excluded = :excluded "
             "where id = :id",
             {{"caption", caption}, {"excluded", excluded ? 1 : 0}, {"id", id}});
        tx.commit();
        return Outcome::ok();
    } catch (const Refused& r) {
        return r.outcome();
    }
}

GroupUsage GroupStore::usage(qint64 id) const {
    QSqlQuery q = exec(db_,
                       "select (select count(*) from cmn_gds_and_srv.gds_and_srv "
                       "where id_class_item = :g), "
                       "(select count(*) from accounts_dep.fatigue where id_nom = :f), "
                       "(select count(*) from accounts_dep.smena s "
                       "join cmn_gds_and_srv.gds_and_srv g on g.id = s.i_id "
                       "where g.id_class_item = :s)",
                       {{"g", id}, {"f", id}, {"s", id}});
    GroupUsage u;
    if (q.next()) {
        u.products = q.value(0).toInt();
        u.entries = q.value(1).toInt();
        u.records = q.value(2).toInt();
    }
    return u;
}

Outcome GroupStore::deletionRefusal(const GroupUsage& u) {
    if (u.products > 0)
        return Outcome::refused(kDeleteCaption, kGroupHasProducts);
    if (u.entries > 0 || u.records > 0)
        return Outcome::refused(kDeleteCaption, kGroupHasEntries);
    return Outcome::ok();
}

Outcome GroupStore::remove(qint64 id) {
    try {
        Transaction tx(db_);
        // A writer that makes a product or an entry refer to the group holds
        // a key share lock on its row (holdForUse) until it commits, so the
        // count below sees every reference that can come.
        if (!scalar(db_, "select id from cmn_classifier.item where id = :id for update",
                    {{"id", id}})
                 .isValid())
            return Outcome::ok(); // deleted meanwhile elsewhere
        const Outcome refusal = deletionRefusal(usage(id));
        if (!refusal.done())
            throw Refused(refusal);
        exec(db_, "delete from cmn_classifier.item where id = :id", {{"id", id}});
        tx.commit();
        return Outcome::ok();
    } catch (const Refused& r) {
        return r.outcome();
    }
}

bool GroupStore::holdForUse(const QSqlDatabase& db, qint64 id) {
    // Through the database's own function: a row lock asks for the right to
    // change the classifier, which the office, writing housekeeping entries,
    // does not hold.
    return scalar(db, "select accounts_dep.hold_for_use('item', :id)", {{"id", id}}).toBool();
}

} // namespace tabel
