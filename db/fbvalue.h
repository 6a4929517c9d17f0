#pragma once
// Column values as the program reads them: text, and integers (shown with their scale).
// Any other type fails with "Unsupported field type".

#include "dbxlayer.h"

#include <ibase.h>

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace fb {

struct Value {
    bool null = true;
    bool isInteger = false; // a whole number (scale 0): integer holds it
    std::int64_t integer = 0;
    QByteArray text;        // text as stored; a scaled number in decimal ("-12.50")
};
using Row = std::vector<Value>;

Value decode(const XSQLVAR &column);
dbx::ColumnKind kindOf(const XSQLVAR &column);
// A scaled integer in decimal: 1250 with scale -2 is "12.50".
QByteArray scaled(std::int64_t value, int scale);

} // namespace fb
