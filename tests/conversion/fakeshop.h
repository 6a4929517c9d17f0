#pragma once
// A shop's database as the recording fake layer answers for it: relations with a CODPROD
// column (stored padded to 31 characters, as Firebird does), and the user triggers.

#include "conversion.h"
#include "fakelayer.h"

#include <QMap>
#include <QRegularExpression>

namespace fakeshop {

// Behind the fake there is no file to copy.
inline const Conversion::Options noCopy{false, false};

inline QString padded(const QString &name)
{
    return name.leftJustified(31, u' ');
}

struct Shop {
    QStringList tables;  // tables with a stored CODPROD, in the discovery's order
    QStringList views;   // relations that are views with a CODPROD column
    QMap<QString, int> triggers; // name: 1 when the user has it switched off
    QString description;         // the database's own; null: none
    bool unconverted = true;     // its codes have 8 characters
    bool externalSubstr = true;  // its SUBSTR the classic external one (else a PSQL function)
};

// The descriptions a run wrote for what ("DATABASE", "TRIGGER LOG_AU"), as text, in order; a
// null text for NULL.
inline QStringList writtenDescriptions(const QStringList &statements, const QString &what = QStringLiteral("DATABASE"))
{
    const QRegularExpression comment(QStringLiteral("^COMMENT ON %1 IS (x'([0-9A-F]*)'|NULL)").arg(QRegularExpression::escape(what)));
    QStringList written;
    for (const QString &s : statements)
        if (const QRegularExpressionMatch m = comment.match(s); m.hasMatch())
            written << (m.captured(1) == QLatin1String("NULL") ? QString()
                                                                : QString::fromUtf8(QByteArray::fromHex(m.captured(2).toLatin1())));
    return written;
}

inline void script(FakeLayer &layer, const Shop &shop)
{
    QStringList all = shop.tables + shop.views;
    all.sort();
    FakeLayer::Result discovery{{QStringLiteral("TABELA")}, {}};
    FakeLayer::Result columns{{"RELATION", "FIELD", "IS_VIEW", "COMPUTED", "LENGTH", "FIXED", "CHARSET", "COLLATION",
                               "DOMAIN_CHECK", "TYPE", "SCALE"},
                              {}};
    for (const QString &n : std::as_const(all)) {
        discovery.rows << QVariantList{padded(n)};
        columns.rows << QVariantList{padded(n), padded(QStringLiteral("CODPROD")), int(shop.views.contains(n)), 0, 10, 0,
                                     QStringLiteral("NONE"), QStringLiteral("NONE"), QVariant(), 37, 0};
    }
    layer.addResult(QStringLiteral("select count(*)"), {{QStringLiteral("COUNT")}, {{int(all.size())}}});
    layer.addResult(QStringLiteral("From rdb$relation_fields"), discovery);
    layer.addResult(QStringLiteral("join rdb$relations r"), columns);
    FakeLayer::Result triggers{{"NAME", "INACTIVE", "RELATION", "DESCRIPTION"}, {}};
    for (auto it = shop.triggers.cbegin(); it != shop.triggers.cend(); ++it)
        triggers.rows << QVariantList{padded(it.key()), it.value(), padded(all.value(0)), QVariant()};
    layer.addResult(QStringLiteral("from rdb$triggers"), triggers);
    layer.addResult(QStringLiteral("from rdb$database"), {{QStringLiteral("DESCRIPTION")}, {{shop.description.isNull() ? QVariant() : QVariant(shop.description)}}});
    // Each table's count of its codes: one code of 8 characters where the shop is not converted.
    layer.addResult(QStringLiteral("as sem_lugar"), {{"R", "N", "DE_8", "REESCRITO", "SEM_LUGAR", "C", "NOVO"},
                                                      {{1, 1, int(shop.unconverted), 0, 0, shop.unconverted ? "12345678" : "1234",
                                                        shop.unconverted ? "230456" : "2304"}}});
    if (shop.externalSubstr)
        layer.addResult(QStringLiteral("RDB$MODULE_NAME is not null"), {{QStringLiteral("CONSTANT")}, {{1}}});
}

} // namespace fakeshop
