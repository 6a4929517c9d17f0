#pragma once
// Column values as the program reads them: text (text blobs included), and integers (shown with
// their scale). Any other type fails with "Unsupported field type".

#include "dbxlayer.h"
#include "fbhandles.h"

#include <functional>
#include <vector>

namespace fb {

using Row = std::vector<dbx::Value>;
// Reads a text blob of the row's transaction, whole.
using BlobText = std::function<QByteArray(const ISC_QUAD &id)>;

// Column i of the row last fetched into the area.
dbx::Value decode(const ResultArea &row, int i, const BlobText &blobText);
dbx::ColumnKind kindOf(const Column &column);
// A scaled integer in decimal: 1250 with scale -2 is "12.50".
QByteArray scaled(std::int64_t value, int scale);

} // namespace fb
