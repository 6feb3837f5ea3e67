#include "command.h"

#include "export/xlsx_workbook.h"

#include <QDir>

#include <algorithm>

namespace tabel::batch {

namespace {

std::vector<Command>& registry() {
    static std::vector<Command> all;
    return all;
}

} // namespace

Options::Options(const QStringList& arguments) {
    int i = 0;
    while (i < arguments.size() && !arguments[i].startsWith(QLatin1String("--")))
        words_ << arguments[i++];
    for (; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (!a.startsWith(QLatin1String("--")) || a.size() < 3)
            throw BadArgument(QStringLiteral("Лишний аргумент: «%1».").arg(a));
        const QString name = a.mid(2);
        if (values_.count(name))
            throw BadArgument(QStringLiteral("Параметр --%1 задан дважды.").arg(name));
        // Which options are switches only the command knows: one without a
        // value is refused when the command reads it as an option.
        const bool alone =
            i + 1 >= arguments.size() || arguments[i + 1].startsWith(QLatin1String("--"));
        values_[name] = alone ? QString() : arguments[++i];
        switches_[name] = alone;
        read_[name] = false;
    }
}

QString Options::word(int index, const QString& what, const QStringList& allowed) const {
    const QString choices = allowed.join(QLatin1String(", "));
    if (index >= words_.size())
        throw BadArgument(QStringLiteral("Не задан %1: %2.").arg(what, choices));
    const QString& w = words_[index];
    if (!allowed.contains(w))
        throw BadArgument(
            QStringLiteral("Неизвестный %1 «%2» — допустимо: %3.").arg(what, w, choices));
    wordsRead_ = std::max(wordsRead_, index + 1);
    return w;
}

bool Options::has(const QString& name) const {
    return values_.count(name) > 0;
}

bool Options::flag(const QString& name) const {
    const auto it = values_.find(name);
    if (it == values_.end())
        return false;
    if (!switches_.at(name))
        throw BadArgument(QStringLiteral("Параметр --%1 задается без значения, а не «%2».")
                              .arg(name, it->second));
    read_[name] = true;
    return true;
}

QString Options::text(const QString& name) const {
    const auto it = values_.find(name);
    if (it == values_.end())
        throw BadArgument(QStringLiteral("Не задан параметр --%1.").arg(name));
    if (switches_.at(name))
        throw BadArgument(QStringLiteral("Не задано значение параметра --%1.").arg(name));
    read_[name] = true;
    return it->second;
}

QString Options::text(const QString& name, const QString& fallback) const {
    return has(name) ? text(name) : fallback;
}

int Options::integer(const QString& name, int min, int max) const {
    const QString t = text(name);
    bool ok = false;
    const int v = t.toInt(&ok);
    if (!ok || v < min || v > max)
        throw BadArgument(QStringLiteral("Параметр --%1: «%2» — нужно целое число от %3 до %4.")
                              .arg(name, t)
                              .arg(min)
                              .arg(max));
    return v;
}

QDate Options::date(const QString& name) const {
    const QString t = text(name);
    QDate d = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid())
        d = QDate::fromString(t, QStringLiteral("dd.MM.yyyy"));
    if (!d.isValid())
        throw BadArgument(
            QStringLiteral("Параметр --%1: «%2» — нужна дата ГГГГ-ММ-ДД или ДД.ММ.ГГГГ.")
                .arg(name, t));
    return d;
}

QDate Options::month() const {
    const int m = integer(QStringLiteral("month"), 1, 12);
    const int y = integer(QStringLiteral("year"), 1900, 9999);
    return QDate(y, m, 1);
}

QString Options::choice(const QString& name, const QStringList& allowed,
                        const QString& fallback) const {
    if (!has(name))
        return fallback;
    const QString t = text(name);
    if (!allowed.contains(t))
        throw BadArgument(QStringLiteral("Параметр --%1: «%2» — допустимо: %3.")
                              .arg(name, t, allowed.join(QLatin1String(", "))));
    return t;
}

void Options::finish() const {
    if (wordsRead_ < words_.size())
        throw BadArgument(QStringLiteral("Лишний аргумент: «%1».").arg(words_[wordsRead_]));
    for (const auto& [name, used] : read_)
        if (!used)
            throw BadArgument(QStringLiteral("Неизвестный параметр --%1.").arg(name));
}

const std::vector<Command>& commands() {
    return registry();
}

const Command* findCommand(const QString& name) {
    for (const Command& c : registry())
        if (c.name == name)
            return &c;
    return nullptr;
}

CommandLine splitCommandLine(const QStringList& arguments) {
    CommandLine line;
    if (arguments.size() >= 3 && findCommand(arguments[2])) {
        line.connection = arguments.mid(0, 2);
        line.word = arguments[2];
        line.options = arguments.mid(3);
    } else if (!arguments.isEmpty() && findCommand(arguments[0])) {
        line.word = arguments[0];
        line.options = arguments.mid(1);
    } else {
        line.word = arguments.value(arguments.size() >= 3 ? 2 : 0);
        return line;
    }
    line.command = findCommand(line.word);
    return line;
}

Registration::Registration(Command command) {
    registry().push_back(std::move(command));
}

QString writeWholeWorkbook(const QString& file, const std::function<void(SheetSink&)>& lay) {
    try {
        XlsxWorkbook book(file);
        QStringList refused;
        book.onCellError = [&refused](int row, int column) {
            refused << QStringLiteral("лист 1, столбец %1, строка %2").arg(column).arg(row);
        };
        lay(book);
        if (!refused.isEmpty()) {
            const qsizetype shown = std::min<qsizetype>(refused.size(), 10);
            QString cells = refused.mid(0, shown).join(QLatin1String("; "));
            if (refused.size() > shown)
                cells += QStringLiteral(" и еще %1").arg(refused.size() - shown);
            throw WorkbookError(QStringLiteral("Файл «%1» не записан: ошибка при записи: %2.")
                                    .arg(QDir::toNativeSeparators(book.path()), cells));
        }
        book.save();
        return book.path();
    } catch (const WorkbookError& e) {
        throw std::runtime_error(e.reason().toStdString());
    }
}

} // namespace tabel::batch
