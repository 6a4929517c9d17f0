#include "rewriteplan.h"

#include "params.h"
#include "sqlquery.h"
#include "statements.h"

#include <QMap>
#include <QQueue>

namespace {

const QString codprod = QStringLiteral("CODPROD");

bool wipes(const QString &rule)
{
    return rule == QLatin1String("SET NULL") || rule == QLatin1String("SET DEFAULT");
}

bool refuses(const QString &rule)
{
    return rule == QLatin1String("RESTRICT") || rule == QLatin1String("NO ACTION");
}

// The rows of a child that none of its cascading references holds: for each reference, another
// column of its key is NULL.
QString unheldRows(const QList<const CodeReference *> &references)
{
    QStringList all;
    for (const CodeReference *r : references) {
        QStringList any;
        for (const QString &c : r->otherChildFields())
            any << c + QStringLiteral(" IS NULL");
        all << (any.size() == 1 ? any.first() : u'(' + any.join(QStringLiteral(" OR ")) + u')');
    }
    return all.join(QStringLiteral(" AND "));
}

} // namespace

QString CodeReference::childCodeField() const
{
    const qsizetype i = masterFields.indexOf(codprod);
    return i < 0 ? QString() : childFields.value(i);
}

QStringList CodeReference::otherChildFields() const
{
    QStringList others = childFields;
    others.removeOne(childCodeField());
    return others;
}

RewritePlan RewritePlan::decide(const QList<CodeColumn> &columns, const QList<CodeReference> &references)
{
    struct Relation {
        QString stored;
        bool isView = false;
        bool computed = false;
        bool named = false; // has a column dialect 1 writes as CODPROD
        QString otherName;  // a CODPROD column it cannot write
        int length = 0;
    };
    QMap<QString, Relation> byName; // in the discovery's order
    for (const CodeColumn &c : columns) {
        Relation &r = byName[trimControl(c.relation)];
        r.stored = c.relation;
        r.isView = c.isView;
        if (c.field == codprod) {
            r.named = true;
            r.computed = c.computed;
            r.length = c.length;
        } else if (r.otherName.isEmpty()) {
            r.otherName = c.field;
        }
    }
    auto isStored = [&](const QString &table) {
        const auto it = byName.constFind(table);
        return it != byName.cend() && !it->isView && it->named && !it->computed;
    };

    RewritePlan plan;
    plan.relations_ = byName.keys();
    for (auto it = byName.cbegin(); it != byName.cend(); ++it) {
        if (it->isView)
            plan.steps_.insert(it.key(), {false, false, {}, QStringLiteral("visão"), 0});
        else if (it->named && it->computed)
            plan.steps_.insert(it.key(), {false, false, {}, QStringLiteral("CODPROD calculado"), 0});
        else
            plan.steps_.insert(it.key(), {true, it->named, {}, {}, it->length});
    }

    // References to a CODPROD the run converts.
    QHash<QString, QList<const CodeReference *>> cascadeMasters;
    QHash<QString, QStringList> cascadeChildren;
    for (const CodeReference &r : references) {
        if (!isStored(r.master) || r.childCodeField().isEmpty())
            continue;
        const QString child = trimControl(r.child);
        if (wipes(r.updateRule) && !plan.stop_) {
            plan.stop_ = Stop{r.child, QStringLiteral("A chave estrangeira %1 (ON UPDATE %2) apagaria os códigos desta tabela "
                                                      "ao converter %3")
                                           .arg(r.name, r.updateRule, r.master)};
        } else if (refuses(r.updateRule)) {
            plan.refusing_ << r;
        } else if (r.updateRule == QLatin1String("CASCADE") && r.childCodeField() == codprod && isStored(child)
                   && child != r.master) {
            cascadeMasters[child] << &r;
            cascadeChildren[r.master] << child;
        }
    }

    // Each stored CODPROD is converted once: tables no cascade reaches by their own statement,
    // and the engine carries the conversion along the cascades from them. A ring of cascades
    // with no way in gets one statement, on the table where the climb from the first one closes.
    QSet<QString> converted;
    QStringList reached;
    auto statementFor = [&](const QString &root) {
        converted.insert(root);
        QQueue<QString> queue;
        queue.enqueue(root);
        while (!queue.isEmpty())
            for (const QString &child : cascadeChildren.value(queue.dequeue()))
                if (!converted.contains(child)) {
                    converted.insert(child);
                    reached << child;
                    queue.enqueue(child);
                }
    };
    const QStringList tables = plan.relations_;
    for (const QString &table : tables)
        if (isStored(table) && !cascadeMasters.contains(table))
            statementFor(table);
    for (const QString &table : tables) {
        if (!isStored(table) || converted.contains(table))
            continue;
        // Not reached, so a master of it is not either: climb until the ring closes.
        QString at = table;
        QSet<QString> seen;
        while (!seen.contains(at)) {
            seen.insert(at);
            for (const CodeReference *r : cascadeMasters.value(at))
                if (!converted.contains(r->master)) {
                    at = r->master;
                    break;
                }
        }
        statementFor(at);
    }
    // What the engine converts: the rows its references hold. A reference of CODPROD alone holds
    // every row with a code; a compound one leaves the rows with another of its columns NULL.
    for (const QString &child : std::as_const(reached)) {
        const QList<const CodeReference *> masters = cascadeMasters.value(child);
        Step &step = plan.steps_[child];
        const auto whole = std::find_if(masters.cbegin(), masters.cend(),
                                        [](const CodeReference *r) { return r->otherChildFields().isEmpty(); });
        if (whole != masters.cend()) {
            step = {false, true, {}, QStringLiteral("mantida pela chave ") + (*whole)->name, step.length};
        } else {
            step.condition = unheldRows(masters);
            for (const CodeReference *r : masters)
                for (const QString &c : r->otherChildFields())
                    if (!isPlainIdentifier(c) && !plan.stop_)
                        plan.stop_ = Stop{r->child, QStringLiteral("Nome de coluna inválido: ") + c};
        }
    }

    // What a run cannot write stops it; what it does not rewrite needs no name.
    for (auto it = byName.cbegin(); it != byName.cend() && !plan.stop_; ++it) {
        if (!plan.steps_.value(it.key()).rewrite)
            continue;
        if (!isPlainIdentifier(it.key()))
            plan.stop_ = Stop{it->stored, QStringLiteral("Nome de tabela inválido: ") + it.key()};
        else if (!it->named)
            plan.stop_ = Stop{it->stored, QStringLiteral("Nome de coluna inválido: ") + it->otherName};
    }
    return plan;
}

