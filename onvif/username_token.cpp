#include "onvif/username_token.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <ctime>

#include "onvif/soap_xml.h"

namespace onvif {

namespace {

constexpr const char* kDigestType =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest";

bool all_digits(std::string_view text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return !text.empty();
}

int number(std::string_view text) {
    int value = 0;
    for (char c : text) value = value * 10 + (c - '0');
    return value;
}

int days_in_month(int year, int month0) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month0 == 1 && leap ? 29 : kDays[month0];
}

}  // namespace

std::string base64_encode(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3), '\0');
    int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(written));
    return out;
}

std::optional<std::string> base64_decode(std::string_view text) {
    std::string clean;
    clean.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') clean += c;
    if (clean.size() % 4 != 0) return std::nullopt;
    std::string out(clean.size() / 4 * 3, '\0');
    int written = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(clean.data()), static_cast<int>(clean.size()));
    if (written < 0) return std::nullopt;
    // EVP_DecodeBlock counts the padding as zero bytes.
    std::size_t padding = 0;
    if (!clean.empty() && clean.back() == '=') ++padding;
    if (clean.size() > 1 && clean[clean.size() - 2] == '=') ++padding;
    out.resize(static_cast<std::size_t>(written) - padding);
    return out;
}

std::string random_bytes(std::size_t count) {
    std::string out(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(count)) != 1) {
        // No entropy is a broken host; a nonce must still never repeat, so
        // fall back to the clock mixed through SHA-1 rather than zeros.
        std::string seed = std::to_string(std::time(nullptr)) + std::to_string(reinterpret_cast<std::uintptr_t>(&out));
        unsigned char hash[SHA_DIGEST_LENGTH];
        SHA1(reinterpret_cast<const unsigned char*>(seed.data()), seed.size(), hash);
        for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<char>(hash[i % SHA_DIGEST_LENGTH]);
    }
    return out;
}

std::string password_digest(std::string_view nonce, std::string_view created, std::string_view password) {
    std::string joined;
    joined.reserve(nonce.size() + created.size() + password.size());
    joined.append(nonce).append(created).append(password);
    unsigned char hash[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(joined.data()), joined.size(), hash);
    return base64_encode(std::string_view(reinterpret_cast<const char*>(hash), sizeof hash));
}

std::string xs_datetime_utc(std::int64_t ms_since_epoch) {
    std::time_t seconds = static_cast<std::time_t>(ms_since_epoch / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::optional<std::int64_t> parse_xs_datetime(std::string_view text) {
    // YYYY-MM-DDThh:mm:ss
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || (text[10] != 'T' && text[10] != 't') ||
        text[13] != ':' || text[16] != ':')
        return std::nullopt;
    std::string_view parts[] = {text.substr(0, 4),  text.substr(5, 2),  text.substr(8, 2),
                                text.substr(11, 2), text.substr(14, 2), text.substr(17, 2)};
    for (std::string_view part : parts)
        if (!all_digits(part)) return std::nullopt;
    std::tm fields{};
    fields.tm_year = number(parts[0]) - 1900;
    fields.tm_mon = number(parts[1]) - 1;
    fields.tm_mday = number(parts[2]);
    fields.tm_hour = number(parts[3]);
    fields.tm_min = number(parts[4]);
    fields.tm_sec = number(parts[5]);
    // 24:00:00 is the end of a day and allowed; a day past its month's last
    // is not (timegm would quietly move it into the next month).
    bool end_of_day = fields.tm_hour == 24 && fields.tm_min == 0 && fields.tm_sec == 0;
    if (fields.tm_mon < 0 || fields.tm_mon > 11 || fields.tm_mday < 1 ||
        fields.tm_mday > days_in_month(fields.tm_year + 1900, fields.tm_mon) ||
        (fields.tm_hour > 23 && !end_of_day) || fields.tm_min > 59 || fields.tm_sec > 60)
        return std::nullopt;
    std::string_view rest = text.substr(19);
    std::int64_t ms = 0;
    if (!rest.empty() && rest.front() == '.') {
        std::size_t digits = 1;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
        std::string_view fraction = rest.substr(1, std::min<std::size_t>(digits - 1, 3));
        if (fraction.empty()) return std::nullopt;
        ms = number(fraction);
        for (std::size_t i = fraction.size(); i < 3; ++i) ms *= 10;
        rest.remove_prefix(digits);
    }
    std::int64_t offset_s = 0;
    if (rest == "Z" || rest == "z" || rest.empty()) {
        // No zone is read as UTC: the device's clock fields are UTC.
    } else if (rest.size() == 6 && (rest[0] == '+' || rest[0] == '-') && rest[3] == ':' &&
               all_digits(rest.substr(1, 2)) && all_digits(rest.substr(4, 2)) && number(rest.substr(1, 2)) <= 14 &&
               number(rest.substr(4, 2)) <= 59) {
        offset_s = (number(rest.substr(1, 2)) * 3600 + number(rest.substr(4, 2)) * 60) * (rest[0] == '+' ? 1 : -1);
    } else {
        return std::nullopt;
    }
    std::int64_t seconds = static_cast<std::int64_t>(timegm(&fields)) - offset_s;
    return seconds * 1000 + ms;
}

std::string security_header(std::string_view user, std::string_view password, std::int64_t device_now_ms) {
    std::string nonce = random_bytes(16);
    std::string created = xs_datetime_utc(device_now_ms);
    return "<wsse:Security s:mustUnderstand=\"1\"><wsse:UsernameToken><wsse:Username>" + escape(user) +
           "</wsse:Username><wsse:Password Type=\"" + kDigestType + "\">" +
           password_digest(nonce, created, password) +
           "</wsse:Password><wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">" +
           base64_encode(nonce) + "</wsse:Nonce><wsu:Created>" + created +
           "</wsu:Created></wsse:UsernameToken></wsse:Security>";
}

std::optional<UsernameToken> read_username_token(const TiXmlElement* header) {
    const TiXmlElement* token = path(header, {"Security", "UsernameToken"});
    if (token == nullptr) return std::nullopt;
    UsernameToken out;
    out.user = text(child(token, "Username"));
    const TiXmlElement* password = child(token, "Password");
    out.password = text(password);
    std::string type = attribute(password, "Type");
    // The profile's URI, or the QName some older peers write for it.
    out.is_digest = type.ends_with("#PasswordDigest") || local_name(type.c_str()) == "PasswordDigest";
    if (std::optional<std::string> nonce = base64_decode(text(child(token, "Nonce")))) out.nonce = *nonce;
    out.created = text(child(token, "Created"));
    return out;
}

bool digest_matches(const UsernameToken& token, std::string_view password) {
    return token.is_digest && !token.nonce.empty() &&
           password_digest(token.nonce, token.created, password) == token.password;
}

}  // namespace onvif
