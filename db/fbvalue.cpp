#include "fbvalue.h"

#include "errors.h"

#include <cstring>

namespace fb {

namespace {

template <class T> std::int64_t stored(const unsigned char *data)
{
    T n;
    std::memcpy(&n, data, sizeof n);
    return n;
}

} // namespace

QByteArray scaled(std::int64_t v, int scale)
{
    if (scale >= 0)
        return QByteArray::number(v);
    const bool negative = v < 0;
    // The magnitude without overflow on the smallest value.
    QByteArray digits = QByteArray::number(negative ? std::uint64_t(-(v + 1)) + 1 : std::uint64_t(v));
    while (digits.size() <= -scale)
        digits.prepend('0');
    digits.insert(digits.size() + scale, '.');
    return negative ? '-' + digits : digits;
}

dbx::ColumnKind kindOf(const Column &v)
{
    switch (v.type) {
    case SQL_TEXT:
    case SQL_VARYING:
        return dbx::ColumnKind::Text;
    case SQL_BLOB:
        return v.subType == isc_blob_text ? dbx::ColumnKind::Text : dbx::ColumnKind::Other;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        return v.scale == 0 ? dbx::ColumnKind::Integer : dbx::ColumnKind::Other;
    default:
        return dbx::ColumnKind::Other;
    }
}

dbx::Value decode(const ResultArea &row, int i, const BlobText &blobText)
{
    dbx::Value out;
    if (row.isNull(i))
        return out;
    out.null = false;
    const Column &v = row.column(i);
    const unsigned char *d = row.data(i);
    auto integer = [&](std::int64_t n) {
        out.isInteger = v.scale == 0;
        out.integer = n;
        out.text = scaled(n, v.scale);
    };
    switch (v.type) {
    case SQL_TEXT:
        out.text = QByteArray(reinterpret_cast<const char *>(d), int(v.length));
        break;
    case SQL_VARYING: {
        short len;
        std::memcpy(&len, d, 2);
        out.text = QByteArray(reinterpret_cast<const char *>(d + 2), len);
        break;
    }
    case SQL_SHORT:
        integer(stored<short>(d));
        break;
    case SQL_LONG:
        integer(stored<ISC_LONG>(d));
        break;
    case SQL_INT64:
        integer(stored<ISC_INT64>(d));
        break;
    case SQL_BLOB:
        if (v.subType == isc_blob_text) {
            ISC_QUAD id;
            std::memcpy(&id, d, sizeof id);
            out.text = blobText(id);
            break;
        }
        [[fallthrough]];
    default:
        throw TDBXError(dbx::UnsupportedFieldType);
    }
    return out;
}

} // namespace fb
