#pragma once
// Column values as the program reads them: text, and integers (shown with their scale).
// Any other type fails with "Unsupported field type".

#include "dbxlayer.h"
#include "fbhandles.h"

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

// Column i of the row last fetched into the area.
Value decode(const ResultArea &row, int i);
dbx::ColumnKind kindOf(const Column &column);
// A scaled integer in decimal: 1250 with scale -2 is "12.50".
QByteArray scaled(std::int64_t value, int scale);

} // namespace fb
