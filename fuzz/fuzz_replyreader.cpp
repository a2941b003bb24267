// SPDX-License-Identifier: MIT
// libFuzzer target for the reply reader: every input is read as each success record and as an error
// body. Beyond "no crash", it fails on
//  - a record or error message read from bytes that are not one JSON text (as Boost.JSON judges
//    it), and
//  - an outcome that changes with the bytes after the body: each input is read from a tight copy
//    (the reader pads it itself) and in place from buffers whose spare capacity holds other bytes.
#include "service/ReplyReader.h"

#include <QStringList>

#include <boost/json/monotonic_resource.hpp>
#include <boost/json/parse.hpp>
#include <simdjson.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <tuple>

namespace {

[[noreturn]] void finding(const char *what, const QString &detail)
{
    std::fprintf(stderr, "\nfuzz_replyreader: %s\n  %s\n", what, qPrintable(detail));
    std::abort();
}

// ---- Outcomes as text, so that reads of the same body can be compared -----------------------------

QString dump(const QString &text)
{
    return text;
}
QString dump(double number)
{
    return QString::number(number, 'g', 17);
}
QString dump(bool flag)
{
    return flag ? QStringLiteral("true") : QStringLiteral("false");
}
QString dump(const QDateTime &when)
{
    return QString::number(when.toMSecsSinceEpoch());
}
template<class T> QString dump(const QList<T> &list);

// Every field of the record, through the table the reader reads it by.
template<ReplyReader::Record R> QString dump(const R &record)
{
    QStringList fields;
    std::apply([&](const auto &...field) { (fields.append(dump(record.*field.member)), ...); },
               ReplyReader::Fields<R>::list);
    return QLatin1Char('{') + fields.join(QLatin1Char('|')) + QLatin1Char('}');
}

template<class T> QString dump(const QList<T> &list)
{
    QString text = QStringLiteral("[");
    for (const T &item : list)
        text += dump(item);
    return text + QLatin1Char(']');
}

// "read ..." when the body reads as T, "failed ..." with the error's kind, path and detail otherwise.
template<class T> QString outcome(const QByteArray &body)
{
    try {
        return QStringLiteral("read ") + dump(ReplyReader::read<T>(body));
    } catch (const DecodingError &error) {
        return QStringLiteral("failed %1 at %2: %3")
            .arg(int(error.kind()))
            .arg(error.codingPath(), error.detail());
    }
}

QString errorOutcome(const QByteArray &body)
{
    const std::optional<QString> message = ReplyReader::readErrorMessage(body);
    return message ? QStringLiteral("read ") + *message : QStringLiteral("failed");
}

// ---- The same body in different buffers ------------------------------------------------------------

// Bytes that continue a cut-off token if the reader looked past the end: digits and exponents,
// closing brackets and quotes, and a copy of the body itself.
QByteArray spareBytes(int kind, const QByteArray &body)
{
    const qsizetype room = qsizetype(simdjson::SIMDJSON_PADDING) + 16;
    switch (kind) {
    case 0:
        return QByteArray("1e5").repeated(room);
    case 1:
        return QByteArray("\"]}ue").repeated(room);
    default:
        return body.repeated(body.isEmpty() ? 0 : room / body.size() + 2) + QByteArray(room, ' ');
    }
}

// The body with room after it that holds spare's bytes, over the terminating NUL too.
QByteArray roomy(const QByteArray &body, const QByteArray &spare)
{
    QByteArray buffer;
    buffer.reserve(body.size() + spare.size());
    buffer.append(body);
    if (buffer.capacity() < body.size() + spare.size())
        finding("the spare room was not kept", QString());
    std::memcpy(buffer.data() + body.size(), spare.constData(), std::size_t(spare.size()));
    return buffer;
}

struct Bodies
{
    explicit Bodies(const QByteArray &body)
    {
        QByteArray tight(body.constData(), body.size());
        tight.squeeze();
        list[0] = tight;
        for (int kind = 0; kind < 3; ++kind)
            list[std::size_t(kind) + 1] = roomy(body, spareBytes(kind, body));
    }
    std::array<QByteArray, 4> list;
};

void compare(const char *record, const Bodies &bodies, std::optional<bool> isJson,
             QString (*read)(const QByteArray &))
{
    const QString first = read(bodies.list[0]);
    if (isJson == false && first.startsWith(QLatin1String("read ")))
        finding("a body that is not JSON reads", QLatin1String(record) + QLatin1String(": ") + first);
    for (std::size_t i = 1; i < bodies.list.size(); ++i) {
        const QString other = read(bodies.list[i]);
        if (other != first)
            finding("the outcome depends on the bytes after the body",
                    QLatin1String(record) + QLatin1String(": ") + first + QLatin1String(" / ") + other);
    }
}

// Whether the bytes are exactly one JSON text, by Boost.JSON; nullopt when it cannot tell: it refuses
// exponents beyond its int range, which are JSON (the reader takes them in fields it skips).
std::optional<bool> isJsonText(const QByteArray &body)
{
    boost::json::monotonic_resource memory; // frees the whole tree at once, without recursing
    boost::json::parse_options options;
    options.max_depth = std::size_t(-1); // not its default of 32 levels
    boost::system::error_code error;
    boost::json::parse(std::string_view(body.constData(), std::size_t(body.size())), error, &memory, options);
    if (error == boost::json::error::exponent_overflow)
        return std::nullopt;
    return !error;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<bool> isJson = isJsonText(body);

    const Bodies bodies(body);
#define QUORL_COMPARE_RECORD(R) compare(#R, bodies, isJson, outcome<R>);
    QUORL_REPLY_RECORDS(QUORL_COMPARE_RECORD)
#undef QUORL_COMPARE_RECORD
    compare("error body", bodies, isJson, errorOutcome);
    return 0;
}
