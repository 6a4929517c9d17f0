#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Reescreve os códigos de produto (CODPROD) de um banco Firebird, com os gatilhos do banco desativados "
        "durante a conversão.\nSem opções, abre a janela do programa, com ARQUIVO no campo do caminho."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("convert"),
                      QStringLiteral("Converte os ARQUIVOs, um após o outro, sem abrir a janela: o andamento vai para a "
                                     "saída de erros e a mensagem final de cada arquivo para a saída padrão. Termina com "
                                     "0 quando todos foram convertidos, 1 quando algum falhou, 2 para um erro de uso.")});
    parser.addPositionalArgument(QStringLiteral("ARQUIVO"), QStringLiteral("Banco de dados Firebird (.fb)."),
                                 QStringLiteral("[ARQUIVO...]"));
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    describe(parser);
    CommandLine line;
    if (!parser.parse(QStringList{QStringLiteral("conversor")} + arguments)) {
        line.mode = Usage;
        line.text = parser.errorText();
        return line;
    }
    line.files = parser.positionalArguments();
    if (parser.isSet(QStringLiteral("help"))) {
        line.mode = Help;
        line.text = parser.helpText();
    } else if (parser.isSet(QStringLiteral("version"))) {
        line.mode = Version;
    } else if (parser.isSet(QStringLiteral("convert"))) {
        line.mode = Convert;
        if (line.files.isEmpty()) {
            line.mode = Usage;
            line.text = QStringLiteral("Nenhum arquivo a converter.");
        }
    } else if (line.files.size() > 1) {
        line.mode = Usage;
        line.text = QStringLiteral("A janela abre um arquivo só; para converter vários, use --convert.");
    }
    return line;
}
