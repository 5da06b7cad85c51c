// A certificate authority of the test's own, made with the openssl tool at
// test time: a server certificate it signed for the given IP addresses, and
// a self-signed one for the same addresses that nothing trusts.
#pragma once

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace korvel_test {

class TestCertificates {
public:
    // False with the tool's output when the openssl tool failed.
    bool Make(const std::vector<std::string>& addresses, std::string& error);

    std::string CaFile() const { return m_dir.Sub("ca.pem"); }
    std::string CertFile() const { return m_dir.Sub("server.pem"); }
    std::string KeyFile() const { return m_dir.Sub("server.key"); }
    std::string UntrustedCertFile() const { return m_dir.Sub("untrusted.pem"); }
    std::string UntrustedKeyFile() const { return m_dir.Sub("untrusted.key"); }

private:
    TempDir m_dir;
};

}  // namespace korvel_test
