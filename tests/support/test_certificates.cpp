#include "tests/support/test_certificates.h"

#include <cstdio>

namespace korvel_test {

namespace {

bool Run(const std::string& command, std::string& error) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        error = "cannot run: " + command;
        return false;
    }
    std::string out;
    char buf[1024];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), pipe)) > 0)
        out.append(buf, n);
    if (pclose(pipe) != 0) {
        error = command + "\n" + out;
        return false;
    }
    return true;
}

}  // namespace

bool TestCertificates::Make(const std::vector<std::string>& addresses, std::string& error) {
    std::string names = "subjectAltName=DNS:localhost";
    for (const std::string& a : addresses)
        names += ",IP:" + a;
    WriteFile(m_dir.Sub("server.ext"), names + "\n");
    const std::string d = "'" + m_dir.path() + "/";
    // EC keys: quick to make, and any TLS library takes them.
    const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    return Run("openssl req -x509 " + key + " -keyout " + d + "ca.key' -out " + d +
                   "ca.pem' -days 2 -subj '/CN=Korvel Test CA'"
                   " -addext basicConstraints=critical,CA:TRUE"
                   " -addext keyUsage=critical,keyCertSign,cRLSign",
               error) &&
           Run("openssl req " + key + " -keyout " + d + "server.key' -out " + d +
                   "server.csr' -subj '/CN=localhost'",
               error) &&
           Run("openssl x509 -req -in " + d + "server.csr' -CA " + d + "ca.pem' -CAkey " + d +
                   "ca.key' -CAcreateserial -out " + d + "server.pem' -days 2 -extfile " + d +
                   "server.ext'",
               error) &&
           Run("openssl req -x509 " + key + " -keyout " + d + "untrusted.key' -out " + d +
                   "untrusted.pem' -days 2 -subj '/CN=localhost' -addext '" + names + "'",
               error);
}

}  // namespace korvel_test
