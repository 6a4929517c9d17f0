#include "advice.h"

#include "errors.h"
#include "filenames.h"
#include "restore.h"

#include <cerrno>

#include <ibase.h>

namespace advice {

namespace {

const TDBXError *engineFailure(const std::exception &e)
{
    return dynamic_cast<const TDBXError *>(&e);
}

} // namespace

QString callTechnician()
{
    return QStringLiteral("Chame o técnico responsável pelo sistema.");
}

QString forTechnician(const QString &what, const QString &technician)
{
    return callTechnician() + u'\r' + what + QStringLiteral("\r\r") + technician;
}

QString forVersion(const std::exception &e)
{
    // "unsupported on-disk structure for file @1; found @2.@3, support @4.@5"
    const TDBXError *dbx = engineFailure(e);
    const EngineError *ods = dbx ? dbx->engineError(isc_wrong_ods) : nullptr;
    if (!ods)
        return {};
    const long found = ods->number(1), supported = ods->number(3);
    if (found < supported)
        return forTechnician(QStringLiteral("O banco é de uma versão anterior do Firebird."),
                             QStringLiteral("Para o técnico: faça uma cópia com o gbak -b dessa versão e restaure-a com o "
                                            "gbak -c deste computador antes de converter."));
    if (found > supported)
        return forTechnician(QStringLiteral("O banco é de uma versão mais nova do Firebird."),
                             QStringLiteral("Para o técnico: faça uma cópia com o gbak -b dessa versão e converta-o pelo "
                                            "servidor dela, sem a cópia do programa (conversor --convert --no-copy "
                                            "servidor:/caminho/do/banco)."));
    return {};
}

QString explain(const std::exception &e, const QString &path)
{
    if (!path.isEmpty() && !filenames::isUtf8(path))
        return QStringLiteral("O nome do arquivo tem letras de outro sistema (não é UTF-8), e o Firebird não abre um banco "
                              "com esse nome: renomeie o arquivo, sem acentos, e tente de novo.");
    const TDBXError *dbx = engineFailure(e);
    if (!dbx || dbx->engineErrors().isEmpty())
        return {};
    const int system = dbx->systemError();
    // A full disk as the engine, its backup or its restore meets it (a server's copy among them).
    if (system == ENOSPC || system == EDQUOT || dbx->hasEngineCode(isc_gbak_disk_space_ex))
        return QStringLiteral("O disco está cheio: libere espaço na pasta do banco e tente de novo.");
    if (dbx->hasEngineCode(isc_no_priv) || dbx->hasEngineCode(isc_read_only_database))
        return forTechnician(QStringLiteral("O banco só pode ser lido, não alterado (o arquivo, a pasta ou o banco está "
                                            "somente para leitura)."),
                             QStringLiteral("Para o técnico: dê a este usuário permissão de gravação no arquivo e na pasta "
                                            "do banco (ou, se for o banco, gfix -mode read_write) e tente de novo."));
    if (system == EACCES || system == EPERM)
        return forTechnician(QStringLiteral("Este usuário não tem permissão para abrir o arquivo do banco."),
                             QStringLiteral("Para o técnico: dê a este usuário acesso ao arquivo, ou abra o banco pelo "
                                            "servidor do Firebird (servidor:/caminho/do/banco), e tente de novo."));
    if (system == ENOENT)
        return QStringLiteral("O arquivo não foi encontrado: confira o caminho escolhido.");
    if (dbx->hasEngineCode(isc_already_opened) || dbx->hasEngineCode(isc_lock_timeout))
        return QStringLiteral("O arquivo do banco está aberto por outro programa: feche os programas que o usam (ou converta "
                              "pelo servidor do Firebird que o tem aberto) e tente de novo.");
    // "could not drop database @1 (database might be in use)": a restore that replaces it.
    if (dbx->hasEngineCode(isc_gbak_db_in_use))
        return QStringLiteral("O banco está em uso, e o Firebird não pôde substituí-lo pela cópia: feche os programas que o "
                              "usam e tente de novo.");
    const EngineError *io = dbx->engineError(isc_io_error);
    const bool tooShort = io && io->text(0) == QLatin1String("read") && dbx->hasEngineCode(isc_random);
    if (dbx->hasEngineCode(isc_bad_db_format) || tooShort || system == EISDIR)
        return QStringLiteral("O arquivo escolhido não é um banco de dados do Firebird: confira se é o arquivo certo (.fb ou "
                              ".fdb).");
    const QString unlock = path.isEmpty() ? QString() : u' ' + path;
    // "database @1 shutdown in progress": someone is shutting it down as the program comes.
    if (dbx->hasEngineCode(isc_shutinprog))
        return forTechnician(QStringLiteral("O banco está sendo fechado para manutenção (shutdown)."),
                             QStringLiteral("Para o técnico: quando a manutenção terminar, abra-o (conversor --unlock%1) e "
                                            "tente de novo.").arg(unlock));
    if (dbx->hasEngineCode(isc_shutdown) || dbx->hasEngineCode(isc_att_shutdown))
        return forTechnician(QStringLiteral("O banco está fechado para manutenção (shutdown)."),
                             QStringLiteral("Para o técnico: quando a manutenção terminar, abra-o (conversor --unlock%1) e "
                                            "tente de novo.").arg(unlock));
    if (dbx->hasEngineCode(isc_login))
        return forTechnician(QStringLiteral("O Firebird recusou o usuário e a senha do Conversor de dados (SYSDBA)."),
                             QStringLiteral("Para o técnico: confira a senha do administrador no servidor."));
    if (dbx->hasEngineCode(isc_network_error) || dbx->hasEngineCode(isc_net_connect_err) || dbx->hasEngineCode(isc_net_lookup_err)
        || dbx->hasEngineCode(isc_connect_reject) || dbx->hasEngineCode(isc_conn_lost) || dbx->hasEngineCode(isc_lost_db_connection)
        || dbx->hasEngineCode(isc_net_read_err) || dbx->hasEngineCode(isc_net_write_err) || dbx->hasEngineCode(isc_net_server_shutdown))
        return forTechnician(QStringLiteral("O servidor do Firebird não respondeu."),
                             QStringLiteral("Para o técnico: confira o nome do servidor, a rede e se o serviço do Firebird "
                                            "está rodando nele, e tente de novo."));
    if (QString version = forVersion(e); !version.isEmpty())
        return version;
    return {};
}

QString withReason(const QString &heading, const std::exception &e, const QString &path)
{
    // The technician is called in the first line, whether the engine's failure or the program's
    // own refusal (a text of this program's) needs one.
    const QString call = callTechnician() + u'\r';
    QString reason = messageOf(e);
    const bool refusalCalls = reason.startsWith(call);
    if (refusalCalls)
        reason.remove(0, call.size());
    QString line = explain(e, path);
    const bool explanationCalls = line.startsWith(call);
    if (explanationCalls)
        line.remove(0, call.size());
    QString text = (refusalCalls || explanationCalls ? call : QString()) + heading;
    if (!line.isEmpty())
        text += u'\r' + line;
    if (const auto *left = dynamic_cast<const LeftBehind *>(&e); left && !left->note().isEmpty())
        text += u'\r' + left->note();
    return text + QStringLiteral("\rMotivo: ") + reason;
}

QString refusal(const QString &heading, const std::exception &e, const QString &path)
{
    if (explain(e, path).isEmpty() && !dynamic_cast<const LeftBehind *>(&e) && !messageOf(e).startsWith(callTechnician() + u'\r'))
        return heading + u' ' + messageOf(e);
    return withReason(heading, e, path);
}

QString connectFailure(const std::exception &e, const QString &path)
{
    // A database missing because a way back was cut short between its two steps: said so, with
    // the command that finishes it, for the run and the check alike.
    if (const QString cutShort = restore::cutShortText(path); !cutShort.isEmpty())
        return cutShort;
    return withReason(QStringLiteral("Não foi possível conectar ao banco de dados Vestrel"), e, path);
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
