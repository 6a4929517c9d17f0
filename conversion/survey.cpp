#include "survey.h"

#include "marks.h"
#include "params.h"
#include "queries.h"
#include "statements.h"

namespace {

const int shownAttachments = 5;
const int shownInFailure = 5; // collision groups a failed run's box names

} // namespace

Survey Survey::read(TSQLConnection &db, const QString &description)
{
    Survey s;
    for (const QStringList &row : queries::readAll(db, statements::otherAttachments()))
        // The engine gives the address with its port ("10.0.0.5/43886"): the computer is what helps.
        s.others_ << OtherAttachment{trimControl(row.value(0)), trimControl(row.value(1)).section(u'/', 0, 0),
                                     trimControl(row.value(2))};
    if (!s.others_.isEmpty())
        s.stops_ << RewritePlan::Stop{{}, othersText(s.others_)};
    // A lock left by a run cut short during its copy, or a backup another program is taking.
    if (queries::readAll(db, statements::backupState()).value(0).value(0).toInt() != 0)
        s.stops_ << RewritePlan::Stop{{}, QStringLiteral("O banco está sob a trava de cópia do Firebird (ALTER DATABASE BEGIN "
                                                         "BACKUP, ou nbackup -L), talvez de uma conversão interrompida durante "
                                                         "a sua cópia de segurança: quando nenhuma cópia estiver sendo feita, "
                                                         "libere-o com ALTER DATABASE END BACKUP e converta de novo.")};
    s.plan_ = RewritePlan::read(db);
    if (s.plan_.relations().isEmpty())
        s.stops_ << RewritePlan::Stop{{}, QStringLiteral("Nenhuma tabela deste banco tem a coluna CODPROD: nada foi alterado.")};
    if (s.plan_.stop())
        s.stops_ << *s.plan_.stop();
    for (const CodeReference &r : s.plan_.refusingReferences()) {
        const QString child = trimControl(r.child);
        QStringList columns{r.childCodeField()};
        columns += r.otherChildFields();
        const bool writable = isPlainIdentifier(child) && std::all_of(columns.cbegin(), columns.cend(), isPlainIdentifier);
        if (!writable || queries::any(db, statements::anyChangingReference(child, columns)))
            s.stops_ << RewritePlan::Stop{r.child, QStringLiteral("A chave estrangeira %1 (ON UPDATE %2) impede a conversão de %3: "
                                                                  "esta tabela tem códigos que a conversão muda")
                                                       .arg(r.name, r.updateRule, r.master)};
    }

    if (const QString when = marks::lastConversion(description); !when.isEmpty()) {
        s.convertedBecause_ = QStringLiteral("convertido em ") + when;
        return s;
    }
    // Without the mark: codes in the rewritten shape, and none of the 8 characters a conversion
    // expects. Looking for a code of 8 stops at the first one, which an unconverted table has.
    bool rewritten = false;
    for (const QString &table : s.storedTables()) {
        if (queries::any(db, statements::anyCodeOf8(table)))
            return s;
        rewritten = rewritten || queries::any(db, statements::anyRewrittenCode(table));
    }
    if (rewritten)
        s.convertedBecause_ = shapeReason();
    return s;
}

QString Survey::shapeReason()
{
    return QStringLiteral("os códigos têm 6 caracteres com \"0\" em segundo, e nenhum tem 8");
}

QStringList Survey::storedTables() const
{
    QStringList tables;
    for (const QString &relation : plan_.relations())
        if (plan_.step(relation).stored && isPlainIdentifier(relation))
            tables << relation;
    return tables;
}

Survey::UniqueKeys Survey::uniqueKeys(TSQLConnection &db, const QString &table)
{
    UniqueKeys keys;
    for (const QStringList &row : queries::readAll(db, statements::uniqueKeys(table))) {
        auto &ofTable = keys[trimControl(row.value(0))];
        const QString key = trimControl(row.value(1));
        if (ofTable.isEmpty() || ofTable.last().first != key)
            ofTable.append({key, {}});
        ofTable.last().second << trimControl(row.value(2));
    }
    return keys;
}

QList<Collision> Survey::collisions(TSQLConnection &db, const QString &table, const QList<QPair<QString, QStringList>> &keys,
                                    int limit, int *total)
{
    QList<Collision> found;
    int count = 0;
    for (const auto &[key, columns] : keys) {
        if (!std::all_of(columns.cbegin(), columns.cend(), isPlainIdentifier))
            continue;
        for (const QStringList &row : queries::readAll(db, statements::collisions(table, columns))) {
            ++count;
            if (limit > 0 && found.size() >= limit)
                continue;
            Collision c{table, key, trimControl(row.value(0)), {}, trimControl(row.last()).split(u' ', Qt::SkipEmptyParts)};
            c.codes.sort();
            for (qsizetype i = 1; i + 1 < row.size(); ++i)
                c.others << trimControl(row.value(i));
            found << c;
        }
    }
    if (total)
        *total = count;
    return found;
}

QString Survey::collisionText(const Collision &c)
{
    QString codes = c.codes.join(QStringLiteral(", "));
    if (const qsizetype last = codes.lastIndexOf(QStringLiteral(", ")); last >= 0)
        codes.replace(last, 2, QStringLiteral(" e "));
    QString where = c.table + QStringLiteral(", chave ") + c.key;
    if (!c.others.isEmpty())
        where += QStringLiteral(", com ") + c.others.join(QStringLiteral(", "));
    return QStringLiteral("%1 → %2 (%3)").arg(codes, c.result, where);
}

QString Survey::collisionHint(TSQLConnection &db, const QStringList &tables)
{
    try {
        for (const QString &table : tables) {
            if (!isPlainIdentifier(table))
                continue;
            QStringList groups;
            for (const Collision &c : collisions(db, table, uniqueKeys(db, table).value(table), shownInFailure))
                groups << collisionText(c);
            if (!groups.isEmpty())
                return QStringLiteral("\rCódigos que ficariam iguais: ") + groups.join(QStringLiteral("; "));
        }
    } catch (const std::exception &) {
        // The failure says what the engine said.
    }
    return {};
}

QString Survey::othersText(const QList<OtherAttachment> &others)
{
    QStringList shown;
    for (const OtherAttachment &a : others.mid(0, shownAttachments)) {
        QString who = (a.user.isEmpty() ? QStringLiteral("?") : a.user) + u'@'
            + (a.host.isEmpty() ? QStringLiteral("local") : a.host);
        if (!a.program.isEmpty())
            who += QStringLiteral(", ") + a.program;
        shown << who;
    }
    if (others.size() > shownAttachments)
        shown << QStringLiteral("…");
    return others.size() == 1
        ? QStringLiteral("O banco está em uso por 1 outra conexão (%1): feche-a e converta de novo.").arg(shown.join(QStringLiteral("; ")))
        : QStringLiteral("O banco está em uso por %1 outras conexões (%2): feche-as e converta de novo.")
              .arg(others.size())
              .arg(shown.join(QStringLiteral("; ")));
}

QString Survey::confirmText(const QString &because)
{
    return QStringLiteral("Este banco parece já ter sido convertido (%1). Converter de novo reescreve todos os códigos "
                          "outra vez.")
        .arg(because);
}
