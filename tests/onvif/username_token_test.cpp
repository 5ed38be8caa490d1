#include "onvif/username_token.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "onvif/soap_xml.h"

namespace onvif {
namespace {

std::optional<UsernameToken> token_of(const std::string& header_xml) {
    Envelope envelope;
    if (!parse_envelope(build_envelope(header_xml, "<tds:GetUsers/>"), &envelope, nullptr)) return std::nullopt;
    return read_username_token(envelope.header);
}

// The UsernameToken profile's own example. It gives no password, and its
// digest is 30 Base64 characters where SHA-1 makes 28, so it shows the
// shape of a token, not a value to reproduce: it must be read, and match
// no password.
TEST(UsernameToken, ReadsTheProfilesExample) {
    std::optional<UsernameToken> token = token_of(
        "<wsse:Security><wsse:UsernameToken><wsse:Username>NNK</wsse:Username>"
        "<wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
        "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">weYI3nXd8LjMNVksCKFV8t3rgHh3Rw==</wsse:Password>"
        "<wsse:Nonce>WScqanjCEAC4mQoBE07sAQ==</wsse:Nonce><wsu:Created>2003-07-16T01:24:32Z</wsu:Created>"
        "</wsse:UsernameToken></wsse:Security>");
    ASSERT_TRUE(token);
    EXPECT_EQ(token->user, "NNK");
    EXPECT_TRUE(token->is_digest);
    EXPECT_EQ(token->nonce.size(), 16u);
    EXPECT_EQ(token->created, "2003-07-16T01:24:32Z");
    EXPECT_FALSE(digest_matches(*token, ""));
    EXPECT_FALSE(digest_matches(*token, "NNK"));
    // The example's nonce and time with a password of ours, the digest
    // worked out beside this code (Python's hashlib).
    EXPECT_EQ(password_digest(token->nonce, token->created, "secret"), "fWXCaByUpMlnSuAV37ZpBERz2BQ=");
}

TEST(UsernameToken, DigestIsBase64OfSha1OfNonceCreatedPassword) {
    std::string nonce;
    for (int i = 0; i < 16; ++i) nonce += static_cast<char>(i);
    // Raw nonce bytes, and the password as its UTF-8 bytes.
    EXPECT_EQ(password_digest(nonce, "2026-12-09T03:00:00Z", "p\xC3\xA4ss"), "dytyR/o3qm2WGUjd+Ac7apXkXe0=");
    EXPECT_EQ(base64_encode(nonce), "AAECAwQFBgcICQoLDA0ODw==");
}

TEST(UsernameToken, HeaderOfOursIsReadBackAndMatchesOnlyItsPassword) {
    std::int64_t at = 1796785200000;  // 2026-12-09T03:00:00Z
    std::string header = security_header("ad<min", "s3cret", at);
    EXPECT_EQ(header.find("s3cret"), std::string::npos);
    std::optional<UsernameToken> token = token_of(header);
    ASSERT_TRUE(token);
    EXPECT_EQ(token->user, "ad<min");
    EXPECT_TRUE(token->is_digest);
    EXPECT_EQ(token->created, "2026-12-09T03:00:00Z");
    EXPECT_TRUE(digest_matches(*token, "s3cret"));
    EXPECT_FALSE(digest_matches(*token, "s3cret "));
    // Every token gets a nonce of its own.
    EXPECT_NE(token_of(security_header("ad<min", "s3cret", at))->nonce, token->nonce);
}

TEST(UsernameToken, ClearTextIsNeverADigest) {
    std::optional<UsernameToken> text = token_of(
        "<wsse:Security><wsse:UsernameToken><wsse:Username>u</wsse:Username>"
        "<wsse:Password>pw</wsse:Password></wsse:UsernameToken></wsse:Security>");
    ASSERT_TRUE(text);
    EXPECT_FALSE(text->is_digest);
    EXPECT_EQ(text->password, "pw");
    EXPECT_FALSE(digest_matches(*text, "pw"));
    std::optional<UsernameToken> qname = token_of(
        "<wsse:Security><wsse:UsernameToken><wsse:Password Type=\"wsse:PasswordDigest\">x</wsse:Password>"
        "</wsse:UsernameToken></wsse:Security>");
    ASSERT_TRUE(qname);
    EXPECT_TRUE(qname->is_digest);
    EXPECT_FALSE(token_of("<wsse:Security/>"));
}

TEST(UsernameToken, Base64DecodesAndRefuses) {
    EXPECT_EQ(base64_decode("aGVsbG8="), "hello");
    EXPECT_EQ(base64_decode(" aGVs\r\nbG8h "), "hello!");
    EXPECT_EQ(base64_decode(""), "");
    EXPECT_EQ(base64_decode("aGk="), "hi");
    EXPECT_FALSE(base64_decode("aGVsbG8"));
    EXPECT_FALSE(base64_decode("aGV*bG8="));
    EXPECT_EQ(random_bytes(16).size(), 16u);
}

TEST(XsDateTime, WritesUtcWithSeconds) {
    EXPECT_EQ(xs_datetime_utc(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(xs_datetime_utc(1796785200999), "2026-12-09T03:00:00Z");
    EXPECT_EQ(xs_datetime_utc(951782400000), "2000-02-29T00:00:00Z");
}

TEST(XsDateTime, ReadsTheFormsCamerasWrite) {
    const std::pair<const char*, std::int64_t> cases[] = {
        {"2026-12-09T03:00:00Z", 1796785200000},
        {"2026-12-09T03:00:00", 1796785200000},            // no zone: UTC
        {"2026-12-09T03:00:00.250Z", 1796785200250},
        {"2026-12-09T03:00:00.1234567Z", 1796785200123},    // past ms: dropped
        {"2026-12-09T11:00:00+08:00", 1796785200000},
        {"2026-12-08T21:30:00-05:30", 1796785200000},
        {"2026-12-08T24:00:00Z", 1796774400000},            // end of day = next midnight
        {"2000-02-29T00:00:00Z", 951782400000},             // leap day
        {"1970-01-01T00:00:00Z", 0},
    };
    for (const auto& [text, ms] : cases) EXPECT_EQ(parse_xs_datetime(text), ms) << text;
}

TEST(XsDateTime, RefusesWhatIsNotADateTime) {
    for (const char* text :
         {"", "2026-12-09", "2026-12-09 03:00:00Z", "2026-13-09T03:00:00Z", "2026-02-29T00:00:00Z",
          "2026-04-31T00:00:00Z", "1900-02-29T00:00:00Z", "2026-12-00T00:00:00Z", "2026-12-09T24:00:01Z",
          "2026-12-09T03:60:00Z", "2026-12-09T03:00:00.Z", "2026-12-09T03:00:00+15:00", "2026-12-09T03:00:00+08",
          "2026-12-09T03:00:00Zjunk", "2026-1a-09T03:00:00Z", "+026-12-09T03:00:00Z"})
        EXPECT_FALSE(parse_xs_datetime(text)) << text;
}

}  // namespace
}  // namespace onvif
