#include "remote/HttpRequestHead.h"

#include <gtest/gtest.h>

namespace {

using Parse = HttpRequestHead::Parse;

HttpRequestHead::Result parse(const QByteArray& bytes, HttpRequestHead* head = nullptr)
{
    HttpRequestHead ignored;
    return HttpRequestHead::parse(bytes, head ? head : &ignored);
}

int refusal(const QByteArray& bytes)
{
    const HttpRequestHead::Result r = parse(bytes);
    return r.state == Parse::Refused ? r.status : 0;
}

} // namespace

TEST(HttpRequestHead, ReadsAHeadAndKnowsWhereItEnds)
{
    const QByteArray one = "POST /api/items?x=1 HTTP/1.1\r\nHost: 127.0.0.1:8734\r\n"
                           "Content-Length:  12 \r\nX-File-Name: a.txt\r\n\r\n";
    HttpRequestHead head;
    const auto r = parse(one + "hello, world" + "GET / HTTP/1.1\r\n", &head);
    ASSERT_EQ(r.state, Parse::Complete);
    EXPECT_EQ(r.headBytes, one.size());
    EXPECT_EQ(head.method, "POST");
    EXPECT_EQ(head.path, "/api/items");
    EXPECT_EQ(head.target, "/api/items?x=1");
    EXPECT_EQ(head.contentLength, 12);
    EXPECT_EQ(head.field("x-file-name"), "a.txt");
    EXPECT_TRUE(head.keepAlive);
    // Every prefix of it is "more, please", never a different answer.
    for (qsizetype n = 0; n < one.size(); ++n)
        EXPECT_EQ(parse(one.left(n)).state, Parse::NeedMore) << n;
}

TEST(HttpRequestHead, ConnectionAndVersionDecideKeepAlive)
{
    HttpRequestHead head;
    ASSERT_EQ(parse("GET / HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n", &head).state,
              Parse::Complete);
    EXPECT_FALSE(head.keepAlive);
    ASSERT_EQ(parse("GET / HTTP/1.0\r\n\r\n", &head).state, Parse::Complete);
    EXPECT_FALSE(head.keepAlive);
    ASSERT_EQ(parse("GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", &head).state,
              Parse::Complete);
    EXPECT_TRUE(head.keepAlive);
    ASSERT_EQ(parse("GET /api/events HTTP/1.1\r\nHost: a\r\nUpgrade: websocket\r\n"
                    "Connection: keep-alive, Upgrade\r\n\r\n",
                    &head)
                  .state,
              Parse::Complete);
    EXPECT_TRUE(head.asksWebSocket());
    ASSERT_EQ(
        parse("GET /api/events HTTP/1.1\r\nHost: a\r\nUpgrade: websocket\r\n\r\n", &head).state,
        Parse::Complete);
    EXPECT_FALSE(head.asksWebSocket());
    EXPECT_TRUE(head.asksUpgradeOnly());
}

TEST(HttpRequestHead, RefusesWhatTwoReadersCouldReadDifferently)
{
    EXPECT_EQ(refusal("POST / HTTP/1.1\r\nHost: a\r\nContent-Length : 5\r\n\r\n"), 400);
    EXPECT_EQ(
        refusal("POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n"),
        400);
    EXPECT_EQ(refusal("POST / HTTP/1.1\r\nHost: a\r\nContent-Length: +5\r\n\r\n"), 400);
    EXPECT_EQ(refusal("POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 5, 5\r\n\r\n"), 400);
    EXPECT_EQ(refusal("POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 99999999999999999999\r\n\r\n"),
              400);
    EXPECT_EQ(refusal("POST / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n"), 411);
    EXPECT_EQ(refusal("GET / HTTP/1.1\r\nHost: a\r\nX-A: 1\r\n folded\r\n\r\n"), 400);
    EXPECT_EQ(refusal("GET / HTTP/1.1\r\nHost: a\nX-A: 1\r\n\r\n"), 400);
    EXPECT_EQ(refusal("GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n"), 400);
    EXPECT_EQ(refusal("GET / HTTP/1.1\r\n\r\n"), 400); // no Host
    EXPECT_EQ(refusal("GET / HTTP/1.1\r\nHost: a\r\nX-A: a\x01b\r\n\r\n"), 400);
    EXPECT_EQ(refusal("GET http://a/ HTTP/1.1\r\nHost: a\r\n\r\n"), 400);
    EXPECT_EQ(refusal("GET / HTTP/2.0\r\nHost: a\r\n\r\n"), 505);
    EXPECT_EQ(refusal("GET  / HTTP/1.1\r\nHost: a\r\n\r\n"), 400);
    EXPECT_EQ(refusal("GE(T / HTTP/1.1\r\nHost: a\r\n\r\n"), 400);
}

TEST(HttpRequestHead, LimitsHoldInOnePieceAndInMany)
{
    // 32 KB of head in one write and in pieces: the same refusal.
    const QByteArray longTarget =
        "GET /" + QByteArray(100 * 1024, 'a') + " HTTP/1.1\r\nHost: a\r\n\r\n";
    EXPECT_EQ(refusal(longTarget), 431);
    EXPECT_EQ(refusal(longTarget.left(40 * 1024)), 431);
    EXPECT_EQ(refusal("GET /" + QByteArray(9 * 1024, 'a') + " HTTP/1.1\r\nHost: a\r\n\r\n"), 414);
    QByteArray many = "GET / HTTP/1.1\r\nHost: a\r\n";
    for (int i = 0; i < HttpRequestHead::kMostFields; ++i)
        many += "X-" + QByteArray::number(i) + ": 1\r\n";
    EXPECT_EQ(refusal(many + "\r\n"), 431);
    EXPECT_EQ(refusal(many), 431); // before the head even ends
    const char withNul[] = "GET / HTTP/1.1\r\nHost: a\r\n\0";
    EXPECT_EQ(refusal(QByteArray(withNul, sizeof withNul)), 400);
}
