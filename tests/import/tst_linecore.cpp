#include "import/extrairechamp.h"
#include "import/myval.h"
#include "tests/support/failures.h"
#include "tests/support/tables.h"
#include "tests/testlocale.h"

#include <QTest>

class TestLineCore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extraireChamp_data();
    void extraireChamp();
    void myVal_data();
    void myVal();
};

namespace {
const QString kOverflow = QStringLiteral("6 Dépassement de capacité");
}

void TestLineCore::extraireChamp_data()
{
    QTest::addColumn<QString>("ligne");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("sep");
    QTest::addColumn<QString>("expected"); // the field, or the failure

    for (const QList<QByteArray> &row : tableRows(QStringLiteral(":/extrairechamp.txt")))
        QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << row[2].toInt() << QString::fromUtf8(row[3])
                              << QString::fromUtf8(row[4]);
    // Positions are 16-bit.
    const QString x32766(32766, QLatin1Char('x'));
    const QString x32767(32767, QLatin1Char('x'));
    QTest::newRow("separator at 32,767") << x32766 + ";" << 1 << ";" << x32766;
    QTest::newRow("separator at 32,768") << x32767 + ";" << 1 << ";" << kOverflow;
    QTest::newRow("second search would start at 32,768") << x32766 + ";5;" << 2 << ";" << kOverflow;
    QTest::newRow("32,766 characters without separator") << x32766 << 2 << ";" << "";
    QTest::newRow("long line without separator") << QString(40000, QLatin1Char('x')) << 1 << ";" << "";
    QTest::newRow("separator at 32,766, next search finds nothing") << x32766.mid(1) + ";5" << 2 << ";" << "";
    QTest::newRow("late second separator") << "A;" + x32767 + ";" << 1 << ";" << "A";
    QTest::newRow("late second separator overflows field 2") << "A;" + x32767 + ";" << 2 << ";" << kOverflow;
}

void TestLineCore::extraireChamp()
{
    QFETCH(QString, ligne);
    QFETCH(int, n);
    QFETCH(QString, sep);
    QFETCH(QString, expected);
    QString field;
    const QString failure = failureOf([&] { field = ExtraireChamp(ligne, qint16(n), sep); });
    QCOMPARE(failure.isEmpty() ? field : failure, expected);
}

void TestLineCore::myVal_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<std::optional<QString>>("chaine");
    QTest::addColumn<QString>("expected"); // the number, <null>, or the failure

    for (const QList<QByteArray> &row : tableRows(QStringLiteral(":/myval.txt"))) {
        for (const QByteArray &locale : row[1].split(' '))
            QTest::addRow("%s, %s", locale.constData(), row[0].constData())
                << QString::fromLatin1(locale) << (row[2].isNull() ? std::nullopt : std::optional(QString::fromUtf8(row[2])))
                << (row[3].isNull() ? QStringLiteral("<null>") : QString::fromUtf8(row[3]));
    }
    // 400 digits are more than a double holds; a fraction that small is simply zero.
    QTest::newRow("400 digits") << "point" << std::optional(QString(400, QLatin1Char('9'))) << kOverflow;
    QTest::newRow("300 digits") << "point" << std::optional(QString(300, QLatin1Char('9'))) << "1e300";
    QTest::newRow("tiny fraction") << "virgule" << std::optional("0," + QString(400, QLatin1Char('0')) + "1") << "0";
}

void TestLineCore::myVal()
{
    QFETCH(QString, locale);
    QFETCH(std::optional<QString>, chaine);
    QFETCH(QString, expected);
    const ScopedLocale scoped(locale);
    std::optional<double> value;
    const QString failure = failureOf([&] { value = MyVal(chaine); });
    bool isNumber = false;
    const double number = expected.toDouble(&isNumber);
    if (!failure.isEmpty() || !value || !isNumber)
        QCOMPARE(failure.isEmpty() ? (value ? QString::number(*value) : QStringLiteral("<null>")) : failure, expected);
    else
        QCOMPARE(*value, number);
}

QTEST_GUILESS_MAIN(TestLineCore)
#include "tst_linecore.moc"
