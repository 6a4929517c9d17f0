#include "advice.h"

#include "errors.h"

#include <ibase.h>

namespace advice {

namespace {

const TDBXError *engineFailure(const std::exception &e)
{
    return dynamic_cast<const TDBXError *>(&e);
}

} // namespace

QString forVersion(const std::exception &e)
{
    // "unsupported on-disk structure for file @1; found @2.@3, support @4.@5"
    const TDBXError *dbx = engineFailure(e);
    const EngineError *ods = dbx ? dbx->engineError(isc_wrong_ods) : nullptr;
    if (!ods)
        return {};
    const long found = ods->number(1), supported = ods->number(3);
    if (found < supported)
        return QStringLiteral("O banco é de uma versão anterior do Firebird: faça uma cópia com o gbak -b dessa versão e "
                              "restaure-a com o gbak -c deste computador antes de converter.");
    if (found > supported)
        return QStringLiteral("O banco é de uma versão mais nova do Firebird: faça uma cópia com o gbak -b dessa "
                              "versão e converta-o pelo servidor dela, sem a cópia do programa (conversor --convert "
                              "--no-copy servidor:/caminho/do/banco).");
    return {};
}

QString connectFailure(const std::exception &e)
{
    QString text = QStringLiteral("Não foi possível conectar ao banco de dados Vestrel\rMotivo: ") + messageOf(e);
    if (const QString version = forVersion(e); !version.isEmpty())
        text += u'\r' + version;
    return text;
}

bool isKeyViolation(const std::exception &e)
{
    const TDBXError *dbx = engineFailure(e);
    return dbx && (dbx->hasEngineCode(isc_unique_key_violation) || dbx->hasEngineCode(isc_no_dup));
}

QString tableOfViolation(const std::exception &e)
{
    // "violation of PRIMARY or UNIQUE KEY constraint "@1" on table "@2""
    const TDBXError *dbx = engineFailure(e);
    const EngineError *violation = dbx ? dbx->engineError(isc_unique_key_violation) : nullptr;
    return violation ? violation->text(1) : QString();
}

} // namespace advice
