// Any bytes as what a client sends on one connection, fed as the connection reads them: in one
// piece and in pieces of a size the input chooses. The reader must come to the same requests
// either way, and refuse either way or neither (a limit holds however the bytes arrive; which of
// two faults in one head is named first may differ), never read past what it was given, and keep
// every head within its limits.
#include "remote/HttpRequestHead.h"

#include <cstdint>
#include <cstdlib>

namespace {

struct Outcome
{
    QList<QByteArray> requests; // method, target and body length of each
    int refusal = 0;
    bool sameAs(const Outcome& other) const
    {
        return requests == other.requests && (refusal == 0) == (other.refusal == 0);
    }
};

// The connection's framing: a head, then its body skipped, then the next head.
Outcome frame(QByteArrayView input, qsizetype piece)
{
    Outcome outcome;
    QByteArray buffer;
    qsizetype fed = 0;
    qint64 bodyLeft = 0;
    while (true) {
        if (bodyLeft > 0 && !buffer.isEmpty()) {
            const qint64 take = std::min<qint64>(bodyLeft, buffer.size());
            buffer.remove(0, take);
            bodyLeft -= take;
        }
        HttpRequestHead head;
        HttpRequestHead::Result result{};
        if (bodyLeft == 0 && !buffer.isEmpty()) {
            result = HttpRequestHead::parse(buffer, &head);
            if (result.state == HttpRequestHead::Parse::Refused) {
                if (result.status < 400 || result.status > 505 || result.message.isEmpty())
                    std::abort();
                outcome.refusal = result.status;
                return outcome;
            }
            if (result.state == HttpRequestHead::Parse::Complete) {
                if (result.headBytes > buffer.size() ||
                    result.headBytes > HttpRequestHead::kMostHeadBytes + 6 ||
                    head.fields.size() > HttpRequestHead::kMostFields || head.contentLength < 0 ||
                    !head.path.startsWith('/'))
                    std::abort();
                outcome.requests.append(head.method + ' ' + head.target + ' ' +
                                        QByteArray::number(head.contentLength));
                buffer.remove(0, result.headBytes);
                bodyLeft = head.contentLength;
                continue;
            }
        }
        if (fed >= input.size())
            return outcome;
        const qsizetype take = std::min(piece, input.size() - fed);
        buffer.append(input.sliced(fed, take));
        fed += take;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const qsizetype piece = 1 + data[0] % 97;
    const QByteArrayView input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const Outcome whole = frame(input, input.size() + 1);
    const Outcome pieces = frame(input, piece);
    if (!whole.sameAs(pieces))
        std::abort();
    return 0;
}
