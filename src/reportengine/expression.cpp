#include "expression.h"

#include <QList>

namespace reportengine {

struct Expression::Node {
    enum class Op {
        Constant,
        Field,
        Variable,
        Page,
        Negate,
        Add,
        Subtract,
        Multiply,
        Divide,
        Equal,
        NotEqual,
        Less,
        Greater,
        LessOrEqual,
        GreaterOrEqual,
        If,
        Sum,
        Str
    };
    Op op = Op::Constant;
    Value constant;
    int field = -1;
    QString name; // a variable's
    QList<std::shared_ptr<const Node>> args;
};

namespace {

using Node = Expression::Node;
using Op = Node::Op;
using NodePtr = std::shared_ptr<const Node>;

NodePtr make(Op op, QList<NodePtr> args = {}) {
    auto n = std::make_shared<Node>();
    n->op = op;
    n->args = std::move(args);
    return n;
}

bool nameChar(QChar c, bool first) {
    return c.isLetter() || c == QLatin1Char('_') || (!first && c.isDigit());
}

class Parser {
public:
    Parser(const QString& text, const ReportData& data) : text_(text), data_(data) {}

    NodePtr parse() {
        NodePtr n = comparison();
        skipBlanks();
        if (pos_ < text_.size())
            fail(QStringLiteral("лишний текст"));
        return n;
    }

private:
    [[noreturn]] void fail(const QString& what) const {
        throw ExpressionError(
            QStringLiteral("Выражение «%1», позиция %2: %3").arg(text_).arg(pos_ + 1).arg(what));
    }

    void skipBlanks() {
        while (pos_ < text_.size() && text_[pos_].isSpace())
            ++pos_;
    }

    bool take(QStringView token) {
        skipBlanks();
        if (QStringView(text_).mid(pos_).startsWith(token)) {
            pos_ += token.size();
            return true;
        }
        return false;
    }

    void expect(QChar c) {
        if (!take(QStringView(&c, 1)))
            fail(QStringLiteral("ожидается «%1»").arg(c));
    }

    NodePtr comparison() {
        NodePtr left = additive();
        static const std::pair<const char16_t*, Op> ops[] = {
            {u"<>", Op::NotEqual}, {u"<=", Op::LessOrEqual}, {u">=", Op::GreaterOrEqual},
            {u"=", Op::Equal},     {u"<", Op::Less},         {u">", Op::Greater}};
        for (const auto& [token, op] : ops)
            if (take(QStringView(token)))
                return make(op, {left, additive()});
        return left;
    }

    NodePtr additive() {
        NodePtr left = multiplicative();
        for (;;) {
            if (take(u"+"))
                left = make(Op::Add, {left, multiplicative()});
            else if (take(u"-"))
                left = make(Op::Subtract, {left, multiplicative()});
            else
                return left;
        }
    }

    NodePtr multiplicative() {
        NodePtr left = unary();
        for (;;) {
            if (take(u"*"))
                left = make(Op::Multiply, {left, unary()});
            else if (take(u"/"))
                left = make(Op::Divide, {left, unary()});
            else
                return left;
        }
    }

    NodePtr unary() {
        if (take(u"-"))
            return make(Op::Negate, {unary()});
        if (take(u"+"))
            return unary();
        return primary();
    }

    NodePtr primary() {
        skipBlanks();
        if (pos_ >= text_.size())
            fail(QStringLiteral("выражение оборвано"));
        const QChar c = text_[pos_];
        if (c == QLatin1Char('(')) {
            ++pos_;
            NodePtr inner = comparison();
            expect(QLatin1Char(')'));
            return inner;
        }
        if (c == QLatin1Char('\''))
            return textConstant();
        if (c.isDigit() || c == QLatin1Char('.'))
            return numberConstant();
        if (nameChar(c, true))
            return nameOrCall();
        fail(QStringLiteral("непонятный знак «%1»").arg(c));
    }

    NodePtr textConstant() {
        ++pos_;
        QString t;
        for (;;) {
            if (pos_ >= text_.size())
                fail(QStringLiteral("текст не закрыт кавычкой"));
            const QChar c = text_[pos_++];
            if (c == QLatin1Char('\'')) {
                if (pos_ < text_.size() && text_[pos_] == QLatin1Char('\'')) {
                    t += c; // '' inside a text is one quote
                    ++pos_;
                    continue;
                }
                break;
            }
            t += c;
        }
        auto n = std::make_shared<Node>();
        n->constant = Value::text(t);
        return n;
    }

