#include "dialog_buttons.h"

#include "kit/error_boxes.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace tabel {

DialogButtons makeDialogButtons(QDialog* dialog, const char* saveCaption, const char* saveName,
                                const char* cancelCaption, const char* cancelName,
                                std::function<void()> onSave) {
    DialogButtons b;
    b.save = new QPushButton(QString::fromUtf8(saveCaption), dialog);
    b.save->setObjectName(saveName);
    b.save->setDefault(true);
    b.cancel = new QPushButton(QString::fromUtf8(cancelCaption), dialog);
    b.cancel->setObjectName(cancelName);
    b.cancel->setAutoDefault(true);
    QObject::connect(b.save, &QPushButton::clicked, dialog,
                     [onSave = std::move(onSave)] { guarded(onSave); });
    QObject::connect(b.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    b.row = new QHBoxLayout;
    b.row->addStretch();
    b.row->addWidget(b.save);
    b.row->addWidget(b.cancel);
    return b;
}

} // namespace tabel
