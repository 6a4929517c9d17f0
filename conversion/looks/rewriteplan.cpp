#include "rewriteplan.h"

#include "params.h"
#include "queries.h"
#include "sqlquery.h"
#include "sqltext.h"
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
            any << statements::name(c) + QStringLiteral(" IS NULL");
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

QString CodeReference::masterFieldOfChildCode() const
{
    const qsizetype i = childFields.indexOf(codprod);
    return i < 0 ? QString() : masterFields.value(i);
}

QString RewritePlan::rewrittenCode(const QString &table) const
{
    const CodeColumn c = codeColumn_.value(table);
    return statements::convertedAs(codprod, c.charset, c.collation);
}

bool RewritePlan::keyedByCodeAlone(const QString &table) const
{
    for (const KeyTerms &key : keys_.value(table))
        if (key.old == QStringList{statements::name(codprod)})
            return true;
    return false;
}

QStringList RewritePlan::storedTables() const
{
    QStringList tables;
    for (const QString &relation : relations_)
        if (steps_.value(relation).stored)
            tables << relation;
    return tables;
}

// The plan decided rule by rule, in this order: what each relation is, what the references
// ask, which tables the cascades reach, the names a run must write, the checks, the unique keys.
class RewritePlan::Decision final {
public:
    explicit Decision(const QList<CodeColumn> &columns);
    void references(const QList<CodeReference> &references);
    void twoMasters();
    void cascadeReach();
    void namesWritten();
    void checks(const QList<CodeCheck> &checks);
    void uniqueKeys(const QList<UniqueKey> &keys);
    RewritePlan plan;

private:
    struct Relation {
        QString stored;
        bool isView = false;
        bool computed = false;
        bool named = false; // has a column dialect 1 writes as CODPROD
        QString otherName;  // a CODPROD column it cannot write
        CodeColumn column;
    };
    bool isStored(const QString &table) const
    {
        const auto it = byName_.constFind(table);
        return it != byName_.cend() && !it->isView && it->named && !it->computed;
    }
    void heldRows(const QString &child);

    QMap<QString, Relation> byName_; // in the discovery's order
    // The cascades between CODPRODs the run converts: a child's references to its masters, and
    // a master's children.
    QHash<QString, QList<const CodeReference *>> cascadeMasters_;
    QHash<QString, QStringList> cascadeChildren_;
};

RewritePlan RewritePlan::decide(const QList<CodeColumn> &columns, const QList<CodeReference> &references,
                                const QList<CodeCheck> &checks, const QList<UniqueKey> &keys)
{
    Decision d(columns);
    d.references(references);
    d.twoMasters();
    d.cascadeReach();
    d.namesWritten();
    d.checks(checks);
    d.uniqueKeys(keys);
    return std::move(d.plan);
}

// What each relation is: a view and a computed CODPROD are skipped; a table is rewritten.
RewritePlan::Decision::Decision(const QList<CodeColumn> &columns)
{
    for (const CodeColumn &c : columns) {
        Relation &r = byName_[trimControl(c.relation)];
        r.stored = c.relation;
        r.isView = c.isView;
        if (c.field == codprod) {
            r.named = true;
            r.computed = c.computed;
            r.column = c;
        } else if (r.otherName.isEmpty()) {
            r.otherName = c.field;
        }
    }
    plan.relations_ = byName_.keys();
    for (auto it = byName_.cbegin(); it != byName_.cend(); ++it) {
        plan.codeColumn_.insert(it.key(), it->column);
        if (it->isView)
            plan.steps_.insert(it.key(), {false, false, {}, QStringLiteral("visão"), 0});
        else if (it->named && it->computed)
            plan.steps_.insert(it.key(), {false, false, {}, QStringLiteral("CODPROD calculado"), 0});
        else
            plan.steps_.insert(it.key(), {true, it->named, {}, {}, it->column.length});
    }
}

