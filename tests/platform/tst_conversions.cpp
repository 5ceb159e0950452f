#include "platform/failure.h"
#include "platform/numbertext.h"
#include "platform/variantint16.h"
#include "tests/testlocale.h"

#include <QTest>

#include <limits>

class TestConversions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numberText_data();
    void numberText();
    void numberTextRefusesNonFinite();
    void toInt16_data();
    void toInt16();
};

void TestConversions::numberText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected"); // written with ',' as the decimal separator

    struct Row {
        const char *name;
        double value;
        const char *text;
    };
    const Row rows[] = {
        {"whole", 12.0, "12"},
        {"fraction", 12.5, "12,5"},
        {"zero", 0.0, "0"},
        {"negative zero", -0.0, "0"},
        {"negative", -3.0, "-3"},
        {"negative fraction", -0.25, "-0,25"},
        {"no trailing zeros", 1.5, "1,5"},
        {"no grouping", 1234567.0, "1234567"},
        {"fifteen significant digits", 0.1 + 0.2, "0,3"},
        {"rounded to fifteen digits", 2.0 / 3.0, "0,666666666666667"},
        {"fifteen digit whole", 123456789012345.0, "123456789012345"},
        {"largest plain", 999999999999999.0, "999999999999999"},
        {"sixteen digits round up", 9999999999999999.0, "1E+16"},
        {"exponent 15", 1e15, "1E+15"},
        {"exponent 15 with fraction", 1.5e15, "1,5E+15"},
        {"large rounded", 123456789012345678.0, "1,23456789012346E+17"},
        {"huge", 1e300, "1E+300"},
        {"smallest plain", 0.00001, "0,00001"},
        {"small plain", 0.000012345, "0,000012345"},
        {"exponent -6", 0.000001, "1E-06"},
        {"exponent -7", 1.5e-7, "1,5E-07"},
        {"negative small", -1.5e-7, "-1,5E-07"},
        {"tiny", 5e-324, "4,94065645841247E-324"},
        {"rounding carries into exponent", 9.9999999999999995e14, "1E+15"},
        {"half", 0.5, "0,5"},
        {"16-bit limit", 32767.0, "32767"},
    };
    for (const char *locale : {"virgule", "point"}) {
        for (const Row &row : rows)
            QTest::addRow("%s, %s", locale, row.name) << QString::fromLatin1(locale) << row.value << QString::fromLatin1(row.text);
    }
}

void TestConversions::numberText()
{
    QFETCH(QString, locale);
    QFETCH(double, value);
    QFETCH(QString, expected);
    const ScopedLocale scoped(locale);
    if (locale == QLatin1String("point"))
        expected.replace(QLatin1Char(','), QLatin1Char('.'));
    QCOMPARE(::numberText(value), expected);
}

void TestConversions::numberTextRefusesNonFinite()
{
    for (double value : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()}) {
        try {
            ::numberText(value);
            QFAIL("no failure for a value without text");
        } catch (const Failure &failure) {
            QCOMPARE(failure.number(), int(Failure::Overflow));
        }
    }
}

