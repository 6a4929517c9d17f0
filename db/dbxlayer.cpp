#include "dbxlayer.h"

#include "errors.h"

namespace dbx {

void Layer::check(Handle handle, int code)
{
    if (code == Ok)
        return;
    QString text;
    int length = 0;
    if (errorMessageLength(handle, code, length) == Ok && length > 0)
        errorMessage(handle, code, text);
    if (text.isEmpty())
        text = QStringLiteral("DBX Error:  %1").arg(dbxErrorDescription(code));
    throw TDBXError(code, text, errorEngineCodes(handle));
}

} // namespace dbx
