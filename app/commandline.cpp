#include "commandline.h"

#include "console.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QList>

#include <cstdlib>

namespace {

// An option that runs without the window on the FILEs given: each is a mode of its own.
struct FileMode {
    CommandLine::Mode mode;
    QString option;
    QString description;
    QString noFiles; // the problem when no FILE is given
};

const QList<FileMode> &fileModes()
{
    static const QList<FileMode> modes{
        {CommandLine::Convert, QStringLiteral("convert"),
         QStringLiteral("Converte os ARQUIVOs, um após o outro, sem abrir a janela: o resultado de cada arquivo vai "
                        "para a saída padrão, as falhas e o andamento para a saída de erros. Termina com 0 quando "
                        "todos foram convertidos, 1 quando algum falhou, 2 para um erro de uso."),
         QStringLiteral("nenhum arquivo a converter")},
        {CommandLine::Check, QStringLiteral("check"),
         QStringLiteral("Examina os ARQUIVOs sem alterar nada (sem gatilhos, sem registro, sem cópia): o que cada "
                        "tabela teria convertido, o que impediria a conversão e os avisos. Termina com 0 quando a "
                        "conversão pode ser feita e nada indica que já foi feita, 1 quando ela falharia ou o banco "
                        "parece já convertido, 2 para um erro de uso."),
         QStringLiteral("nenhum arquivo a examinar")},
    };
    return modes;
}

const QString seeHelp = QStringLiteral("; veja conversor --help");

void declareOptions(QCommandLineParser &parser, int columns)
{
    // -platform, -style...: Qt's options are written with one dash, and so may this program's be.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(console::wrapped(
        QStringLiteral("Reescreve os códigos de produto (CODPROD) de um banco Firebird, com os gatilhos do banco "
                       "desativados durante a conversão.\nSem opções, abre a janela do programa, com ARQUIVO no "
                       "campo do caminho."),
        columns));
    parser.addHelpOption();
    parser.addVersionOption();
    for (const FileMode &mode : fileModes())
        parser.addOption({mode.option, mode.description});
    parser.addOption({QStringLiteral("no-copy"),
                      QStringLiteral("Com --convert: não faz a cópia de segurança que cada conversão faz antes de alterar "
                                     "o banco (ARQUIVO.copia-AAAAMMDD-HHMMSS.fb, ao lado dele).")});
    parser.addOption({QStringLiteral("again"),
                      QStringLiteral("Com --convert: converte também um banco que parece já ter sido convertido "
                                     "(sem ela, ele é recusado).")});
    parser.addPositionalArgument(QStringLiteral("ARQUIVO"), QStringLiteral("Banco de dados Firebird (.fb)."),
                                 QStringLiteral("[ARQUIVO...]"));
}

// Qt's "Unexpected value after '--convert'." as the middle of a line.
QString clause(QString sentence)
{
    if (sentence.endsWith(u'.'))
        sentence.chop(1);
    if (!sentence.isEmpty())
        sentence[0] = sentence[0].toLower();
    return sentence;
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    declareOptions(parser, 80);
    CommandLine line;
    const bool parsed = parser.parse(QStringList{QStringLiteral("conversor")} + arguments);
    line.files = parser.positionalArguments();
    line.unknown = parser.unknownOptionNames();

    line.noCopy = parser.isSet(QStringLiteral("no-copy"));
    line.again = parser.isSet(QStringLiteral("again"));
    const FileMode *fileMode = nullptr;
    int fileModesSet = 0;
    for (const FileMode &mode : fileModes())
        fileModesSet += parser.isSet(mode.option) ? 1 : 0;
    if (parser.isSet(QStringLiteral("help-all"))) {
        line.mode = HelpAll;
    } else if (parser.isSet(QStringLiteral("help"))) {
        line.mode = Help;
    } else if (parser.isSet(QStringLiteral("version"))) {
        line.mode = Version;
    } else {
        for (const FileMode &mode : fileModes()) {
            if (parser.isSet(mode.option)) {
                fileMode = &mode;
                line.mode = mode.mode;
                break;
            }
        }
    }

    if (!line.unknown.isEmpty())
        line.problem = QStringLiteral("opção desconhecida '%1'").arg(line.unknown.first()) + seeHelp;
    else if (!parsed)
        line.problem = clause(parser.errorText()) + seeHelp;
    else if (fileModesSet > 1)
        line.problem = QStringLiteral("--convert e --check não vão juntas") + seeHelp;
    else if (fileMode && line.files.isEmpty())
        line.problem = fileMode->noFiles + seeHelp;
    else if ((line.noCopy || line.again) && line.mode != Convert)
        line.problem = QStringLiteral("%1 só vale com --convert").arg(line.noCopy ? QStringLiteral("--no-copy")
                                                                                 : QStringLiteral("--again"))
                       + seeHelp;
    else if (line.mode == Window && line.files.size() > 1)
        line.problem = QStringLiteral("a janela abre um arquivo só; para converter vários, use --convert");
    return line;
}

QString CommandLine::fullPath(const QString &file)
{
    const QFileInfo info(file);
    return info.exists() ? info.absoluteFilePath() : file;
}

QString CommandLine::helpText(int columns)
{
    QCommandLineParser parser;
    declareOptions(parser, columns);
    return parser.helpText();
}

void CommandLine::showHelpAll(int columns)
{
    QCommandLineParser parser;
    declareOptions(parser, columns);
    // Only the parser lists what the application object takes; it prints and ends the process.
    parser.process(QStringList{QCoreApplication::arguments().value(0), QStringLiteral("--help-all")});
    std::exit(0);
}
