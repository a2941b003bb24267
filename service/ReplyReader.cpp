// SPDX-License-Identifier: MIT
#include "service/ReplyReader.h"

#include "service/JsonReading.h"

namespace ReplyReader {
namespace detail {

namespace {

// simdjson reads up to SIMDJSON_PADDING bytes past the end; a body without that much spare
// capacity is copied once.
class PaddedBody
{
public:
    explicit PaddedBody(const QByteArray &body)
    {
        const auto size = std::size_t(body.size());
        if (std::size_t(body.capacity()) >= size + simdjson::SIMDJSON_PADDING) {
            m_view = simdjson::padded_string_view(body.constData(), size, std::size_t(body.capacity()));
        } else {
            m_copy = simdjson::padded_string(body.constData(), size);
            m_view = m_copy;
        }
    }
    [[nodiscard]] simdjson::padded_string_view view() const { return m_view; }

private:
    simdjson::padded_string m_copy;
    simdjson::padded_string_view m_view;
};

simdjson::ondemand::parser &threadParser()
{
    thread_local simdjson::ondemand::parser parser;
    return parser;
}

// Reads the body as one JSON object through f; throws DecodingError.
template<class F> void readObject(const QByteArray &body, F &&f)
{
    try {
        const PaddedBody padded(body);
        simdjson::ondemand::document doc;
        const ReplyScope scope;
        check(threadParser().iterate(padded.view()).get(doc), nullptr);
        json_type type;
        check(doc.type().get(type), nullptr);
        if (type != json_type::object) {
            // Text that merely starts like a value ("nope") is not JSON at all. Judged on a copy
            // with padding of its own: how a lone value is read can depend on the bytes after the
            // body (" null(" passed for null when the room after it held certain bytes).
            const simdjson::padded_string alone(body.constData(), std::size_t(body.size()));
            check(threadParser().iterate(alone).get(doc), nullptr);
            bool valid = true;
            bool isNull = false;
            if (type == json_type::null)
                valid = !doc.is_null().get(isNull) && isNull;
            else if (type == json_type::boolean)
                valid = !doc.get_bool().error();
            else if (type == json_type::string)
                valid = !doc.get_string().error();
            if (!valid)
                malformed(nullptr);
            fail(DecodingError::Kind::TypeMismatch, nullptr,
                 QStringLiteral("the reply is not one JSON object"));
        }
        simdjson::ondemand::object object;
        check(doc.get_object().get(object), nullptr);
        f(object);
        // Nothing may follow the object.
        const char *rest = nullptr;
        if (doc.current_location().get(rest) != simdjson::OUT_OF_BOUNDS)
            malformed(nullptr);
    } catch (const MalformedJson &error) {
        throw DecodingError(DecodingError::Kind::DataCorrupted, error.path, error.detail);
    }
}

} // namespace
} // namespace detail

template<ReplyRecord T> T read(const QByteArray &body)
{
    T record;
    detail::readObject(
        body, [&](simdjson::ondemand::object &object) { detail::readRecord(object, nullptr, record); });
    return record;
}

#define QUORL_READ_RECORD(R) template R read<R>(const QByteArray &);
QUORL_REPLY_RECORDS(QUORL_READ_RECORD)
#undef QUORL_READ_RECORD

std::optional<QString> readErrorMessage(const QByteArray &body)
{
    std::optional<QString> message;
    try {
        detail::readObject(body, [&](simdjson::ondemand::object &object) {
            for (auto entry : object) {
                simdjson::ondemand::field field;
                detail::check(std::move(entry).get(field), nullptr);
                std::string_view key;
                detail::check(field.unescaped_key().get(key), nullptr);
                const detail::Path here{nullptr, key};
                if (key != "error") {
                    detail::skipValue(field.value(), &here);
                    continue;
                }
                message.reset(); // the last "error" counts
                QString text;
                detail::readValue(field.value(), &here, text);
                message = std::move(text);
            }
        });
    } catch (const DecodingError &) {
        return std::nullopt;
    }
    return message;
}

void releaseMemory()
{
    detail::threadParser() = simdjson::ondemand::parser();
}

} // namespace ReplyReader
