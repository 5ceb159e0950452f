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
    void extraireChamp_data() { addTableRows("extrairechamp.txt"); }
    void extraireChamp()
    {
        QFETCH(QByteArrayList, row); // the line, the field's number, the separator, the field or the failure
        QString field;
        const QString failure = failureOf([&] {
            field = ExtraireChamp(QString::fromUtf8(row[0]), qint16(row[1].toInt()), QString::fromUtf8(row[2]));
        });
        QCOMPARE(failure.isEmpty() ? field : failure, QString::fromUtf8(row[3]));
    }
    void myVal_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<std::optional<QString>>("chaine");
        QTest::addColumn<QString>("expected"); // the number, <null>, or the failure

        for (const QList<QByteArray> &row : tableRows(QStringLiteral(":/myval.txt"))) {
            for (const QByteArray &locale : row[1].split(' '))
                QTest::addRow("%s, %s", locale.constData(), row[0].constData())
                    << QString::fromLatin1(locale)
                    << (row[2].isNull() ? std::nullopt : std::optional(QString::fromUtf8(row[2])))
                    << (row[3].isNull() ? QStringLiteral("<null>") : QString::fromUtf8(row[3]));
        }
    }
    void myVal()
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
            QCOMPARE(failure.isEmpty() ? (value ? QString::number(*value) : QStringLiteral("<null>")) : failure,
                     expected);
        else
            QCOMPARE(*value, number);
    }
};

QTEST_GUILESS_MAIN(TestLineCore)
#include "tst_linecore.moc"
