#include "fbservices.h"

#include "errors.h"
#include "fbhandles.h"
#include "filenames.h"
#include "location.h"

#include <ibase.h>

#include <chrono>
#include <exception>
#include <thread>

namespace fb {

namespace {

// Clumplets of a service's start block: strings with a 2-byte length, numbers of 4 bytes, both
// least significant byte first.
void addText(std::string &spb, char tag, const QString &text, bool fileName = true)
{
    const QByteArray bytes = fileName ? filenames::encode(text) : text.toUtf8();
    spb += tag;
    spb += char(bytes.size() & 0xff);
    spb += char((bytes.size() >> 8) & 0xff);
    spb.append(bytes.constData(), std::size_t(bytes.size()));
}

void addNumber(std::string &spb, char tag, quint32 value)
{
    spb += tag;
    for (int i = 0; i < 4; ++i)
        spb += char((value >> (8 * i)) & 0xff);
}

void addByte(std::string &spb, char tag, char value)
{
    spb += tag;
    spb += value;
}

// The login block: version 2, a 1-byte length for each string.
void addLogin(std::string &spb, char tag, const QString &text)
{
    // As an attachment's: never cut (fboptions.cpp).
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > 255)
        throw TDBXError(dbx::VendorError, QStringLiteral("%1 tem %2 bytes, e o Firebird aceita no máximo 255.")
                                               .arg(tag == char(isc_spb_password) ? QStringLiteral("A senha")
                                                                                  : QStringLiteral("O nome do usuário"))
                                               .arg(bytes.size()));
    spb += tag;
    spb += char(bytes.size());
    spb.append(bytes.constData(), std::size_t(bytes.size()));
}

} // namespace

QString Services::managerFor(const QString &database)
{
    return DatabaseLocation(database).serviceManager();
}

QString Services::pathOnServer(const QString &database)
{
    return DatabaseLocation(database).serverFile();
}

Services::Services(const FbApi &api, const ConnectOptions &options) : api_(api), options_(options)
{
    std::string spb{char(isc_spb_version), char(isc_spb_current_version)};
    addLogin(spb, isc_spb_user_name, options.user);
    addLogin(spb, isc_spb_password, options.password);
    spb += char(isc_spb_connect_timeout);
    spb += char(4);
    for (int i = 0; i < 4; ++i)
        spb += char((options.connectTimeout >> (8 * i)) & 0xff);
    Status status(api_);
    service_ = api_.dispatcher->attachServiceManager(&status, managerFor(options.database).toUtf8().constData(),
                                                     unsigned(spb.size()), reinterpret_cast<const unsigned char *>(spb.data()));
    status.check();
}

Services::~Services()
{
    Status status(api_);
    service_->detach(&status);
    if (status.failed())
        service_->release();
}

void Services::run(const std::string &spb)
{
    // An action the engine refused has said so before its manager is free again, and the
    // engine says nothing of when that is (it answers no more queries on it): the next action
    // is refused as busy for a moment, and tried again until it is taken.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        Status status(api_);
        service_->start(&status, unsigned(spb.size()), reinterpret_cast<const unsigned char *>(spb.data()));
        try {
            status.check();
            break;
        } catch (const TDBXError &e) {
            if (!e.hasEngineCode(isc_svc_in_use) || std::chrono::steady_clock::now() > until)
                throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The action's output, a line at a time, until the engine says there is no more: only then
    // has it finished, and a failure of the action comes with the last answer.
    const unsigned char items[] = {isc_info_svc_line};
    unsigned char buffer[4096];
    std::exception_ptr failed;
    try {
        for (;;) {
            Status query(api_);
            service_->query(&query, 0, nullptr, sizeof items, items, sizeof buffer, buffer);
            query.check();
            if (buffer[0] != isc_info_svc_line)
                break;
            const unsigned length = unsigned(buffer[1]) | unsigned(buffer[2]) << 8;
            if (length == 0 && buffer[3] == isc_info_end)
                break;
        }
    } catch (const TDBXError &) {
        failed = std::current_exception();
    }
    // The output can end before the action does (an action without output ends it at once, a
    // refused one says so first): the next action on this manager would be refused as busy, and
    // a file it holds (a page copy's attachment) still held. Done when the engine says it no
    // longer runs; a refusal is then the action's outcome.
    const unsigned char running[] = {isc_info_svc_running};
    for (;;) {
        Status query(api_);
        service_->query(&query, 0, nullptr, sizeof running, running, sizeof buffer, buffer);
        if (failed && query.failed())
            break;
        query.check();
        // The item, then a number of 4 bytes, least significant first.
        if (buffer[0] != isc_info_svc_running || (buffer[1] | buffer[2] | buffer[3] | buffer[4]) == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (failed)
        std::rethrow_exception(failed);
}

void Services::shutDown(const QString &database, bool full)
{
    std::string spb(1, char(isc_action_svc_properties));
    addText(spb, char(isc_spb_dbname), pathOnServer(database));
    addByte(spb, char(isc_spb_prp_shutdown_mode), char(full ? isc_spb_prp_sm_full : isc_spb_prp_sm_single));
    // Others are not waited for, nor thrown out: their being there refuses the shutdown.
    addNumber(spb, char(isc_spb_prp_attachments_shutdown), 0);
    run(spb);
}

void Services::bringOnline(const QString &database)
{
    std::string spb(1, char(isc_action_svc_properties));
    addText(spb, char(isc_spb_dbname), pathOnServer(database));
    addByte(spb, char(isc_spb_prp_online_mode), char(isc_spb_prp_sm_normal));
    run(spb);
}

void Services::backUp(const QString &database, const QString &file)
{
    std::string spb(1, char(isc_action_svc_backup));
    addText(spb, char(isc_spb_dbname), pathOnServer(database));
    addText(spb, char(isc_spb_bkp_file), file);
    // Past the door a run closes (its trigger on connect), as the run itself gets in.
    addNumber(spb, char(isc_spb_options), isc_spb_bkp_no_triggers);
    run(spb);
}

void Services::restore(const QString &file, const QString &database)
{
    std::string spb(1, char(isc_action_svc_restore));
    addText(spb, char(isc_spb_bkp_file), file);
    addText(spb, char(isc_spb_dbname), pathOnServer(database));
    addNumber(spb, char(isc_spb_options), isc_spb_res_replace);
    run(spb);
}

void Services::copyPages(const QString &database, const QString &file)
{
    std::string spb(1, char(isc_action_svc_nbak));
    addText(spb, char(isc_spb_dbname), pathOnServer(database));
    addText(spb, char(isc_spb_nbk_file), file);
    // Level 0: every page, a database image of its own; nothing before it to add to.
    addNumber(spb, char(isc_spb_nbk_level), 0);
    // Past the door a run closes, as its logical backup gets in.
    addNumber(spb, char(isc_spb_options), isc_spb_nbk_no_triggers);
    run(spb);
}

void Services::putPagesBack(const QString &file, const QString &database)
{
    std::string spb(1, char(isc_action_svc_nrest));
    addText(spb, char(isc_spb_dbname), pathOnServer(database));
    addText(spb, char(isc_spb_nbk_file), file);
    run(spb);
}

void Services::drop(const QString &database)
{
    // Not an action of the service manager: an attachment of the same login, on the same
    // server, that deletes its database.
    ConnectOptions options = options_;
    options.database = database;
    options.databaseTriggers = false;
    options.engineOnly = false;
    Attachment attachment(api_);
    attachment.attach(filenames::encode(database), options.dpb(database));
    attachment.drop();
}

} // namespace fb
