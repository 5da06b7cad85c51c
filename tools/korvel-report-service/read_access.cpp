#include "read_access.h"

#include <arpa/inet.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <fstream>

namespace {

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

// Standard base64 with padding; false on anything else.
bool DecodeBase64(const std::string& text, std::string& out) {
    if (text.empty() || text.size() % 4 != 0 || text.size() > 4096)
        return false;
    std::string decoded(text.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0)
        return false;
    size_t padding = 0;
    for (size_t i = text.size(); i > 0 && text[i - 1] == '=' && padding < 2; --i)
        ++padding;
    decoded.resize(static_cast<size_t>(n) - padding);
    out = decoded;
    return true;
}

}  // namespace

bool ConstantTimeEquals(const std::string& a, const std::string& b) {
    // Digests first, so the comparison also hides the token's length.
    unsigned char da[SHA256_DIGEST_LENGTH];
    unsigned char db[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(a.data()), a.size(), da);
    SHA256(reinterpret_cast<const unsigned char*>(b.data()), b.size(), db);
    return CRYPTO_memcmp(da, db, sizeof(da)) == 0;
}

bool ReadAccess::LoadTokenFile(const std::string& path, std::string& error) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) {
        error = "cannot read token file " + path;
        return false;
    }
    m_token = Trim(line);
    if (m_token.empty()) {
        error = "token file " + path + " holds no token";
        return false;
    }
    return true;
}

bool ReadAccess::Allows(const std::string& authorization) const {
    if (IsOpen())
        return true;
    const std::string value = Trim(authorization);
    if (StartsWithNoCase(value, "bearer "))
        return ConstantTimeEquals(Trim(value.substr(7)), m_token);
    std::string credentials;
    if (!StartsWithNoCase(value, "basic ") || !DecodeBase64(Trim(value.substr(6)), credentials))
        return false;
    const size_t colon = credentials.find(':');
    return colon != std::string::npos && ConstantTimeEquals(credentials.substr(colon + 1), m_token);
}

bool IsLoopbackHost(const std::string& host) {
    if (host == "localhost")
        return true;
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}
