#pragma once
// HTTP authentication as the emulator checks it: Basic, and Digest (RFC 2617, MD5, qop "auth"
// or none) with nonces the server can verify without keeping them.

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/dvr/DvrOptions.h"
#include "tools/dvr/HttpRequest.h"

namespace vistrel::dvr {

constexpr const char* kAuthRealm = "DVR";

class HttpAuth {
public:
    HttpAuth(AuthMode mode, std::string user, std::string password, std::uint64_t secret);

    // True when the mode is None or the request's Authorization header carries the credentials.
    bool check(const HttpRequest& request) const;
    // The header line(s) of the 401 answer, each ending in "\r\n"; empty for AuthMode::None.
    std::string challengeHeaders() const;
    // The same challenge for a 407 answer.
    std::string proxyChallengeHeaders() const;

    // Nonces are a time value and a keyed digest of it, so any nonce this server issued verifies.
    std::string makeNonce() const;
    bool nonceIsOurs(std::string_view nonce) const;

private:
    bool checkBasic(std::string_view credentials) const;
    bool checkDigest(std::string_view parameters, const HttpRequest& request) const;
    std::string challengeValue() const;

    AuthMode mode_;
    std::string user_;
    std::string password_;
    std::string secret_;
};

bool base64Decode(std::string_view in, std::string& out);
std::string base64Encode(std::string_view in);

}  // namespace vistrel::dvr
