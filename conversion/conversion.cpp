#include "conversion.h"

#include "errors.h"
#include "params.h"
#include "rewriteplan.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"

#include <memory>

namespace {

QString messageOf(const std::exception &e)
{
    if (const auto *own = dynamic_cast<const Exception *>(&e))
        return own->message();
    return QString::fromUtf8(e.what());
}

void execute(TSQLQuery &query, const QString &sql)
{
    query.Close();
    query.SQL().Clear();
    query.SQL().setText(sql);
    query.ExecSQL(false);
}

// A run stopped on behalf of a table other than the discovery's current one.
class StoppedAt final : public Exception {
public:
    StoppedAt(QString table, QString message) : Exception(std::move(message)), table(std::move(table)) {}
    QString table;
};

const QString triggersLeftOff =
    QStringLiteral("Os gatilhos continuam desativados; a próxima conversão deste banco os reativa.");

} // namespace

bool Conversion::ConectaBancoVestrel()
{
    try {
        const QString path = view_.pathText();
        if (path.isEmpty())
            throw Exception(QStringLiteral("Caminho do banco de dados em branco"));
        // Another file chosen since the last attach: attach to that one, not the old one.
        if (db_.Connected() && db_.attachedDatabase() != trimControl(path))
            db_.setConnected(false);
        db_.Params.setValue(QStringLiteral("DataBase"), path);
        db_.setConnected(true);
        return true;
    } catch (const std::exception &e) {
        view_.showMessage(MessageKind::Error,
                          QStringLiteral("Não foi possível conectar ao banco de dados Vestrel\rMotivo: ") + messageOf(e));
        return false;
    }
}

void Conversion::run()
{
    if (!ConectaBancoVestrel())
        return;
    const QString tabela = QStringLiteral("Tabela");
    bool triggersOff = false;
    std::unique_ptr<TSQLQuery> QryBuscaTabelas;
    std::unique_ptr<TSQLQuery> QryAtualizaTabela;
    try {
        QryBuscaTabelas = std::make_unique<TSQLQuery>();
        QryAtualizaTabela = std::make_unique<TSQLQuery>();
        QryBuscaTabelas->setSQLConnection(&db_);
        QryAtualizaTabela->setSQLConnection(&db_);

        execute(*QryAtualizaTabela, statements::triggersOff());
        triggersOff = true;
        QryBuscaTabelas->Close();
        QryBuscaTabelas->SQL().setText(statements::discovery());
        QryBuscaTabelas->Open();
        view_.setGaugeMax(QryBuscaTabelas->RecordCount());
        const RewritePlan plan = RewritePlan::read(db_);
        if (plan.stop())
            throw StoppedAt(plan.stop()->table, plan.stop()->reason);

        while (!QryBuscaTabelas->Eof()) {
            view_.setStatus(QStringLiteral("Atualizando tabela: ")
                            + trimControl(QryBuscaTabelas->FieldByName(tabela).AsString()));
            view_.repaintNow();
            const QString table = trimControl(QryBuscaTabelas->FieldByName(tabela).AsString());
            if (!isPlainIdentifier(table))
                throw Exception(QStringLiteral("Nome de tabela inválido: ") + table);
            if (plan.rewrites(table)) {
                try {
                    execute(*QryAtualizaTabela, statements::rewrite(table));
                } catch (const TDBXError &e) {
                    // A relation the metadata did not show as read-only: the engine refused it
                    // as the statement was prepared, so it holds no code of its own.
                    if (!isReadOnlyRefusal(e))
                        throw;
                }
            }
            QryBuscaTabelas->Next();
            view_.addProgress(1);
        }
        execute(*QryAtualizaTabela, statements::triggersOn());
        triggersOff = false;
        execute(*QryAtualizaTabela, statements::commit());
        view_.showMessage(MessageKind::Information, QStringLiteral("Dados atualizados com sucesso! "));
        view_.setProgress(0);
        view_.setStatus(QStringLiteral("Concluído!"));
    } catch (const std::exception &e) {
        QString table;
        if (const auto *stopped = dynamic_cast<const StoppedAt *>(&e)) {
            table = stopped->table;
        } else {
            try {
                if (QryBuscaTabelas && QryBuscaTabelas->Active())
                    table = QryBuscaTabelas->FieldByName(tabela).AsString();
            } catch (const std::exception &) {
                // No current row to name.
            }
        }
        QString text = QStringLiteral("Erro ao atualizar a tabela ") + table + QStringLiteral("Motivo: ") + messageOf(e);
        if (!undo(triggersOff))
            text += u'\r' + triggersLeftOff;
        view_.showMessage(MessageKind::Error, text);
    }
}

bool Conversion::undo(bool triggersOff)
{
    // Nothing of a failed run may stay: its rewrites are undone, and the triggers it switched
    // off are switched on again (that switch was committed on its own). A rollback that fails
    // leaves nothing either: the engine undoes what is not committed when the connection goes.
    try {
        db_.rollback();
    } catch (const std::exception &) {
    }
    if (!triggersOff)
        return true;
    try {
        TSQLQuery query;
        query.setSQLConnection(&db_);
        execute(query, statements::triggersOn());
        return true;
    } catch (const std::exception &) {
        return false;
    }
}
