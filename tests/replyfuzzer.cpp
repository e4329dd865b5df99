#include "tests/replyfuzzer.h"

#include <iterator>

ReplyFuzzer::ReplyFuzzer(quint32 seed, QStringList knownKeys)
    : random(seed)
    , keys(std::move(knownKeys))
{
}

ScriptedResponse ReplyFuzzer::response(int status, const QByteArray &body)
{
    ScriptedResponse response = ScriptedResponse::json(status, body);
    if (status == 0)
        response.framing = ScriptedResponse::Framing::Drop;
    else if (status < 200 || status == 204 || status == 304)
        response.framing = ScriptedResponse::Framing::CloseDelimited;
    return response;
}

int ReplyFuzzer::nextStatus()
{
    const int pick = random.bounded(10);
    if (pick < 4)
        return 200;
    if (pick == 4)
        return 201;
    if (pick == 5)
        return 0; // connection dropped without an answer
    return random.bounded(100, 600);
}

QByteArray ReplyFuzzer::nextBody()
{
    switch (random.bounded(9)) {
    case 0:
        return randomBytes(2048);
    case 1:
        return invalidUtf8();
    case 2:
        return deeplyNested();
    case 3:
        return truncated(arrayOfObjects());
    case 4:
        return longString();
    case 5:
        return typedValue(0);
    case 6:
        return objectWithKnownKeys(0);
    default:
        return arrayOfObjects();
    }
}

QByteArray ReplyFuzzer::hugeBody()
{
    QByteArray body = "[";
    const QByteArray item = objectWithKnownKeys(2);
    while (body.size() < 10 * 1024 * 1024)
        body += item + ',';
    body.chop(1);
    if (random.bounded(2))
        body += ']';
    return body;
}

QByteArray ReplyFuzzer::randomBytes(int maxLength)
{
    QByteArray bytes(random.bounded(maxLength + 1), Qt::Uninitialized);
    for (char &c : bytes)
        c = static_cast<char>(random.bounded(256));
    return bytes;
}

QByteArray ReplyFuzzer::invalidUtf8()
{
    static const char *const pieces[]
        = {"\xc3", "\xff\xfe", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82", "\xc0\xaf", "\x80"};
    QByteArray body = "{\"detail\":\"";
    for (int i = 0; i < 300; ++i)
        body += (i % 3) ? QByteArray("á") : QByteArray(pieces[random.bounded(7)]);
    return body + "\"}";
}

QByteArray ReplyFuzzer::deeplyNested()
{
    const int depth = random.bounded(1, 20000);
    const bool objects = random.bounded(2);
    QByteArray body;
    for (int i = 0; i < depth; ++i)
        body += objects ? "{\"images\":" : "[";
    body += "1";
    for (int i = 0; i < depth; ++i)
        body += objects ? "}" : "]";
    return body;
}

QByteArray ReplyFuzzer::typedValue(int depth)
{
    switch (random.bounded(depth > 3 ? 7 : 9)) {
    case 0:
        return "null";
    case 1:
        return random.bounded(2) ? "true" : "false";
    case 2:
        return QByteArray::number(random.generateDouble() * 2e12 - 1e12, 'g', 17);
    case 3:
        return QByteArray::number(random.bounded(qint64(-3000000000LL), qint64(3000000000LL)));
    case 4:
        if (wellFormed)
            return stringValue();
        return "\"" + QByteArray::number(random.bounded(1000)) + "\"";
    case 5:
        return "\"<b>x</b>&amp;\\u202e\\u0000é\"";
    case 6:
        // The JSON parser refuses a number that overflows a double.
        return wellFormed ? QByteArrayLiteral("1e308") : QByteArrayLiteral("1e400");
    case 7:
        return objectWithKnownKeys(depth + 1);
    default:
        return "[" + typedValue(depth + 1) + "," + typedValue(depth + 1) + "]";
    }
}

QByteArray ReplyFuzzer::objectWithKnownKeys(int depth)
{
    QByteArray body = "{";
    for (const QString &key : keys) {
        if (random.bounded(5) == 0)
            continue;
        body += "\"" + key.toUtf8() + "\":" + typedValue(depth + 1) + ",";
    }
    if (body.endsWith(','))
        body.chop(1);
    return body + "}";
}

QByteArray ReplyFuzzer::arrayOfObjects()
{
    QByteArray body = "[";
    const int count = random.bounded(20);
    for (int i = 0; i < count; ++i)
        body += (random.bounded(4) ? objectWithKnownKeys(1) : typedValue(2)) + ",";
    if (body.endsWith(','))
        body.chop(1);
    return body + "]";
}

QByteArray ReplyFuzzer::truncated(const QByteArray &json)
{
    return json.left(random.bounded(json.size() + 1));
}

QByteArray ReplyFuzzer::longString()
{
    return "{\"detail\":\"" + QByteArray(random.bounded(1, 1 << 20), 'x') + "\",\"access_token\":\""
        + QByteArray(random.bounded(1, 1 << 16), 't') + "\"}";
}

QByteArray ReplyFuzzer::nextWellFormedBody()
{
    wellFormed = true;
    QByteArray body;
    switch (random.bounded(4)) {
    case 0:
        body = objectWithKnownKeys(0);
        break;
    case 1:
        body = typedValue(0);
        break;
    default:
        body = arrayOfObjects();
    }
    wellFormed = false;
    return body;
}

// A JSON string: markup, right-to-left and control characters, lone
// surrogates and plain letters, from empty to about 100,000 characters.
QByteArray ReplyFuzzer::stringValue()
{
    static const char *const pieces[] = {"<b>x</b>", "&amp;", "\\u202e", "\\u0000", "\\ud800",
        "\\n", "\\\"", "\xd7\x90", "\xd8\xb9", "a", "7", ".", " ", "\xc3\xa9"};
    const int count = random.bounded(10) == 0 ? random.bounded(20000) : random.bounded(12);
    QByteArray text = "\"";
    for (int i = 0; i < count; ++i)
        text += pieces[random.bounded(int(std::size(pieces)))];
    return text + "\"";
}