void TestConversions::toInt16_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("failure"); // 0 when the conversion succeeds

    const int none = 0;
    const int overflow = Failure::Overflow;
    const int mismatch = Failure::TypeMismatch;
    for (const char *l : {"virgule", "point"}) {
        const QString locale = QString::fromLatin1(l);
        const bool comma = locale == QLatin1String("virgule");
        auto regional = [comma](const char *text) {
            QString s = QString::fromLatin1(text);
            return comma ? s : s.replace(QLatin1Char(','), QLatin1Char('.'));
        };
        auto row = [&](const char *name) -> QTestData & { return QTest::addRow("%s, %s", l, name) << locale; };

        row("no value") << QVariant() << 0 << none;
        row("true") << QVariant(true) << -1 << none;
        row("false") << QVariant(false) << 0 << none;
        row("int") << QVariant(12) << 12 << none;
        row("int max") << QVariant(32767) << 32767 << none;
        row("int min") << QVariant(-32768) << -32768 << none;
        row("int above") << QVariant(32768) << 0 << overflow;
        row("int below") << QVariant(-32769) << 0 << overflow;
        row("40000") << QVariant(40000) << 0 << overflow;
        row("byte") << QVariant::fromValue<uchar>(200) << 200 << none;
        row("short") << QVariant::fromValue<short>(-5) << -5 << none;
        row("ushort above") << QVariant::fromValue<ushort>(40000) << 0 << overflow;
        row("uint") << QVariant::fromValue<uint>(7) << 7 << none;
        row("int64 huge") << QVariant::fromValue<qlonglong>(1LL << 40) << 0 << overflow;
        row("uint64 huge") << QVariant::fromValue<qulonglong>(~0ULL) << 0 << overflow;
        row("double half to even down") << QVariant(2.5) << 2 << none;
        row("double half to even up") << QVariant(3.5) << 4 << none;
        row("double negative half") << QVariant(-2.5) << -2 << none;
        row("double below half") << QVariant(2.4999) << 2 << none;
        row("double rounds into range") << QVariant(32767.4) << 32767 << none;
        row("double rounds out of range") << QVariant(32767.5) << 0 << overflow;
        row("double min edge") << QVariant(-32768.5) << -32768 << none;
        row("double NaN") << QVariant(std::numeric_limits<double>::quiet_NaN()) << 0 << overflow;
        row("text number") << QVariant(QStringLiteral("12")) << 12 << none;
        row("text with blanks") << QVariant(QStringLiteral("  -7 ")) << -7 << none;
        row("text regional fraction") << QVariant(regional("2,5")) << 2 << none;
        row("text regional fraction up") << QVariant(regional("3,5")) << 4 << none;
        row("text exponent") << QVariant(QStringLiteral("1E3")) << 1000 << none;
        row("text negative exponent") << QVariant(QStringLiteral("15e-1")) << 2 << none;
        row("text plus sign") << QVariant(QStringLiteral("+3")) << 3 << none;
        row("text abc") << QVariant(QStringLiteral("abc")) << 0 << mismatch;
        row("text empty") << QVariant(QString()) << 0 << mismatch;
        row("text blanks only") << QVariant(QStringLiteral("   ")) << 0 << mismatch;
        row("text sign only") << QVariant(QStringLiteral("-")) << 0 << mismatch;
        row("text exponent without digits") << QVariant(QStringLiteral("1E")) << 0 << mismatch;
        row("text trailing letters") << QVariant(QStringLiteral("12a")) << 0 << mismatch;
        row("text grouping") << QVariant(QStringLiteral("1 000")) << 0 << mismatch;
        row("text too large") << QVariant(QStringLiteral("40000")) << 0 << overflow;
        row("text far too large") << QVariant(QStringLiteral("1E400")) << 0 << overflow;
        row("text far too small") << QVariant(QStringLiteral("1E-400")) << 0 << none;
        // An exponent at the edge of 64 bits must not wrap the magnitude round to "tiny".
        row("text largest exponent") << QVariant(regional("919999,108e9223372036854775807")) << 0 << overflow;
        row("text smallest exponent") << QVariant(regional("919999,108e-9223372036854775808")) << 0 << none;
        row("text two separators") << QVariant(regional("1,2,3")) << 0 << mismatch;
        // The separator of the other convention is no separator here.
        row("text foreign separator") << QVariant(comma ? QStringLiteral("2.5") : QStringLiteral("2,5")) << 0 << mismatch;
        row("list") << QVariant(QStringList{QStringLiteral("1")}) << 0 << mismatch;
    }
}

void TestConversions::toInt16()
{
    QFETCH(QString, locale);
    QFETCH(QVariant, value);
    QFETCH(int, expected);
    QFETCH(int, failure);
    const ScopedLocale scoped(locale);
    try {
        const qint16 actual = variantToInt16(value);
        QVERIFY2(failure == 0, "a failure was expected");
        QCOMPARE(int(actual), expected);
    } catch (const Failure &f) {
        QVERIFY2(failure != 0, qPrintable(f.description()));
        QCOMPARE(f.number(), failure);
        QCOMPARE(f.description(), failure == Failure::Overflow ? QStringLiteral("Dépassement de capacité")
                                                              : QStringLiteral("Incompatibilité de type"));
    }
}

QTEST_GUILESS_MAIN(TestConversions)
#include "tst_conversions.moc"