RewritePlan RewritePlan::read(TSQLConnection &db)
{
    auto text = [](TSQLQuery &q, const char *name) { return trimControl(q.FieldByName(QLatin1String(name)).AsString()); };
    QList<CodeColumn> columns;
    {
        TSQLQuery q;
        q.setSQLConnection(&db);
        q.SQL().setText(statements::codeColumns());
        for (q.Open(); !q.Eof(); q.Next())
            columns.append({q.FieldByName(QStringLiteral("RELATION")).AsString(), text(q, "FIELD"),
                            q.FieldByName(QStringLiteral("IS_VIEW")).asInteger() != 0,
                            q.FieldByName(QStringLiteral("COMPUTED")).asInteger() != 0,
                            q.FieldByName(QStringLiteral("LENGTH")).asInteger()});
    }
    QList<CodeReference> references;
    {
        TSQLQuery q;
        q.setSQLConnection(&db);
        q.SQL().setText(statements::codeReferences());
        for (q.Open(); !q.Eof(); q.Next()) {
            const QString name = text(q, "NAME");
            if (references.isEmpty() || references.last().name != name)
                references.append({name, q.FieldByName(QStringLiteral("CHILD")).AsString(), text(q, "MASTER"),
                                   text(q, "UPDATE_RULE"), {}, {}});
            references.last().childFields << text(q, "CHILD_FIELD");
            references.last().masterFields << text(q, "MASTER_FIELD");
        }
    }
    return decide(columns, references);
}
