// Who may read the vendor's views (the page, reports.json, logs): everybody
// when no token is configured, otherwise a caller that presents the vendor
// token as "Authorization: Bearer TOKEN" or, for a browser, as the password
// of HTTP basic auth (any user name).
// Thread rule: immutable after LoadTokenFile; Allows may run on any thread.
#pragma once

#include <string>

class ReadAccess {
public:
    // Reads the token: the file's first line, surrounding blanks removed.
    bool LoadTokenFile(const std::string& path, std::string& error);
    void SetToken(const std::string& token) { m_token = token; }
    bool IsOpen() const { return m_token.empty(); }

    // `authorization` is the request's Authorization header (may be empty).
    bool Allows(const std::string& authorization) const;

private:
    std::string m_token;
};

// Equal texts, in time that does not depend on where they differ.
bool ConstantTimeEquals(const std::string& a, const std::string& b);
// 127.0.0.0/8, ::1 and "localhost": addresses only this machine can reach.
bool IsLoopbackHost(const std::string& host);
