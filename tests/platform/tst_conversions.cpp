#include "platform/numbertext.h"
#include "platform/variantint16.h"
#include "tests/support/failures.h"
#include "tests/support/tables.h"
#include "tests/testlocale.h"

#include <functional>

namespace {

// A row's outcome under each of its locales ("both": the decimal comma as written, then the
// decimal point with every ',' read as '.'), against its last field.
void underItsLocales(QByteArrayList row, const std::function<QString(const QByteArrayList &)> &outcome)
{
    const QByteArray locales = row.takeFirst();
    for (const char *locale : {"virgule", "point"}) {
        if (locales != "both" && locales != locale)
            continue;
        const ScopedLocale scoped(QString::fromLatin1(locale));
        QByteArrayList fields = row;
        if (locales == "both" && locale[0] == 'p')
            std::for_each(fields.begin(), fields.end(), [](QByteArray &field) { field.replace(',', '.'); });
        const QString expected = QString::fromUtf8(fields.takeLast());
        QCOMPARE(outcome(fields), expected);
    }
}

} // namespace

// The tables of tests/data/conversions.tsv.
class TestConversions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numberText_data() { addTableRows("conversions.tsv", "numberText"); }
    void numberText()
    {
        QFETCH(QByteArrayList, row);
        underItsLocales(row, [](const QByteArrayList &value) {
            QString text;
            const QString failure = failureOf([&] { text = ::numberText(value[0].toDouble()); });
            return failure.isEmpty() ? text : failure;
        });
    }
    void toInt16_data() { addTableRows("conversions.tsv", "toInt16"); }
    void toInt16()
    {
        QFETCH(QByteArrayList, row);
        underItsLocales(row, [](const QByteArrayList &typeAndValue) {
            QVariant value;
            if (typeAndValue[0] != "none"
                && !(value = QString::fromUtf8(typeAndValue[1])).convert(QMetaType::fromName(typeAndValue[0])))
                return QStringLiteral("no such value");
            qint16 result = 0;
            const QString failure = failureOf([&] { result = variantToInt16(value); });
            return failure.isEmpty() ? QString::number(result) : failure;
        });
    }
};

QTEST_GUILESS_MAIN(TestConversions)
#include "tst_conversions.moc"