// References to a CODPROD the run converts, and a child's CODPROD held by a column the run does
// not convert: what their update rules would do.
void RewritePlan::Decision::references(const QList<CodeReference> &references)
{
    for (const CodeReference &r : references) {
        const QString child = trimControl(r.child);
        // A key that holds each row to itself (a table's CODPROD to its own CODPROD) holds it
        // whatever its code becomes: its update rule finds no other row to act on.
        if (child == r.master && r.childFields == r.masterFields)
            continue;
        if (isStored(child) && !r.masterFieldOfChildCode().isEmpty() && r.masterFieldOfChildCode() != codprod) {
            plan.questions_ << Question{child, statements::anyChangingReference(child, QStringList{codprod} + [&] {
                                            QStringList others = r.childFields;
                                            others.removeOne(codprod);
                                            return others;
                                        }()),
                                        QStringLiteral("A chave estrangeira %1 liga o CODPROD desta tabela à coluna %2 de %3, que a "
                                                       "conversão não muda: os códigos convertidos não existiriam lá")
                                            .arg(r.name, r.masterFieldOfChildCode(), r.master)};
            continue;
        }
        if (!isStored(r.master) || r.childCodeField().isEmpty())
            continue;
        if (wipes(r.updateRule) && !plan.stop_) {
            plan.stop_ = Stop{r.child, QStringLiteral("A chave estrangeira %1 (ON UPDATE %2) apagaria os códigos desta tabela "
                                                      "ao converter %3")
                                           .arg(r.name, r.updateRule, r.master)};
        } else if (refuses(r.updateRule)) {
            QStringList columns{r.childCodeField()};
            columns += r.otherChildFields();
            plan.questions_ << Question{child, statements::anyChangingReference(child, columns),
                                        QStringLiteral("A chave estrangeira %1 (ON UPDATE %2) impede a conversão de %3: "
                                                       "esta tabela tem códigos que a conversão muda")
                                            .arg(r.name, r.updateRule, r.master)};
        } else if (r.updateRule == QLatin1String("CASCADE") && r.childCodeField() == codprod && isStored(child)
                   && child != r.master) {
            cascadeMasters_[child] << &r;
            cascadeChildren_[r.master] << child;
        }
    }
}

void RewritePlan::Decision::twoMasters()
{
    // A child kept in step with two masters: the first master's rewrite carries codes into it
    // that the second does not have yet, and the engine refuses.
    for (auto it = cascadeMasters_.cbegin(); it != cascadeMasters_.cend(); ++it) {
        QStringList masters;
        for (const CodeReference *r : it.value())
            if (!masters.contains(r->master))
                masters << r->master;
        if (masters.size() > 1)
            plan.questions_ << Question{it.key(), statements::anyChangingReference(it.key(), {codprod}),
                                        QStringLiteral("O CODPROD desta tabela acompanha %1 (ON UPDATE CASCADE): a "
                                                       "conversão de um leva a ela códigos que o outro ainda não tem")
                                            .arg(masters.join(QStringLiteral(" e ")))};
    }
}

void RewritePlan::Decision::cascadeReach()
{
    // Each stored CODPROD is converted once: tables no cascade reaches by their own statement,
    // and the engine carries the conversion along the cascades from them. A ring of cascades
    // the engine refuses to run at all.
    QSet<QString> converted;
    QStringList reached;
    auto statementFor = [&](const QString &root) {
        converted.insert(root);
        QQueue<QString> queue;
        queue.enqueue(root);
        while (!queue.isEmpty())
            for (const QString &child : cascadeChildren_.value(queue.dequeue()))
                if (!converted.contains(child)) {
                    converted.insert(child);
                    reached << child;
                    queue.enqueue(child);
                }
    };
    const QStringList tables = plan.relations_;
    for (const QString &table : tables)
        if (isStored(table) && !cascadeMasters_.contains(table))
            statementFor(table);
    for (const QString &table : tables) {
        if (!isStored(table) || converted.contains(table) || plan.stop_)
            continue;
        QStringList ring;
        for (const CodeReference *r : cascadeMasters_.value(table))
            ring << r->name;
        plan.stop_ = Stop{byName_.value(table).stored,
                          QStringLiteral("As chaves estrangeiras desta tabela (%1) fazem parte de um ciclo de ON UPDATE "
                                         "CASCADE, que o Firebird não deixa converter")
                              .arg(ring.join(QStringLiteral(", ")))};
    }
    for (const QString &child : std::as_const(reached))
        heldRows(child);
}

// What the engine converts: the rows its references hold. A reference of CODPROD alone holds
// every row with a code; a compound one leaves the rows with another of its columns NULL.
void RewritePlan::Decision::heldRows(const QString &child)
{
    const QList<const CodeReference *> masters = cascadeMasters_.value(child);
    Step &step = plan.steps_[child];
    const auto whole = std::find_if(masters.cbegin(), masters.cend(),
                                    [](const CodeReference *r) { return r->otherChildFields().isEmpty(); });
    if (whole != masters.cend())
        step = {false, true, {}, QStringLiteral("mantida pela chave ") + (*whole)->name, step.length};
    else
        step.condition = unheldRows(masters);
    // A CHAR master fills what it carries up to its length; a variable-length child keeps
    // the blanks, which the rule would not have made.
    const bool filled = std::any_of(masters.cbegin(), masters.cend(),
                                    [&](const CodeReference *r) { return byName_.value(r->master).column.fixed; });
    if (filled && !byName_.value(child).column.fixed) {
        plan.cut_ << child;
        plan.questions_ << Question{child, statements::anyEndingInBlank(child, {}),
                                    QStringLiteral("Há códigos que convertidos terminariam em branco, e a chave de uma "
                                                   "coluna CHAR que os leva a esta tabela os completaria com brancos "
                                                   "indistinguíveis")};
    }
}