    NodePtr numberConstant() {
        const qsizetype start = pos_;
        while (pos_ < text_.size() && (text_[pos_].isDigit() || text_[pos_] == QLatin1Char('.')))
            ++pos_;
        const auto d = Decimal::parse(QStringView(text_).mid(start, pos_ - start));
        if (!d)
            fail(QStringLiteral("неверное число"));
        auto n = std::make_shared<Node>();
        n->constant = Value::number(*d);
        return n;
    }

    QString name() {
        const qsizetype start = pos_;
        while (pos_ < text_.size() && nameChar(text_[pos_], pos_ == start))
            ++pos_;
        return text_.mid(start, pos_ - start);
    }

    NodePtr nameOrCall() {
        QString first = name();
        const QString upper = first.toUpper();
        if (take(u"(")) {
            QList<NodePtr> args;
            if (!take(u")")) {
                const bool summing = upper == QLatin1String("SUM");
                if (summing && insideSum_)
                    fail(QStringLiteral("SUM внутри SUM"));
                insideSum_ = insideSum_ || summing;
                do
                    args.append(comparison());
                while (take(u","));
                if (summing)
                    insideSum_ = false;
                expect(QLatin1Char(')'));
            }
            auto call = [&](Op op, int arity) {
                if (args.size() != arity)
                    fail(QStringLiteral("%1 ждет аргументов: %2").arg(first).arg(arity));
                return make(op, args);
            };
            if (upper == QLatin1String("IF"))
                return call(Op::If, 3);
            if (upper == QLatin1String("SUM"))
                return call(Op::Sum, 1);
            if (upper == QLatin1String("STR"))
                return call(Op::Str, 1);
            if (upper == QLatin1String("PAGENUMBER"))
                return call(Op::Page, 0);
            fail(QStringLiteral("неизвестная функция %1").arg(first));
        }
        if (upper == QLatin1String("PAGENUMBER"))
            return make(Op::Page);
        QString field = first;
        skipBlanks();
        if (pos_ < text_.size() && text_[pos_] == QLatin1Char('.')) {
            ++pos_;
            field = name();
            if (first.compare(data_.name(), Qt::CaseInsensitive) != 0)
                fail(QStringLiteral("нет запроса %1").arg(first));
        }
        auto n = std::make_shared<Node>();
        n->field = data_.fieldIndex(field);
        if (n->field >= 0) {
            n->op = Op::Field;
            return n;
        }
        if (!data_.variable(field))
            fail(QStringLiteral("нет поля %1").arg(field));
        n->op = Op::Variable;
        n->name = field;
        return n;
    }

