#include "commandline.h"

#include "console.h"
#include "filenames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <QDir>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A mode that runs on the FILEs given, without the window: one entry each.
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
         QStringLiteral("Examina os ARQUIVOs sem alterar nada (não desativa gatilhos, não grava no banco o registro "
                        "de uma conversão, não faz cópia): o que cada "
                        "tabela teria convertido, o que impediria a conversão e os avisos. Termina com 0 quando a "
                        "conversão pode ser feita e nada indica que já foi feita, 1 quando ela falharia ou o banco "
                        "parece já convertido, 2 para um erro de uso."),
         QStringLiteral("nenhum arquivo a examinar")},
        {CommandLine::Restore, QStringLiteral("restore"),
         QStringLiteral("O caminho de volta: devolve cada cópia de segurança dada (NOME.copia-AAAAMMDD-HHMMSS.fb, ou "
                        ".nbk e .fbk, as do servidor) ao lugar do seu banco, pelo mesmo caminho em que foi feita, enquanto "
                        "ninguém usa o banco; o banco convertido fica guardado ao lado dele "
                        "(NOME.convertido-AAAAMMDD-HHMMSS). Termina com 0 quando todas foram devolvidas, 1 quando "
                        "alguma não foi, 2 para um erro de uso."),
         QStringLiteral("nenhuma cópia a devolver")},
        {CommandLine::Unlock, QStringLiteral("unlock"),
         QStringLiteral("Libera os ARQUIVOs que uma conversão interrompida ou outro programa deixou sob a trava de "
                        "cópia do Firebird (ALTER DATABASE END BACKUP) ou fechados (shutdown), enquanto ninguém os "
                        "usa; o que uma conversão interrompida deixou é desfeito. Termina com 0 quando todos foram "
                        "liberados ou não precisavam, 1 quando algum não foi, 2 para um erro de uso."),
         QStringLiteral("nenhum arquivo a liberar")},
    };
    return modes;
}

// An option that goes with some file modes, and is refused with any other: one entry each.
// A switch sets a flag; an option with a value (valueName) sets a text.
struct ModeOption {
    QString option;
    QList<CommandLine::Mode> with;
    QString description; // after "Com --MODE: "
    bool CommandLine::*set = nullptr;
    QString CommandLine::*value = nullptr;
    QString valueName = {};
};

const QList<CommandLine::Mode> onDatabases{CommandLine::Convert, CommandLine::Check, CommandLine::Restore, CommandLine::Unlock};

const QList<ModeOption> &modeOptions()
{
    static const QList<ModeOption> options{
        {QStringLiteral("no-copy"), {CommandLine::Convert},
         QStringLiteral("não faz a cópia de segurança que cada conversão faz antes de alterar o banco "
                        "(NOME.copia-AAAAMMDD-HHMMSS.fb, ao lado do arquivo)."),
         &CommandLine::noCopy},
        {QStringLiteral("again"), {CommandLine::Convert},
         QStringLiteral("converte também um banco que parece já ter sido convertido (sem ela, ele é recusado)."),
         &CommandLine::again},
        {QStringLiteral("de-para"), {CommandLine::Check},
         QStringLiteral("grava também a lista dos códigos antigos e novos que a conversão faria "
                        "(NOME.previa-de-para-AAAAMMDD-HHMMSS.xlsx, a planilha, e .csv, para importar, ao lado do arquivo), "
                        "sem alterar o banco."),
         &CommandLine::codeList},
        {QStringLiteral("user"), onDatabases,
         QStringLiteral("o usuário com que entrar no servidor do Firebird quando ele recusa o do programa (SYSDBA) e "
                        "o de ISC_USER e ISC_PASSWORD, com a senha de --password-file ou, num terminal, pedida sem "
                        "eco. Sem --user, o usuário é o recusado."),
         nullptr, &CommandLine::user, QStringLiteral("NOME")},
        {QStringLiteral("password-file"), onDatabases,
         QStringLiteral("a senha para o servidor que recusa a do programa é a primeira linha de ARQUIVO (a senha "
                        "nunca vai na própria linha de comando)."),
         nullptr, &CommandLine::passwordFile, QStringLiteral("ARQUIVO")},
    };
    return options;
}

QString optionOf(CommandLine::Mode mode)
{
    for (const FileMode &fileMode : fileModes()) {
        if (fileMode.mode == mode)
            return QStringLiteral("--") + fileMode.option;
    }
    return {};
}

// "--convert", "--convert ou --check", "--convert, --check ou --restore"...
QString optionsOf(const QList<CommandLine::Mode> &modes)
{
    QStringList options;
    for (CommandLine::Mode mode : modes)
        options << optionOf(mode);
    const QString last = options.takeLast();
    return options.isEmpty() ? last : options.join(QStringLiteral(", ")) + QStringLiteral(" ou ") + last;
}

