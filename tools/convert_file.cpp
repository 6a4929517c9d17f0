// Converts one database file through the real run with a window that draws nothing:
//   convert_file FILE
// Prints the final box ("Information: ..." or "Error: ..."), the number of tables the gauge
// counted, and the peak resident memory in KiB; exits 0 on success. Used by the benchmark and
// by the tests that run the tool as another user, kill it, or reach a server.
#include "conversion.h"
#include "engineenv.h"
#include "sqlconnection.h"

#include <QCoreApplication>

#include <cstdio>
#include <sys/resource.h>

namespace {

class QuietView final : public ConversionView {
public:
    QString path;
    QString box;
    bool failed = false;
    int tables = 0;
    QString pathText() const override { return path; }
    void showMessage(MessageKind kind, const QString &text) override
    {
        failed = kind == MessageKind::Error;
        box = (failed ? QStringLiteral("Error: ") : QStringLiteral("Information: ")) + text;
    }
    void setGaugeMax(int maximum) override { tables = maximum; }
    void setStatus(const QString &) override {}
    void repaintNow() override {}
    void addProgress(int) override {}
    void setProgress(int) override {}
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    engine::prepare(QCoreApplication::applicationDirPath());
    if (argc != 2) {
        std::fprintf(stderr, "usage: convert_file FILE\n");
        return 2;
    }
    QuietView view;
    view.path = QString::fromLocal8Bit(argv[1]);
    {
        TSQLConnection db;
        Conversion(db, view).run();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s\ntables %d\npeak_kib %ld\n", qPrintable(view.box), view.tables, usage.ru_maxrss);
    return view.failed || view.box.isEmpty() ? 1 : 0;
}
