#include "conversion.h"

#include "errors.h"
#include "params.h"
#include "rewriteplan.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"

#include <QScopeGuard>

#include <memory>

namespace {

QString messageOf(const std::exception &e)
{
    if (const auto *own = dynamic_cast<const Exception *>(&e))
        return own->message();
    return QString::fromUtf8(e.what());
}

// The four steps of every statement the run executes.
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

const QString triggersLeftOffLine =
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

void Conversion::interrupt()
{
    interruptRequested_ = true;
    db_.cancel(dbx::Cancel::Raise);
}

void Conversion::checkInterrupt() const
{
    if (interruptRequested_)
        throw Exception(QStringLiteral("Conversão interrompida"));
}

void Conversion::run()
{
    if (!ConectaBancoVestrel()) {
        outcome_ = Outcome::NotConnected;
        interruptRequested_ = false;
        return;
    }
    runConnected();
}

void Conversion::runConnected()
{
    outcome_ = Outcome::None;
    failure_.clear();
    // However the run ends, the database is let go of, and a request to stop is spent.
    auto release = qScopeGuard([this] {
        try {
            db_.setConnected(false);
        } catch (const std::exception &) {
            // A connection that will not close cleanly is gone all the same.
        }
        interruptRequested_ = false;
    });
    const QString tabela = QStringLiteral("Tabela");
    bool triggersOff = false;
    std::unique_ptr<TSQLQuery> QryBuscaTabelas;
    std::unique_ptr<TSQLQuery> QryAtualizaTabela;
    try {
        QryBuscaTabelas = std::make_unique<TSQLQuery>();
        QryAtualizaTabela = std::make_unique<TSQLQuery>();
        QryBuscaTabelas->setSQLConnection(&db_);
        QryAtualizaTabela->setSQLConnection(&db_);

        checkInterrupt();
        execute(*QryAtualizaTabela, statements::triggersOff());
        triggersOff = true;
        QryBuscaTabelas->Close();
        QryBuscaTabelas->SQL().setText(statements::discovery());
        checkInterrupt();
        QryBuscaTabelas->Open();
        view_.setGaugeMax(QryBuscaTabelas->RecordCount());
        checkInterrupt();
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
                checkInterrupt();
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
        checkInterrupt();
        execute(*QryAtualizaTabela, statements::triggersOn());
        triggersOff = false;
        checkInterrupt();
        execute(*QryAtualizaTabela, statements::commit());
        outcome_ = Outcome::Converted;
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
        failure_ = QStringLiteral("Erro ao atualizar a tabela ") + table + QStringLiteral("Motivo: ") + messageOf(e);
        if (!undo(triggersOff))
            failure_ += u'\r' + triggersLeftOffLine;
        if (outcome_ != Outcome::Converted) { // what failed after the commit undoes nothing
            if (interruptRequested_) {
                outcome_ = Outcome::Interrupted;
                return;
            }
            outcome_ = Outcome::Failed;
        }
        view_.showMessage(MessageKind::Error, failure_);
    }
}

bool Conversion::undo(bool triggersOff)
{
    // Nothing of a failed run may stay: its rewrites are undone, and the triggers it switched
    // off are switched on again (that switch was committed on its own). A rollback that fails
    // leaves nothing either: the engine undoes what is not committed when the connection goes.
    // An interrupt must not stop the undoing itself.
    db_.cancel(dbx::Cancel::Disable);
    auto enable = qScopeGuard([this] { db_.cancel(dbx::Cancel::Enable); });
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
