#include "search_box.h"

#include "db/dataset.h"

#include <QKeyEvent>

namespace tabel {

namespace {

bool isWindowKey(const QKeyEvent* k) {
    switch (k->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        return false;
    }
}

bool editsText(const QKeyEvent* k) {
    if (k->key() == Qt::Key_Backspace)
        return true;
    if (k->matches(QKeySequence::Paste) || k->matches(QKeySequence::Cut) ||
        k->matches(QKeySequence::Copy) || k->matches(QKeySequence::Undo) ||
        k->matches(QKeySequence::SelectAll))
        return true;
    if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = k->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

} // namespace

bool searchBoxKey(const QKeyEvent* key, Dataset& list) {
    if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
        if (!list.isEmpty())
            list.setCurrentRow(list.currentRow() + (key->key() == Qt::Key_Up ? -1 : 1));
        return true;
    }
    return !isWindowKey(key) && !editsText(key);
}

QPushButton* barButton(QWidget* parent, QBoxLayout* bar, const char* caption, const char* name) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    bar->addWidget(b);
    return b;
}

} // namespace tabel
