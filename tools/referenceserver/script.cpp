#include "script.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace {

[[noreturn]] void fail(const QString &message)
{
    throw ScriptError{message};
}

template <typename Int> Int integer(const QJsonValue &value, const QString &where)
{
    const double number = value.toDouble();
    if (!value.isDouble() || std::trunc(number) != number || number < double(std::numeric_limits<Int>::min())
        || number > double(std::numeric_limits<Int>::max()))
        fail(where + QStringLiteral(" : entier hors de portée ou absent"));
    return static_cast<Int>(number);
}

QMetaType basicMetaType(char type)
{
    switch (type) {
    case 'b':
        return QMetaType::fromType<bool>();
    case 's':
        return QMetaType::fromType<QString>();
    case 'd':
        return QMetaType::fromType<double>();
    case 'y':
        return QMetaType::fromType<uchar>();
    case 'n':
        return QMetaType::fromType<short>();
    case 'q':
        return QMetaType::fromType<ushort>();
    case 'i':
        return QMetaType::fromType<int>();
    case 'u':
        return QMetaType::fromType<uint>();
    case 'x':
        return QMetaType::fromType<qlonglong>();
    case 't':
        return QMetaType::fromType<qulonglong>();
    default:
        return {};
    }
}

// One value of a basic D-Bus type, from its JSON form.
QVariant basicValue(char type, const QJsonValue &value, const QString &where)
{
    switch (type) {
    case 'b':
        if (!value.isBool())
            fail(where + QStringLiteral(" : booléen attendu"));
        return value.toBool();
    case 's':
        if (!value.isString())
            fail(where + QStringLiteral(" : texte attendu"));
        return value.toString();
    case 'd':
        if (!value.isDouble())
            fail(where + QStringLiteral(" : nombre attendu"));
        return value.toDouble();
    case 'y':
        return QVariant::fromValue(integer<uchar>(value, where));
    case 'n':
        return QVariant::fromValue(integer<short>(value, where));
    case 'q':
        return QVariant::fromValue(integer<ushort>(value, where));
    case 'i':
        return QVariant::fromValue(integer<int>(value, where));
    case 'u':
        return QVariant::fromValue(integer<uint>(value, where));
    case 'x':
        return QVariant::fromValue(integer<qlonglong>(value, where));
    case 't':
        return QVariant::fromValue(integer<qulonglong>(value, where));
    default:
        fail(where + QStringLiteral(" : type D-Bus inconnu '%1'").arg(QLatin1Char(type)));
    }
}

void appendTo(QDBusArgument &array, const QVariant &element)
{
    switch (element.metaType().id()) {
    case QMetaType::Bool:
        array << element.toBool();
        break;
    case QMetaType::QString:
        array << element.toString();
        break;
    case QMetaType::Double:
        array << element.toDouble();
        break;
    case QMetaType::UChar:
        array << element.value<uchar>();
        break;
    case QMetaType::Short:
        array << element.value<short>();
        break;
    case QMetaType::UShort:
        array << element.value<ushort>();
        break;
    case QMetaType::Int:
        array << element.toInt();
        break;
    case QMetaType::UInt:
        array << element.toUInt();
        break;
    case QMetaType::LongLong:
        array << element.toLongLong();
        break;
    case QMetaType::ULongLong:
        array << element.toULongLong();
        break;
    default:
        break;
    }
}

// {"type": "i", "value": 1}; "none" is no value (an empty array of variants); "a" followed by
// a basic type is an array of it, which has no place in a result unless it is empty.
QVariant resultValue(const QJsonValue &json, const QString &where)
{
    const QJsonObject object = json.toObject();
    const QString type = object.value(QStringLiteral("type")).toString();
    const QJsonValue value = object.value(QStringLiteral("value"));
    if (!json.isObject() || type.isEmpty())
        fail(where + QStringLiteral(" : {\"type\": ..., \"value\": ...} attendu"));
    if (type == QLatin1String("none")) {
        QDBusArgument array;
        array.beginArray(QMetaType::fromType<QDBusVariant>());
        array.endArray();
        return QVariant::fromValue(array);
    }
    if (type.size() == 1)
        return basicValue(type[0].toLatin1(), value, where);
    if (type.size() == 2 && type[0] == QLatin1Char('a')) {
        if (!value.isArray())
            fail(where + QStringLiteral(" : tableau attendu"));
        const char elementType = type[1].toLatin1();
        if (!basicMetaType(elementType).isValid())
            fail(where + QStringLiteral(" : type D-Bus inconnu \"%1\"").arg(type));
        QDBusArgument array;
        array.beginArray(basicMetaType(elementType));
        for (const QJsonValue &element : value.toArray())
            appendTo(array, basicValue(elementType, element, where));
        array.endArray();
        return QVariant::fromValue(array);
    }
    fail(where + QStringLiteral(" : type D-Bus inconnu \"%1\"").arg(type));
}

} // namespace

