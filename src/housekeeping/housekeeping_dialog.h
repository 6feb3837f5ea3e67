#pragma once

#include "session/context.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace tabel {

class HousekeepingJournal;

// "Хоз. работы/среднесдельная (24)": adds or changes one housekeeping entry
// of the journal's date. Created once by the journal and reused; the journal
// prepares its fields before each showing.
class HousekeepingDialog : public QDialog {
    Q_OBJECT
public:
    struct WorkerChoice {
        int id;
        QString fio;
    };
    struct GroupChoice {
        qint64 id;
        QString caption;
    };
    // One row of the list of types of work: a rate of type 7777 or 7778 that
    // a norm gives, or (kept) the changed entry's own price that no norm
    // gives any more.
    struct TypeRow {
        int id;
        QString name;
        QString price; // as the database writes it
        bool kept = false;
    };
    // The journal's entry that "Изменить" opens, as the list showed it.
    struct ShownEntry {
        int id = 0;
        QString version; // row version as read
        QString fio;
        QString group;
        int hours = 0;
        int workerId = 0;
        qint64 groupId = 0;
        int type = 0;
        QString typeName;
        QString price; // per hour, as stored
        bool dayOff = false;
        bool night = false;
    };

    HousekeepingDialog(AppContext& ctx, HousekeepingJournal& journal, QWidget* parent = nullptr);
    ~HousekeepingDialog() override;

    // Pickers, set by whoever owns the lists.
    std::function<std::optional<WorkerChoice>()> pickWorker;
    std::function<std::optional<GroupChoice>()> pickGroup;

    // The list of types of work with their rates holding on `day` (today
    // when none is given), read before a showing and closed after. Throws
    // DbError.
    void openTypes(const QDate& day = {});
    void closeTypes();

    // The journal's "Добавить" and "Изменить": mode, boxes and ids.
    void prepareNew();
    // Opens on the rate the entry was priced from; when no norm gives it any
    // more, on the entry's own price, kept as it is, and says so.
    void prepareChange(const ShownEntry& entry);

    void chooseWorker(); // "..." beside "ФИО"
    void chooseGroup();  // "..." beside "Номенклатура"
    void selectType(int type);
    void recompute(); // price and sum of the chosen type and the typed hours
    bool save();      // "Записать"; throws DbError

    int mode() const { return mode_; }
    int workerId() const { return workerId_; }
    qint64 groupId() const { return groupId_; }
    const std::vector<TypeRow>& types() const { return types_; }

    QLineEdit* workerEdit() const { return worker_; }
    QLineEdit* groupEdit() const { return group_; }
    QLineEdit* hoursEdit() const { return hours_; }
    QLineEdit* priceEdit() const { return price_; }
    QLineEdit* sumEdit() const { return sum_; }
    QComboBox* typeBox() const { return type_; }
    QCheckBox* nightBox() const { return night_; }
    QPushButton* saveButton() const { return save_; }

private:
    const TypeRow* currentType() const;
    void addTypeItem(const TypeRow& t);

    AppContext& ctx_;
    HousekeepingJournal& journal_;
    std::unique_ptr<Dataset> typeList_;
    std::vector<TypeRow> types_;
    int mode_ = 0;
    // The changed entry, kept from the opening: the journal's current row
    // may hold another entry by the time "Записать" is pressed.
    int entryId_ = 0;
    QString version_;
    int workerId_ = 0;
    qint64 groupId_ = 0;

    QLineEdit* worker_;
    QLineEdit* group_;
    QPushButton* groupButton_;
    QComboBox* type_;
    QLineEdit* hours_;
    QLineEdit* price_;
    QLineEdit* sum_;
    QCheckBox* night_;
    QPushButton* save_;
    QPushButton* exit_;
};

} // namespace tabel