// The first line of a file, without its line end; why not, in one line.
QString firstLine(const QString &path, std::optional<QString> &line)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("não foi possível ler a senha em '%1': %2").arg(path, file.errorString());
    QByteArray bytes = file.readLine();
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("não foi possível ler a senha em '%1': %2").arg(path, file.errorString());
    while (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    if (bytes.isEmpty())
        return QStringLiteral("o arquivo de senha '%1' não tem senha na primeira linha").arg(path);
    line = QString::fromLocal8Bit(bytes);
    bytes.fill('\0');
    return {};
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
    for (const ModeOption &option : modeOptions())
        parser.addOption({option.option, QStringLiteral("Com %1: ").arg(optionsOf(option.with)) + option.description,
                          option.valueName});
    // The X11 platform's own options (Qt's, as -platform is): only the window's application object,
    // on the display, takes them; the one that needs no display leaves them to this parser.
    struct PlatformOption {
        const char *name;
        bool takesValue;
    };
    for (const PlatformOption &x11 : {PlatformOption{"display", true}, PlatformOption{"name", true},
                                      PlatformOption{"visual", true}, PlatformOption{"nograb", false},
                                      PlatformOption{"dograb", false}}) {
        QCommandLineOption option(QString::fromLatin1(x11.name));
        if (x11.takesValue)
            option.setValueName(QStringLiteral("valor"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    parser.addPositionalArgument(QStringLiteral("ARQUIVO"), QStringLiteral("Banco de dados Firebird (.fb)."),
                                 QStringLiteral("[ARQUIVO...]"));
}

// An unknown option as it was typed: Qt's parser names "-x", "--x" and "--x=1" all "x".
QString asTyped(const QString &name, const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        if (argument == QStringLiteral("--"))
            break;
        QString option = argument.section(u'=', 0, 0);
        if (option.startsWith(u'-') && QStringView(option).mid(option.startsWith(QStringLiteral("--")) ? 2 : 1) == name)
            return option;
    }
    return name;
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
    const QStringList unknown = parser.unknownOptionNames();

    QStringList fileModesSet;
    const FileMode *fileMode = nullptr;
    for (const FileMode &mode : fileModes()) {
        if (parser.isSet(mode.option)) {
            fileModesSet << QStringLiteral("--") + mode.option;
            if (!fileMode)
                fileMode = &mode;
        }
    }
    if (parser.isSet(QStringLiteral("help-all")))
        line.mode = HelpAll;
    else if (parser.isSet(QStringLiteral("help")))
        line.mode = Help;
    else if (parser.isSet(QStringLiteral("version")))
        line.mode = Version;
    else if (fileMode)
        line.mode = fileMode->mode;
    const ModeOption *misplaced = nullptr;
    const ModeOption *empty = nullptr;
    for (const ModeOption &option : modeOptions()) {
        const bool set = parser.isSet(option.option);
        if (option.set)
            line.*option.set = set;
        if (option.value) {
            line.*option.value = parser.value(option.option);
            if (set && (line.*option.value).isEmpty() && !empty)
                empty = &option;
        }
        if (set && !option.with.contains(line.mode) && !misplaced)
            misplaced = &option;
    }

    if (!unknown.isEmpty())
        line.problem = QStringLiteral("opção desconhecida '%1'").arg(asTyped(unknown.first(), arguments)) + seeHelp;
    else if (!parsed)
        line.problem = clause(parser.errorText()) + seeHelp;
    else if (fileModesSet.size() > 1)
        line.problem = QStringLiteral("%1 e %2 não podem ser usadas juntas").arg(fileModesSet.at(0), fileModesSet.at(1))
                       + seeHelp;
    else if (fileMode && line.files.isEmpty())
        line.problem = fileMode->noFiles + seeHelp;
    else if (misplaced)
        line.problem = QStringLiteral("--%1 só pode ser usada com %2").arg(misplaced->option, optionsOf(misplaced->with))
                       + seeHelp;
    else if (empty)
        line.problem = QStringLiteral("--%1 pede %2").arg(empty->option, empty->valueName) + seeHelp;
    // Firebird 3's names are 31 bytes at most; its server does not refuse a longer one, it stops.
    else if (line.user.toUtf8().size() > 31)
        line.problem = QStringLiteral("--user: o nome do usuário tem mais de 31 caracteres") + seeHelp;
    else if (!line.passwordFile.isEmpty())
        line.problem = firstLine(line.passwordFile, line.password);
    else if (line.mode == Window && line.files.size() > 1)
        line.problem = QStringLiteral("a janela abre apenas um arquivo; para converter vários, use --convert");
    return line;
}

void CommandLine::keepBytes(int argc, char **argv)
{
    QList<bool> used(argc, false);
    for (QString &file : files)
        for (int i = 1; i < argc; ++i)
            if (!used[i] && QString::fromLocal8Bit(argv[i]) == file) {
                used[i] = true;
                file = filenames::decode(QByteArray(argv[i]));
                break;
            }
}

QString CommandLine::fullPath(const QString &file)
{
    // A name the system has (its bytes as they are), made absolute; "host:path" as given.
    struct stat st {};
    if (file.startsWith(u'/') || ::stat(filenames::encode(file).constData(), &st) != 0)
        return file;
    char *cwd = ::getcwd(nullptr, 0);
    const QString folder = cwd ? filenames::decode(QByteArray(cwd)) : QString();
    std::free(cwd);
    return QDir::cleanPath(folder + u'/' + file);
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
    std::exit(0); // NOLINT(concurrency-mt-unsafe): help is printed before any thread of the program's starts
}
