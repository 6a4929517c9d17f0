// What a converted run leaves: its mark read back from the file the user chose, its list of
// codes, its box.

#include "conversion.h"

#include "filenames.h"
#include "location.h"
#include "keptfiles.h"
#include "queries.h"
#include "sqlconnection.h"
#include "statements.h"

#include <QDir>

bool Conversion::readBack()
{
    // The file at the path the user chose must be the one converted: one swapped or deleted
    // during the run took the conversion with it. Its mark is read through a new attachment
    // to that path, let go of at once.
    stage_ = Stage::Release;
    bool there = false;
    try {
        letGo();
        db_.setConnected(true);
        const marks::Description d = queries::readBytes(db_, statements::databaseDescription()).value(0).value(0);
        letGo();
        there = d && d->contains(convertedLine_);
    } catch (const std::exception &) {
    }
    if (there)
        return true;
    outcome_ = Outcome::Failed;
    failure_ = QStringLiteral("O arquivo %1 foi trocado ou apagado durante a conversão: a conversão ficou gravada no "
                              "arquivo que estava lá antes, e este não foi convertido. Confira o arquivo e converta de "
                              "novo.").arg(path_);
    tell(MessageKind::Error, failure_);
    view_.setProgress(0);
    view_.setStatus(QStringLiteral("Nada foi alterado."));
    return false;
}

void Conversion::writeCodeList()
{
    // The database is converted whatever becomes of the list: a file that cannot be written is
    // said in the box.
    if (!list_)
        return;
    const QString local = DatabaseLocation(attachedAs_).localFile();
    listed_ = list_->write(CodeList::pathsFor(local.isEmpty() ? path_ : local,
                                              QDir::homePath(), runTime()));
}

void Conversion::reportSuccess()
{
    QString said = QStringLiteral("Dados atualizados com sucesso! ");
    if (!copy_.isEmpty())
        said += QStringLiteral("\rCópia de segurança: ") + copy_;
    // The spreadsheet first: the file a clerk opens.
    if (!listed_.sheet.isEmpty())
        said += QStringLiteral("\rCódigos antigos e novos: ") + listed_.sheet;
    if (!listed_.csv.isEmpty())
        said += (listed_.sheet.isEmpty() ? QStringLiteral("\rCódigos antigos e novos: ") : QStringLiteral("\rA mesma lista, para importar: "))
            + listed_.csv;
    if (!listed_.problem.isEmpty())
        said += u'\r' + listed_.problem;
    if (!copyNote_.isEmpty())
        said += u'\r' + copyNote_;
    if (!madeGood_.isEmpty())
        said += QStringLiteral("\rAntes: ") + madeGood_.join(QStringLiteral("; ")) + u'.';
    if (!releaseProblem_.isEmpty())
        said += u'\r' + releaseProblem_;
    view_.showMessage(MessageKind::Information, said);
    view_.setProgress(0);
    view_.setStatus(keptfiles::doneStatus(copy_, listed_.sheet.isEmpty() ? listed_.csv : listed_.sheet));
}
