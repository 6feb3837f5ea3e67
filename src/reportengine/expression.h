#pragma once

#include "reportengine/layout.h"
#include "reportengine/report_data.h"
#include "reportengine/value.h"

#include <QHash>
#include <QLocale>
#include <QString>
#include <memory>

namespace reportengine {

class ExpressionError : public LayoutError {
public:
    explicit ExpressionError(const QString& message) : LayoutError(message) {}
};

struct RunningSums;

// Where an expression is evaluated: the row its field references read, the
// rows its sums run over, the page it is printed on.
struct Scope {
    const ReportData* data = nullptr;
    int row = -1;   // -1: no row (a report without rows); fields read empty
    int first = 0;  // the rows of sum(), inclusive;
    int last = -1;  // none when last < first
    int page = 1;   // PAGENUMBER
    QLocale locale; // STR()
    // When given, SUM() takes its total from here instead of adding up
    // first..last: the rows it ran over need not be kept.
    const RunningSums* sums = nullptr;
};

// An expression of a report cell:
//   numbers (1.2), texts ('Заготовки'), field names, also qualified by the
//   query's name (t_Report.f_sum7), variables, PAGENUMBER;
//   + - * / and unary minus, comparisons = <> < > <= >=, parentheses;
//   IF(condition, then, else) (any case), SUM(expression), STR(number).
//
// Empty values: in + and - an empty operand counts as 0, so a sum of fields
// adds up the fields that have a value, while the sum of empty fields alone
// stays empty; * and / with an empty operand, and a division by zero, are
// empty. SUM() leaves empty values out and is 0 over no value. A comparison
// with an empty operand is false.
//
// Texts and numbers: beside a number, a text that reads as a number (a text
// field holding "10") counts as that number, in arithmetic, comparisons and
// SUM(), so '10' > 9 holds. Text + text joins the texts, as does + between a
// number and a text that is not one (' (RAL: ' + color); any other
// arithmetic with such a text is empty, and comparing it with a number is
// false. Two texts compare as texts.
class Expression {
public:
    Expression();
    ~Expression();
    Expression(const Expression&);
    Expression& operator=(const Expression&);

    // Names are resolved against `data`: its fields first, then its
    // variables. Throws ExpressionError for a syntax error or an unknown name.
    static Expression compile(const QString& text, const ReportData& data);

    Value evaluate(const Scope& scope) const;

    // What an expression needs besides its own row, so that a report can
    // tell whether it may be laid out while its rows are still coming.
    struct Needs {
        bool sum = false;             // a SUM() over rows
        bool fieldOutsideSum = false; // a field read from its scope's row
        bool pageInSum = false;       // a SUM() whose value depends on the page
    };
    Needs needs() const;

    // Adds the row of `row` to the totals of every SUM() of the expression,
    // as SUM() would have added it over a range holding that row.
    void addToSums(const Scope& row, RunningSums& sums) const;

    struct Node;

private:
    std::shared_ptr<const Node> root_;
};

// The totals of SUM()s carried along as the rows go by (see
// Expression::addToSums): a footer over rows that have already been laid out
// and dropped prints the same sum as over the rows themselves. A total that
// left the range of numbers stays empty, as SUM() is then.
struct RunningSums {
    QHash<const Expression::Node*, Value> totals;
};

} // namespace reportengine