void RewritePlan::Decision::namesWritten()
{
    // What a run cannot write stops it; what it does not rewrite needs no name.
    for (auto it = byName_.cbegin(); it != byName_.cend() && !plan.stop_; ++it)
        if (plan.steps_.value(it.key()).rewrite && !it->named)
            plan.stop_ = Stop{it->stored, QStringLiteral("Nome de coluna inválido: ") + it->otherName};
}

void RewritePlan::Decision::checks(const QList<CodeCheck> &checks)
{
    // The checks a rewritten row meets: every check constraint of its table (the engine checks
    // them all on an update, one a row broke before it was added too) and its code column's
    // domain, on every row the run changes.
    QList<CodeCheck> all = checks;
    for (auto it = byName_.cbegin(); it != byName_.cend(); ++it)
        if (!it->column.domainCheck.trimmed().isEmpty())
            all << CodeCheck{it.key(), QStringLiteral("do domínio de CODPROD"), it->column.domainCheck.trimmed(), true};
    for (const CodeCheck &c : std::as_const(all)) {
        if (!plan.steps_.value(c.table).stored)
            continue;
        // A rule that reads tables whose codes the run changes sees them as the order of the
        // rewrites leaves them, old or new, row by row: nothing foresees what it would say.
        QStringList changing;
        for (const QString &read : sqltext::tablesRead(sqltext::singleQuoted(c.source)))
            if (isStored(read) && !changing.contains(read))
                changing << read;
        if (!changing.isEmpty()) {
            plan.questions_ << Question{c.table, statements::anyCode(c.table),
                                        QStringLiteral("A regra %1 (%2) consulta %3, cujos códigos a conversão também muda: não "
                                                       "há como saber se ela aceitaria os códigos convertidos desta tabela. "
                                                       "Retire-a, converta e crie-a de novo")
                                            .arg(c.name, c.source.simplified(), changing.join(QStringLiteral(", ")))};
            continue;
        }
        // A domain's check names the value it checks VALUE.
        // The database's dialect 1 text: its double quotes are strings.
        const QString rewritten = sqltext::replaceName(sqltext::singleQuoted(sqltext::condition(c.source)),
                                                       c.ofDomain ? QStringLiteral("VALUE") : codprod, plan.rewrittenCode(c.table));
        plan.questions_ << Question{c.table, statements::anyBreaking(c.table, rewritten, {}),
                                    QStringLiteral("A regra %1 (%2) recusaria códigos convertidos desta tabela")
                                        .arg(c.name, c.source.simplified())};
    }
}

// The unique keys that hold a code, as terms old and rewritten: the looks for codes that become
// one ask them.
void RewritePlan::Decision::uniqueKeys(const QList<UniqueKey> &keys)
{
    for (const UniqueKey &k : keys) {
        if (!plan.steps_.value(k.table).stored)
            continue;
        KeyTerms terms{k.name, {}, {}};
        if (!k.expression.isEmpty()) {
            if (!sqltext::mentions(k.expression, codprod))
                continue;
            const QString expression = sqltext::singleQuoted(k.expression);
            terms.old << expression;
            terms.rewritten << sqltext::replaceName(expression, codprod, plan.rewrittenCode(k.table));
        } else {
            if (!k.columns.contains(codprod))
                continue;
            for (const QString &c : k.columns) {
                terms.old << statements::name(c);
                terms.rewritten << (c == codprod ? plan.rewrittenCode(k.table) : statements::name(c));
            }
        }
        plan.keys_[k.table] << terms;
    }
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
                            q.FieldByName(QStringLiteral("LENGTH")).asInteger(),
                            q.FieldByName(QStringLiteral("FIXED")).asInteger() != 0, text(q, "CHARSET"),
                            text(q, "COLLATION"), q.FieldByName(QStringLiteral("DOMAIN_CHECK")).AsString(),
                            q.FieldByName(QStringLiteral("TYPE")).asInteger(), q.FieldByName(QStringLiteral("SCALE")).asInteger()});
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
    QList<CodeCheck> checks;
    for (const QStringList &row : queries::readAll(db, statements::checkConstraints()))
        checks << CodeCheck{trimControl(row.value(0)), trimControl(row.value(1)), row.value(2)};
    QList<UniqueKey> keys;
    for (const QStringList &row : queries::readAll(db, statements::uniqueKeys())) {
        const QString table = trimControl(row.value(0)), name = trimControl(row.value(1));
        if (keys.isEmpty() || keys.last().table != table || keys.last().name != name)
            keys << UniqueKey{table, name, {}, row.value(3).trimmed()};
        if (!row.value(2).isNull())
            keys.last().columns << trimControl(row.value(2));
    }
    return decide(columns, references, checks, keys);
}
