#include "conversion.h"

#include "errors.h"
#include "params.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"

#include <QRegularExpression>
#include <QSet>

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

// Views that only pass a rewritten table's CODPROD through: rewriting them would rewrite that
// table a second time.
QSet<QString> passThroughViews(TSQLConnection &db)
{
    TSQLQuery views;
    views.setSQLConnection(&db);
    views.SQL().setText(statements::passThroughViews());
    views.Open();
    QSet<QString> names;
    for (; !views.Eof(); views.Next())
        names.insert(trimControl(views.FieldByName(QStringLiteral("Tabela")).AsString()));
    return names;
}

} // namespace

bool isPlainIdentifier(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z][A-Za-z0-9_$]*$"));
    return plain.match(name).hasMatch();
}

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
        const QSet<QString> views = passThroughViews(db_);

        while (!QryBuscaTabelas->Eof()) {
            view_.setStatus(QStringLiteral("Atualizando tabela: ")
                            + trimControl(QryBuscaTabelas->FieldByName(tabela).AsString()));
            view_.repaintNow();
            const QString table = trimControl(QryBuscaTabelas->FieldByName(tabela).AsString());
            if (!isPlainIdentifier(table))
                throw Exception(QStringLiteral("Nome de tabela inválido: ") + table);
            if (!views.contains(table))
                execute(*QryAtualizaTabela, statements::rewrite(table));
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
        try {
            if (QryBuscaTabelas && QryBuscaTabelas->Active())
                table = QryBuscaTabelas->FieldByName(tabela).AsString();
        } catch (const std::exception &) {
            // No current row to name.
        }
        undo(triggersOff);
        view_.showMessage(MessageKind::Error,
                          QStringLiteral("Erro ao atualizar a tabela ") + table + QStringLiteral("Motivo: ") + messageOf(e));
    }
}

void Conversion::undo(bool triggersOff)
{
    // Nothing of a failed run may stay: its rewrites are undone, and the triggers it switched
    // off are switched on again (that switch was committed on its own).
    try {
        db_.rollback();
    } catch (const std::exception &) {
    }
    if (!triggersOff)
        return;
    try {
        TSQLQuery query;
        query.setSQLConnection(&db_);
        execute(query, statements::triggersOn());
    } catch (const std::exception &) {
    }
}
