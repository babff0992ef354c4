// Links over TLS, as hosted servers demand: the test server's certificate
// is signed by a test CA of scripts/dbserver, and its user cvx_tls is let
// in over TLS only.
#if defined(_WIN32)
#include <windows.h>
#include <wincrypt.h>
#endif

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/database/database_test.h"

namespace cvx::test {
namespace {

// A file of the test server's TLS folder, as this program names it.
std::string tls_file(const char* name) {
    const char* dir = std::getenv("CVX_DB_DIR");
    std::string path = std::string(dir ? dir : "/tmp/corvantelix-db-3306") + "/tls/" + name;
#if defined(_WIN32)
    path = "Z:" + path;  // wine's drive for the machine's root
#endif
    return path;
}

class Tls : public DatabaseTest {
protected:
    static Word connect_as_tls_user() { return routine("mysql__connect", "cvx-tls-secret", "", kHost, "cvx_tls"); }
    // The cipher the server says the link uses ("" without TLS).
    static std::string server_cipher() {
        EXPECT_EQ(query("SHOW SESSION STATUS LIKE 'Ssl_cipher'"), num(1));
        return cell("Value", 0);
    }
};

#if defined(_WIN32)
// The test CA, in the current user's Root store while this lives. Under
// wine the store is written when it is closed, a certificate deleted
// through the system store (a collection) stays in the registry, so the
// registry's store itself is opened; and a process checks every chain
// against the roots its first check saw, so a test of a CA absent from the
// store needs a process of its own (TlsWithoutTheCa, CTest's
// windows_tls_unknown_ca).
class TrustedCa {
public:
    explicit TrustedCa(const std::string& pem_file) {
        std::ifstream in(pem_file, std::ios::binary);
        std::stringstream pem;
        pem << in.rdbuf();
        const std::string text = pem.str();
        DWORD size = 0;
        if (!CryptStringToBinaryA(text.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) return;
        std::string der(size, '\0');
        CryptStringToBinaryA(text.c_str(), 0, CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(der.data()), &size,
                             nullptr, nullptr);
        ca_ = CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), size);
        if (!ca_) return;
        in_root_store([&](HCERTSTORE root) {
            added_ = CertAddCertificateContextToStore(root, ca_, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
        });
    }
    ~TrustedCa() {
        if (added_) {
            in_root_store([&](HCERTSTORE root) {
                if (PCCERT_CONTEXT c = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, ca_, nullptr)) {
                    CertDeleteCertificateFromStore(c);  // frees c
                }
            });
        }
        if (ca_) CertFreeCertificateContext(ca_);
    }
    TrustedCa(const TrustedCa&) = delete;
    TrustedCa& operator=(const TrustedCa&) = delete;
    bool added() const { return added_; }

private:
    template <typename Work>
    static void in_root_store(Work&& work) {
        const HCERTSTORE root =
            CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
        if (root) {
            work(root);
            CertCloseStore(root, 0);
        }
    }
    PCCERT_CONTEXT ca_ = nullptr;
    bool added_ = false;
};

#endif

// The option-file keys that give the TLS-only user a verified link (the
// server sees TLS; the client names its cipher, but for Schannel's under
// wine), and those refused while a plain link is up: that link stays, with
// no cipher, and keeps working. Linux reads the CA from the file of
// `ssl-ca`; Windows trusts the CAs of the Root store (ssl-ca cannot be
// tested under wine: the client's Schannel code passes a chain-engine
// configuration wine refuses, whatever the file).
TEST_F(Tls, OnlyAVerifiedCaGivesTheTlsUserALink) {
#if defined(_WIN32)
    TrustedCa ca(tls_file("ca.pem"));
    ASSERT_TRUE(ca.added()) << tls_file("ca.pem");
#else
    const std::string ca = tls_file("ca.pem"), other = tls_file("other-ca.pem");
#endif
    const struct {
        std::string lines;
        unsigned error;  // 0: a verified link
    } cases[] = {
        {"", 1045},  // no TLS: the user is refused
        {"ssl", 1045},  // bare keys are ignored
        {"ssl-verify-server-cert", 1045},
#if defined(_WIN32)
        {"ssl-verify-server-cert=1", 0},
#else
        {"ssl-ca=" + ca + "\nssl-verify-server-cert=1", 0},
        {"ssl-ca=" + ca, 0},
        {"ssl-ca=" + other + "\nssl-verify-server-cert=1", 2026},
        {"ssl-ca=" + other, 2026},
        // Without ssl-ca the system's CAs are asked, and none signed it.
        {"ssl-verify-server-cert=1", 2026},
#endif
    };
    for (const auto& c : cases) {
        std::filesystem::remove("my");
        ASSERT_EQ(connect(), num(1));
        option_file(c.lines);
        if (c.error == 0) {
            ASSERT_EQ(connect_as_tls_user(), num(1)) << c.lines << ": " << text_at(call("mysql__error"));
            const std::string cipher = server_cipher();
            EXPECT_NE(cipher, "") << c.lines;
            EXPECT_NE(call("mysql__get__ssl__cipher"), 0) << c.lines;
#if !defined(_WIN32)
            EXPECT_EQ(text_at(call("mysql__get__ssl__cipher")), cipher) << c.lines;
#endif
            continue;
        }
        EXPECT_EQ(connect_as_tls_user(), 0) << c.lines;
        EXPECT_EQ(call("mysql__errno"), num(c.error)) << c.lines;
        if (c.error == 2026) {
            EXPECT_NE(text_at(call("mysql__error")).find("TLS/SSL error"), std::string::npos) << c.lines;
        }
        EXPECT_EQ(call("mysql__get__ssl__cipher"), 0) << c.lines;
        EXPECT_EQ(server_cipher(), "") << c.lines;
    }
}

#if defined(_WIN32)
using TlsWithoutTheCa = Tls;

// Refused while a link is up: the link stays and keeps working.
TEST_F(TlsWithoutTheCa, AnUnknownCaIsRefused) {
    ASSERT_EQ(connect(), num(1));
    option_file("ssl-verify-server-cert=1");
    EXPECT_EQ(connect_as_tls_user(), 0);
    EXPECT_EQ(call("mysql__errno"), num(2026));
    EXPECT_NE(text_at(call("mysql__error")).find("CERT_E_UNTRUSTEDROOT"), std::string::npos)
        << text_at(call("mysql__error"));
    EXPECT_EQ(query("SELECT 1"), num(1));
    EXPECT_EQ(call("mysql__close"), num(1));
}

#endif

}  // namespace
}  // namespace cvx::test
