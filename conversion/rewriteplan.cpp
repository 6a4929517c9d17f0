#include "rewriteplan.h"

#include "params.h"
#include "sqlquery.h"
#include "statements.h"

#include <QQueue>

namespace {

using Column = QPair<QString, QString>; // relation, field

const QString codprod = QStringLiteral("CODPROD");

bool wipes(const QString &rule)
{
    return rule == QLatin1String("SET NULL") || rule == QLatin1String("SET DEFAULT");
}

} // namespace

RewritePlan RewritePlan::decide(const QList<RelationField> &fields, const QList<CodeReference> &references)
{
    QHash<Column, RelationField> byColumn;
    QSet<QString> computed, views;
    for (const RelationField &f : fields) {
        byColumn.insert({f.relation, f.field}, f);
        if (f.computed)
            computed.insert(f.relation);
        if (f.isView && f.field == codprod)
            views.insert(f.relation);
    }
    // Only tables hold foreign keys, and a key's column is stored.
    auto isStoredCode = [&](const QString &table) { return !computed.contains(table) && !views.contains(table); };
    QSet<QString> inReferences;
    for (const CodeReference &r : references)
        inReferences << trimControl(r.child) << r.master;
    QStringList tables(inReferences.cbegin(), inReferences.cend()); // in the discovery's order
    tables.sort();
    QStringList viewOrder(views.cbegin(), views.cend());
    viewOrder.sort();

    // Cascades from one stored CODPROD to another: the engine converts the child.
    QHash<QString, QStringList> cascadeChildren, cascadeMasters;
    for (const CodeReference &r : references) {
        const QString child = trimControl(r.child);
        if (r.updateRule == QLatin1String("CASCADE") && r.childField == codprod && isStoredCode(child)
            && isStoredCode(r.master) && child != r.master) {
            cascadeChildren[r.master] << child;
            cascadeMasters[child] << r.master;
        }
    }
    // Each stored CODPROD is converted once: tables no cascade reaches get a statement, and
    // the engine carries the conversion along the cascades from them. A ring of cascades with
    // no way in gets one statement, on the table where the climb from the first one closes.
    RewritePlan plan;
    QSet<QString> converted;
    auto statementFor = [&](const QString &root) {
        converted.insert(root);
        QQueue<QString> queue;
        queue.enqueue(root);
        while (!queue.isEmpty())
            for (const QString &child : cascadeChildren.value(queue.dequeue()))
                if (!converted.contains(child)) {
                    converted.insert(child);
                    plan.skipped_.insert(child);
                    queue.enqueue(child);
                }
    };
    for (const QString &table : std::as_const(tables))
        if (isStoredCode(table) && !cascadeMasters.contains(table))
            statementFor(table);
    for (const QString &table : std::as_const(tables)) {
        if (!isStoredCode(table) || converted.contains(table))
            continue;
        // Not reached, so a master of it is not either: climb until the ring closes.
        QString at = table;
        QSet<QString> seen;
        while (!seen.contains(at)) {
            seen.insert(at);
            for (const QString &master : cascadeMasters.value(at))
                if (!converted.contains(master)) {
                    at = master;
                    break;
                }
        }
        statementFor(at);
    }
    for (const QString &table : std::as_const(computed))
        plan.skipped_.insert(table);

    // Columns the engine keeps in step with a converted CODPROD, whatever their name.
    QSet<Column> keptInStep;
    for (const CodeReference &r : references)
        if (r.updateRule == QLatin1String("CASCADE") && isStoredCode(r.master))
            keptInStep.insert({trimControl(r.child), r.childField});

    // Views: follow each view's CODPROD down to the column beneath it.
    QSet<Column> claimed;
    for (const QString &view : std::as_const(viewOrder)) {
        Column at{view, codprod};
        bool expression = false;
        for (int depth = 0; depth < 64; ++depth) {
            const auto it = byColumn.constFind(at);
            if (it == byColumn.cend() || !it->isView)
                break;
            if (it->baseField.isEmpty() || it->baseIsProcedure) {
                expression = true;
                break;
            }
            at = {it->baseRelation, it->baseField};
        }
        // A CODPROD beneath is a table's, converted (or computed: nothing stored) anyway.
        const bool convertedAnyway = at.second == codprod || keptInStep.contains(at);
        if (expression || convertedAnyway || claimed.contains(at))
            plan.skipped_.insert(view);
        else
            claimed.insert(at);
    }

    for (const CodeReference &r : references)
        if (wipes(r.updateRule) && isStoredCode(r.master)) {
            plan.stop_ = Stop{r.child, QStringLiteral("A chave estrangeira %1 (ON UPDATE %2) apagaria os códigos desta "
                                                      "tabela ao converter %3")
                                           .arg(r.name, r.updateRule, r.master)};
            break;
        }
    return plan;
}

RewritePlan RewritePlan::read(TSQLConnection &db)
{
    auto text = [](TSQLQuery &q, const char *name) {
        const QString value = trimControl(q.FieldByName(QLatin1String(name)).AsString());
        // A column the discovery lists as CODPROD, whatever its letter case.
        return value.compare(codprod, Qt::CaseInsensitive) == 0 ? codprod : value;
    };
    QList<RelationField> fields;
    {
        TSQLQuery q;
        q.setSQLConnection(&db);
        q.SQL().setText(statements::codeColumns());
        for (q.Open(); !q.Eof(); q.Next())
            fields.append({text(q, "RELATION"), text(q, "FIELD"), q.FieldByName(QStringLiteral("IS_VIEW")).AsInteger() != 0,
                           q.FieldByName(QStringLiteral("COMPUTED")).AsInteger() != 0, text(q, "BASE_RELATION"),
                           text(q, "BASE_FIELD"), q.FieldByName(QStringLiteral("CONTEXT_TYPE")).AsInteger() == 2});
    }
    QList<CodeReference> references;
    {
        TSQLQuery q;
        q.setSQLConnection(&db);
        q.SQL().setText(statements::codeReferences());
        for (q.Open(); !q.Eof(); q.Next())
            references.append({text(q, "NAME"), q.FieldByName(QStringLiteral("CHILD")).AsString(), text(q, "CHILD_FIELD"),
                               text(q, "MASTER"), text(q, "UPDATE_RULE")});
    }
    return decide(fields, references);
}