    const QString& text_;
    const ReportData& data_;
    qsizetype pos_ = 0;
    bool insideSum_ = false;
};

bool truthy(const Value& v) {
    if (v.isNumber())
        return !v.asNumber().isZero();
    return v.kind() == Value::Kind::Text && !v.asText().isEmpty();
}

QString asText(const Value& v, const QLocale& locale) {
    return formatValue(v, {}, Decimal::kPlaces, locale);
}

Value fromOptional(const std::optional<Decimal>& d) {
    return d ? Value::number(*d) : Value();
}

// A number, or a text that reads as one (a text field holding "10"):
// beside a number, such a text counts as its number. Nothing for an empty
// value or any other text.
std::optional<Decimal> numeric(const Value& v) {
    if (v.isNumber())
        return v.asNumber();
    if (v.kind() == Value::Kind::Text)
        return Decimal::parse(v.asText());
    return std::nullopt;
}

Value evaluate(const Node& n, const Scope& s);

Value additive(const Node& n, const Scope& s) {
    const Value a = evaluate(*n.args[0], s);
    const Value b = evaluate(*n.args[1], s);
    const bool add = n.op == Op::Add;
    if (a.isEmpty() && b.isEmpty())
        return {};
    const bool texts = a.kind() == Value::Kind::Text || b.kind() == Value::Kind::Text;
    const auto x = a.isEmpty() ? Decimal() : numeric(a);
    const auto y = b.isEmpty() ? Decimal() : numeric(b);
    // Text + text joins the texts, and so does a text that is not a number
    // beside anything else.
    if (add && texts && (!(a.isNumber() || b.isNumber()) || !x || !y))
        return Value::text(asText(a, s.locale) + asText(b, s.locale));
    if (!x || !y)
        return {};
    return fromOptional(add ? x->plus(*y) : x->minus(*y));
}

Value multiplicative(const Node& n, const Scope& s) {
    const auto x = numeric(evaluate(*n.args[0], s));
    const auto y = numeric(evaluate(*n.args[1], s));
    if (!x || !y)
        return {};
    return fromOptional(n.op == Op::Multiply ? x->times(*y) : x->dividedBy(*y));
}

Value comparison(const Node& n, const Scope& s) {
    const Value a = evaluate(*n.args[0], s);
    const Value b = evaluate(*n.args[1], s);
    const Value no = Value::number(Decimal());
    if (a.isEmpty() || b.isEmpty())
        return no;
    int c = 0;
    if (a.isNumber() || b.isNumber()) {
        const auto x = numeric(a);
        const auto y = numeric(b);
        if (!x || !y)
            return no;
        c = x->compare(*y);
    } else {
        c = a.asText().compare(b.asText());
    }
    bool r = false;
    switch (n.op) {
    case Op::Equal:
        r = c == 0;
        break;
    case Op::NotEqual:
        r = c != 0;
        break;
    case Op::Less:
        r = c < 0;
        break;
    case Op::Greater:
        r = c > 0;
        break;
    case Op::LessOrEqual:
        r = c <= 0;
        break;
    default:
        r = c >= 0;
        break;
    }
    return Value::number(Decimal::fromInteger(r ? 1 : 0));
}

Value sum(const Node& n, const Scope& s) {
    Decimal total;
    Scope each = s;
    for (int row = s.first; row <= s.last; ++row) {
        each.row = row;
        const auto v = numeric(evaluate(*n.args[0], each));
        if (!v)
            continue;
        const auto next = total.plus(*v);
        if (!next)
            return {};
        total = *next;
    }
    return Value::number(total);
}

Value evaluate(const Node& n, const Scope& s) {
    switch (n.op) {
    case Op::Constant:
        return n.constant;
    case Op::Field:
        if (s.row < 0 || s.row >= s.data->rowCount())
            return {};
        return s.data->value(s.row, n.field);
    case Op::Variable:
        if (const Value* v = s.data->variable(n.name))
            return *v;
        return {};
    case Op::Page:
        return Value::number(Decimal::fromInteger(s.page));
    case Op::Negate: {
        const auto v = numeric(evaluate(*n.args[0], s));
        return v ? Value::number(v->negated()) : Value();
    }
    case Op::Add:
    case Op::Subtract:
        return additive(n, s);
    case Op::Multiply:
    case Op::Divide:
        return multiplicative(n, s);
    case Op::If:
        return evaluate(*n.args[truthy(evaluate(*n.args[0], s)) ? 1 : 2], s);
    case Op::Sum:
        if (s.sums)
            return s.sums->totals.value(&n, Value::number(Decimal()));
        return sum(n, s);
    case Op::Str:
        return Value::text(asText(evaluate(*n.args[0], s), s.locale));
    default:
        return comparison(n, s);
    }
}

void collectNeeds(const Node& n, bool insideSum, Expression::Needs& needs) {
    if (n.op == Op::Sum)
        needs.sum = true;
    if (n.op == Op::Field && !insideSum)
        needs.fieldOutsideSum = true;
    if (n.op == Op::Page && insideSum)
        needs.pageInSum = true;
    for (const NodePtr& a : n.args)
        collectNeeds(*a, insideSum || n.op == Op::Sum, needs);
}

void addRow(const Node& n, const Scope& row, RunningSums& sums) {
    if (n.op != Op::Sum) {
        for (const NodePtr& a : n.args)
            addRow(*a, row, sums);
        return;
    }
    auto it = sums.totals.find(&n);
    if (it == sums.totals.end())
        it = sums.totals.insert(&n, Value::number(Decimal()));
    if (it->isEmpty())
        return;
    const auto v = numeric(evaluate(*n.args[0], row));
    if (!v)
        return;
    const auto next = it->asNumber().plus(*v);
    *it = next ? Value::number(*next) : Value();
}

} // namespace

Expression::Expression() = default;
Expression::~Expression() = default;
Expression::Expression(const Expression&) = default;
Expression& Expression::operator=(const Expression&) = default;

Expression Expression::compile(const QString& text, const ReportData& data) {
    Expression e;
    e.root_ = Parser(text, data).parse();
    return e;
}

Value Expression::evaluate(const Scope& scope) const {
    return root_ ? reportengine::evaluate(*root_, scope) : Value();
}

Expression::Needs Expression::needs() const {
    Needs n;
    if (root_)
        collectNeeds(*root_, false, n);
    return n;
}

void Expression::addToSums(const Scope& row, RunningSums& sums) const {
    if (root_)
        addRow(*root_, row, sums);
}

} // namespace reportengine
