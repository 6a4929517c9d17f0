#include "guard.h"

#include "queries.h"
#include "statements.h"

namespace guard {

const QString triggerName = QStringLiteral("CONVERSOR$PORTA");
const QString exceptionName = QStringLiteral("CONVERSOR$FECHADO");

QString refusal(const QString &file)
{
    // The engine keeps at most 1,021 bytes of an exception's text: a long path gives its name.
    const auto text = [](const QString &f) {
        return QStringLiteral("O banco %1 está reservado pelo Conversor de dados para uma conversão, e ninguém mais "
                              "entra nele até ela terminar. Se nenhuma conversão estiver em andamento, devolva o banco "
                              "aos programas da loja com: conversor --check %1")
            .arg(f);
    };
    QString said = text(file);
    if (said.toUtf8().size() > 1000)
        said = text(file.section(u'/', -1).left(120));
    return said;
}

bool closed(TSQLConnection &db)
{
    return queries::any(db, statements::triggerNamed(triggerName));
}

void close(TSQLQuery &query, const QString &file)
{
    queries::execute(query, statements::createException(exceptionName, refusal(file)));
    queries::execute(query, statements::refuseOnConnect(triggerName, exceptionName));
}

void reword(TSQLQuery &query, const QString &text)
{
    QString said = text;
    while (said.toUtf8().size() > 1000)
        said.chop(1);
    queries::execute(query, statements::alterException(exceptionName, said));
}

void open(TSQLQuery &query)
{
    queries::execute(query, statements::dropTrigger(triggerName));
    queries::execute(query, statements::dropException(exceptionName));
}

} // namespace guard
