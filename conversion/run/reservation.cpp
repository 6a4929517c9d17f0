// Having the database to itself, and giving it back: the door closed on everyone else with the
// record of whose reservation it is, opened again at the run's end; the attachments of the run
// besides its first.

#include "conversion.h"

#include "conversion_p.h"
#include "filenames.h"
#include "location.h"
#include "guard.h"
#include "sqlconnection.h"
#include "survey.h"

#include <QScopeGuard>

#include <sys/stat.h>

using conversionrun::fileIdentity;
using conversionrun::Stopped;

std::optional<std::pair<quint64, quint64>> conversionrun::fileIdentity(const QString &file)
{
    struct stat st {};
    if (!file.startsWith(u'/') || ::stat(filenames::encode(file).constData(), &st) != 0)
        return std::nullopt;
    return std::pair<quint64, quint64>{quint64(st.st_dev), quint64(st.st_ino)};
}

void Conversion::reserve()
{
    enterOrStop(Stage::Reserve);
    // A single-user shutdown that an earlier version's run cut short left: brought back online
    // at this run's end.
    reserved_ = shutDown_;
    // Before anything else changes, the door is closed to everyone but this program, the
    // administrator's programs included, with the record of whose reservation it is: a run cut
    // short from here on leaves the database to nobody until it is made good.
    ledger_.describe(marks::withLine(marks::without(ledger_.now().description, marks::Kind::Reserved),
                                     marks::reserved(QDateTime::currentDateTime())));
    ledger_.closeDoor(path_);
    ledger_.commit();
    reservedHere_ = true;
    // Whoever came in before it closed is still at work: looked at once more.
    if (const QList<OtherAttachment> others = Survey::others(db_); !others.isEmpty())
        throw Stopped({}, Survey::othersText(others));
    // The survey's transaction ended with the door's commit, and this one began next: nobody
    // wrote between the survey and here.
    surveyStands_ = surveyedAlone_ && surveyTransaction_ > 0 && currentTransaction() == surveyTransaction_ + 1;
}

void Conversion::release()
{
    // The database given back: a shutdown an earlier version's run left brought online, the
    // door opened and the reservation's record gone (when the final commit did not take them),
    // and let go of.
    stage_ = Stage::Release;
    if (reserved_) {
        // The server brings a database online only with nobody attached, this run included.
        letGo();
        db_.services(attachedAs_)->bringOnline(attachedAs_);
        reserved_ = false;
        shutDown_ = false;
        attachAgain();
    }
    if (reservedHere_ && db_.Connected()
        && (ledger_.now().doorClosed || marks::has(ledger_.now().description, marks::Kind::Reserved))) {
        ledger_.describe(marks::without(ledger_.now().description, marks::Kind::Reserved));
        ledger_.openDoor();
        ledger_.commit();
    }
    letGo();
}

void Conversion::attachAgain()
{
    letGo();
    db_.Params.setValue(QStringLiteral("DataBase"), attachedAs_);
    auto back = qScopeGuard([this] { db_.Params.setValue(QStringLiteral("DataBase"), path_); });
    db_.setConnected(true);
}

void Conversion::letGo()
{
    db_.setConnected(false);
    ledger_.connectionGone();
}

bool Conversion::fileStillThere() const
{
    return !file_ || fileIdentity(DatabaseLocation(attachedAs_).localFile()) == file_;
}