Script Script::parse(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        fail(QStringLiteral("script illisible : %1 (position %2)").arg(error.errorString()).arg(error.offset));
    const QJsonObject root = document.object();
    if (!document.isObject() || !root.value(QStringLiteral("rules")).isArray() || root.size() != 1)
        fail(QStringLiteral("script : un objet {\"rules\": [...]} est attendu"));

    static const QStringList known = {QStringLiteral("method"), QStringLiteral("call"),      QStringLiteral("result"),
                                      QStringLiteral("error"),  QStringLiteral("errorName"), QStringLiteral("delayMs"),
                                      QStringLiteral("out"),    QStringLiteral("malformed")};
    Script script;
    const QJsonArray rules = root.value(QStringLiteral("rules")).toArray();
    for (qsizetype i = 0; i < rules.size(); ++i) {
        const QString where = QStringLiteral("script, règle %1").arg(i + 1);
        const QJsonObject object = rules[i].toObject();
        if (!rules[i].isObject())
            fail(where + QStringLiteral(" : objet attendu"));
        for (const QString &key : object.keys()) {
            if (!known.contains(key))
                fail(where + QStringLiteral(" : clé inconnue \"%1\"").arg(key));
        }
        Rule rule;
        rule.method = object.value(QStringLiteral("method")).toString();
        if (rule.method.isEmpty())
            fail(where + QStringLiteral(" : \"method\" manque"));
        if (object.contains(QStringLiteral("call"))) {
            rule.call = integer<int>(object.value(QStringLiteral("call")), where + QStringLiteral(", \"call\""));
            if (rule.call < 1)
                fail(where + QStringLiteral(", \"call\" : les appels se comptent à partir de 1"));
        }
        if (object.contains(QStringLiteral("result")))
            rule.result = resultValue(object.value(QStringLiteral("result")), where + QStringLiteral(", \"result\""));
        if (object.contains(QStringLiteral("error"))) {
            if (!object.value(QStringLiteral("error")).isString())
                fail(where + QStringLiteral(", \"error\" : texte attendu"));
            rule.error = object.value(QStringLiteral("error")).toString();
        }
        rule.errorName = object.value(QStringLiteral("errorName")).toString(defaultErrorName());
        if (object.contains(QStringLiteral("delayMs"))) {
            rule.delayMs =
                integer<int>(object.value(QStringLiteral("delayMs")), where + QStringLiteral(", \"delayMs\""));
            if (*rule.delayMs < 0)
                fail(where + QStringLiteral(", \"delayMs\" : durée négative"));
        }
        if (object.contains(QStringLiteral("out"))) {
            const QJsonValue out = object.value(QStringLiteral("out"));
            if (!out.isArray())
                fail(where + QStringLiteral(", \"out\" : tableau attendu"));
            for (const QJsonValue &value : out.toArray()) {
                if (value.isNull())
                    rule.out.emplace_back();
                else if (value.isString())
                    rule.out.emplace_back(value.toString());
                else
                    fail(where + QStringLiteral(", \"out\" : texte ou null attendu"));
            }
        }
        if (object.contains(QStringLiteral("malformed"))) {
            if (!object.value(QStringLiteral("malformed")).isBool())
                fail(where + QStringLiteral(", \"malformed\" : booléen attendu"));
            rule.malformed = object.value(QStringLiteral("malformed")).toBool();
        }
        script.m_rules.push_back(std::move(rule));
    }
    return script;
}

Script Script::load(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("script illisible : %1 : %2").arg(path, file.errorString()));
    return parse(file.readAll());
}

Answer Script::answer(const QString &method, int callNumber, const QStringList &arguments) const
{
    Answer answer;
    answer.result = true;
    answer.arguments = arguments;
    for (const Rule &rule : m_rules) {
        if (rule.method != method || (rule.call != 0 && rule.call != callNumber))
            continue;
        if (rule.result)
            answer.result = *rule.result;
        if (rule.error) {
            answer.errorName = rule.errorName;
            answer.errorMessage = *rule.error;
        }
        if (rule.delayMs)
            answer.delayMs = *rule.delayMs;
        for (std::size_t i = 0; i < rule.out.size() && qsizetype(i) < answer.arguments.size(); ++i) {
            if (rule.out[i])
                answer.arguments[qsizetype(i)] = *rule.out[i];
        }
        if (rule.malformed)
            answer.malformed = *rule.malformed;
    }
    return answer;
}
